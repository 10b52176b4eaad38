#pragma once

#include "ui/dialogs/StampFontDialog.h"

#include <string>

class QLineEdit;

namespace vistrel {

// The banner's settings as the Image page keeps them (ImageOptions Font…, FontColor, Message,
// Alignment, ShadowText).
struct BannerProperties {
    FontRecord font = DefaultFont(keys::kBannerFont);
    // 0x00BBGGRR; these and the alignment and shadow start as the page shows a missing key.
    std::uint32_t color =
        static_cast<std::uint32_t>(keys::ImageOptions::FontColor.pageDefaultInt());
    std::string text;
    int alignment = keys::ImageOptions::Alignment.pageDefaultInt(); // 0..5: Top/Left … Bottom/Right
    bool shadow = keys::ImageOptions::ShadowText.pageDefaultInt() != 0;
    bool operator==(const BannerProperties& o) const
    {
        return SameFontRecord(font, o.font) && color == o.color && text == o.text &&
               alignment == o.alignment && shadow == o.shadow;
    }
};

// "Banner Properties": the stamp font dialog with the banner text edit. The sample draws the
// text as the picture will show it: the top alignments wrap, the bottom ones keep one line.
//
// Use from a settings page:
//     CMyFontDialog dialog(m_banner, services, this);
//     if (dialog.exec() == QDialog::Accepted) {
//         m_banner = dialog.Values();
//         markModified();
//     }
class CMyFontDialog : public StampFontDialog {
    Q_OBJECT
  public:
    CMyFontDialog(const BannerProperties& values, DialogServices services,
                  QWidget* parent = nullptr);

    // The values the controls hold now (what OK hands back).
    BannerProperties Values() const;

  protected:
    QString SampleText() const override;
    StampLines SampleLines() const override { return StampLines::ByAlignment; }

  private:
    QLineEdit* m_pText;
};

} // namespace vistrel
