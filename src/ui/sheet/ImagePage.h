#pragma once

#include "config/KeyCatalogue.h"
#include "ui/sheet/SettingsPage.h"
#include "ui/sheet/SheetDialogs.h"

class QCheckBox;
class QPushButton;
class QSlider;

namespace vistrel {

// The Image page: which stamps go on the picture (their looks are edited in the banner,
// date/time and logo dialogs and carried here), and the JPEG quality and progressive output.
class CMyPropertyPage3 : public CSettingsPage {
    Q_OBJECT
  public:
    CMyPropertyPage3(Hub& hub, Prompter& prompter, const SheetDialogs& dialogs,
                     QWidget* parent = nullptr);

    QString title() const override { return QStringLiteral("Image"); }
    int helpContext() const override;
    ReloadGroup reloadGroup() const override { return ReloadGroup::Image; }

    const BannerProperties& banner() const { return m_banner; }
    const DateTimeProperties& dateTime() const { return m_dateTime; }
    const LogoProperties& logo() const { return m_logo; }

  protected:
    void opened() override;

  private:
    void OnBannerProperties();
    void OnDateTimeProperties();
    void OnLogoProperties();
    void AddFontKeys(const keys::FontKeys& k, FontRecord& font);

    const SheetDialogs& m_dialogs;
    BannerProperties m_banner;
    DateTimeProperties m_dateTime;
    LogoProperties m_logo;
    QCheckBox* m_pBanner;
    QPushButton* m_pBannerProperties;
    QCheckBox* m_pStamp;
    QPushButton* m_pStampProperties;
    QCheckBox* m_pLogo;
    QPushButton* m_pLogoProperties;
    QSlider* m_pQuality;
    QCheckBox* m_pProgressive;
};

} // namespace vistrel
