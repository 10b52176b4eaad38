#pragma once

#include "config/LiveSettings.h"

#include <QDialog>

class QLabel;
class QPlainTextEdit;

namespace vistrel {

// "Test" on the Location page: logs on with the values on the page, changes to the upload
// directory, lists it and quits — what `vistreld --check-ftp` does — on a thread of its own, and
// shows the conversation with every password hidden. The window stays usable meanwhile and may
// be closed at any time; a test still running then finishes unseen.
class CFtpTestDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CFtpTestDialog(const LiveSettings& settings, QWidget* parent = nullptr);

    bool isRunning() const { return m_bRunning; }
    bool passed() const { return m_bPassed; }
    QString transcript() const;

  signals:
    void testFinished(bool passed);

  private:
    void Start(const LiveSettings& settings);

    QLabel* m_pOutcome;
    QPlainTextEdit* m_pText;
    bool m_bRunning = false;
    bool m_bPassed = false;
};

} // namespace vistrel
