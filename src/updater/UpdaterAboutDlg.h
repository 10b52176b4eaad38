#pragma once

#include "updater/UpdaterVersion.h"

#include <QDialog>

namespace vistrel {

// "About Updater": icon, product name, version and copyright lines, OK.
class CUpdaterAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CUpdaterAboutDlg(const AboutTexts& texts, QWidget* parent = nullptr);
};

} // namespace vistrel
