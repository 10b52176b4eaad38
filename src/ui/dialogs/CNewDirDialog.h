#pragma once

#include <QDialog>

class QLineEdit;

namespace vistrel {

// "New Directory": asks the FTP directory browser for the name of a directory to make. OK is
// enabled while the name holds more than blanks.
class CNewDirDialog : public QDialog {
    Q_OBJECT
  public:
    explicit CNewDirDialog(QWidget* parent = nullptr);

    QString DirectoryName() const;

  private:
    QLineEdit* m_pName;
};

} // namespace vistrel
