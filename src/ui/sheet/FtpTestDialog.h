#pragma once

#include "config/LiveSettings.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTimer>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace vistrel {

// "Test" on the Location page: does on the server what a cycle does with the values on the page
// (log on, change to the upload directory, store, rename and delete a probe file) — what
// `vistreld --check-ftp` does — on a thread of its own, and shows the conversation with every
// password hidden. While it runs the window counts the seconds against the time-out; its verdict
// says when the server's certificate was not verified, and "Pin this certificate" takes the
// fingerprint the conversation shows for the page. The window stays usable meanwhile and may
// be closed at any time; a test still running then finishes unseen.
// The fingerprint of the server's certificate as the conversation shows it ("Certificate: …
// SHA-256 <fingerprint>"), or an empty text.
QString CertificateFingerprintIn(const QString& transcript);

// The verdict line once the test has ended.
QString FtpTestVerdict(bool passed, bool certificateUnchecked);

class CFtpTestDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CFtpTestDialog(const LiveSettings& settings, QWidget* parent = nullptr);

    bool isRunning() const { return m_bRunning; }
    bool passed() const { return m_bPassed; }
    QString transcript() const;

  signals:
    void testFinished(bool passed);
    // "Pin this certificate": the certificate the test saw is the one to check from now on.
    void pinRequested(const QString& fingerprint);

  private:
    void Start(const LiveSettings& settings);

    QLabel* m_pOutcome;
    QPlainTextEdit* m_pText;
    QPushButton* m_pPin;
    QTimer m_progress;
    QElapsedTimer m_elapsed;
    bool m_bRunning = false;
    bool m_bPassed = false;
};

} // namespace vistrel
