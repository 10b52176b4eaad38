#include "ui/sheet/ImagePage.h"

#include "config/KeyCatalogue.h"
#include "config/LiveSettings.h"
#include "ui/HelpWindow.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QVBoxLayout>

namespace vistrel {

CMyPropertyPage3::CMyPropertyPage3(Hub& hub, Prompter& prompter, const SheetDialogs& dialogs,
                                   QWidget* parent)
    : CSettingsPage(hub, prompter, parent), m_dialogs(dialogs)
{
    m_pBanner = MakeCheck("includeBanner", "Include &Banner");
    m_pBannerProperties = MakeButton("bannerProperties", "Properties");
    m_pStamp = MakeCheck("includeDateTime", "&Include Date/Time stamp");
    m_pStampProperties = MakeButton("dateTimeProperties", "Properties");
    m_pLogo = MakeCheck("includeLogo", "Include &Logo");
    m_pLogoProperties = MakeButton("logoProperties", "Properties");
    m_pQuality = new QSlider(Qt::Horizontal, this);
    m_pQuality->setObjectName(QStringLiteral("quality"));
    // The slider starts at 0, which the encoder takes as 1 (the key table's lowest quality).
    m_pQuality->setRange(0, keys::ImageOptions::Quality.maximum);
    m_pQuality->setTickInterval(5);
    m_pQuality->setTickPosition(QSlider::TicksBelow);
    m_pQuality->setPageStep(20);
    m_pProgressive = MakeCheck("progressive", "P&rogressive Image");

    auto* stamps = new QGridLayout;
    stamps->addWidget(m_pBanner, 0, 0);
    stamps->addWidget(m_pBannerProperties, 0, 1);
    stamps->addWidget(m_pStamp, 1, 0);
    stamps->addWidget(m_pStampProperties, 1, 1);
    stamps->addWidget(m_pLogo, 2, 0);
    stamps->addWidget(m_pLogoProperties, 2, 1);
    stamps->setColumnStretch(2, 1);
    auto* quality = new QGroupBox(QStringLiteral("Image Quality"), this);
    auto* slider = new QHBoxLayout;
    slider->addWidget(new QLabel(QStringLiteral("Low"), quality));
    slider->addWidget(m_pQuality, 1);
    slider->addWidget(new QLabel(QStringLiteral("High"), quality));
    // The value the slider stands at, as the picture's JPEG quality.
    auto* value = new QLabel(quality);
    value->setObjectName(QStringLiteral("qualityValue"));
    value->setMinimumWidth(value->fontMetrics().horizontalAdvance(QStringLiteral("100")) + 4);
    value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    slider->addWidget(value);
    connect(m_pQuality, &QSlider::valueChanged, value, [value](int v) { value->setNum(v); });
    value->setNum(m_pQuality->value());
    auto* qualityLayout = new QVBoxLayout(quality);
    qualityLayout->addLayout(slider);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(stamps);
    layout->addWidget(quality);
    layout->addWidget(m_pProgressive);
    layout->addStretch(1);

    namespace k = keys::ImageOptions;
    m_keys.add(k::Stamp, m_pStamp);
    m_keys.add(k::EnableMessage, m_pBanner);
    m_keys.add(k::ProgressiveJPG, m_pProgressive);
    m_keys.add(k::Message, &m_banner.text);
    m_keys.add(k::Quality, m_pQuality);
    AddFontKeys(keys::kBannerFont, m_banner.font);
    m_keys.add(
        k::FontColor, [this] { return static_cast<int>(m_banner.color); },
        [this](int v) { m_banner.color = static_cast<std::uint32_t>(v); });
    m_keys.add(
        k::ShadowText, [this] { return m_banner.shadow ? 1 : 0; },
        [this](int v) { m_banner.shadow = v != 0; });
    m_keys.add(k::Alignment, &m_banner.alignment);
    m_keys.add(k::DateTimeFormat, &m_dateTime.format);
    AddFontKeys(keys::kStampFont, m_dateTime.font);
    m_keys.add(
        k::TimeFontColor, [this] { return static_cast<int>(m_dateTime.color); },
        [this](int v) { m_dateTime.color = static_cast<std::uint32_t>(v); });
    m_keys.add(
        k::TimeShadowText, [this] { return m_dateTime.shadow ? 1 : 0; },
        [this](int v) { m_dateTime.shadow = v != 0; });
    m_keys.add(k::TimeAlignment, &m_dateTime.alignment);
    m_keys.add(
        k::OverlayTransparency, [this] { return m_logo.transparency ? 1 : 0; },
        [this](int v) { m_logo.transparency = v != 0; });
    m_keys.add(k::EnableOverlay, m_pLogo);
    m_keys.add(k::OverlayFilename, &m_logo.path);
    m_keys.add(k::OverlayAlignment, &m_logo.alignment);

    watch({m_pBanner, m_pStamp, m_pLogo, m_pQuality, m_pProgressive});
    connect(m_pBannerProperties, &QPushButton::clicked, this,
            &CMyPropertyPage3::OnBannerProperties);
    connect(m_pStampProperties, &QPushButton::clicked, this,
            &CMyPropertyPage3::OnDateTimeProperties);
    connect(m_pLogoProperties, &QPushButton::clicked, this, &CMyPropertyPage3::OnLogoProperties);
    // A dialog that is not part of the program yet keeps its button disabled.
    m_pBannerProperties->setEnabled(static_cast<bool>(m_dialogs.banner));
    m_pStampProperties->setEnabled(static_cast<bool>(m_dialogs.dateTime));
    m_pLogoProperties->setEnabled(static_cast<bool>(m_dialogs.logo));
    AddHelpShortcut(this, helpContext());
}

// A stamp font's five keys (the banner's or the date/time stamp's); the face name is cut to what
// a logical-font record holds.
void CMyPropertyPage3::AddFontKeys(const keys::FontKeys& k, FontRecord& font)
{
    FontRecord* f = &font;
    m_keys.add(
        k.face, [f] { return f->face; },
        [f](const std::string& v) { f->face = v.substr(0, kFontFaceMax); });
    m_keys.add(k.height, &f->height);
    m_keys.add(k.width, &f->width);
    m_keys.add(k.weight, &f->weight);
    m_keys.add(
        k.italic, [f] { return f->italic ? 1 : 0; }, [f](int v) { f->italic = v != 0; });
}

int CMyPropertyPage3::helpContext() const
{
    return kHelpImagePage;
}

void CMyPropertyPage3::opened()
{
    markModified(); // the page counts as changed as soon as it opens
}

void CMyPropertyPage3::OnBannerProperties()
{
    BannerProperties values = m_banner;
    if (m_dialogs.banner && m_dialogs.banner(this, m_hub, values)) {
        m_banner = values;
        markModified();
    }
}

void CMyPropertyPage3::OnDateTimeProperties()
{
    DateTimeProperties values = m_dateTime;
    if (m_dialogs.dateTime && m_dialogs.dateTime(this, m_hub, values)) {
        m_dateTime = values;
        markModified();
    }
}

void CMyPropertyPage3::OnLogoProperties()
{
    LogoProperties values = m_logo;
    if (m_dialogs.logo && m_dialogs.logo(this, m_hub, values)) {
        m_logo = values;
        markModified();
    }
}

} // namespace vistrel
