#pragma once

#include "ui/dialogs/StampFontDialog.h"

#include <QDateTime>

#include <functional>

class QComboBox;

namespace vistrel {

// The date/time stamp's settings as the Image page keeps them (ImageOptions TimeFont…,
// TimeFontColor, TimeAlignment, TimeShadowText, DateTimeFormat).
struct DateTimeProperties {
    FontRecord font = DefaultFont(keys::kStampFont);
    // 0x00BBGGRR; these and the rest start as the page shows a missing key.
    std::uint32_t color =
        static_cast<std::uint32_t>(keys::ImageOptions::TimeFontColor.pageDefaultInt());
    int alignment = keys::ImageOptions::TimeAlignment.pageDefaultInt(); // 0..5
    bool shadow = keys::ImageOptions::TimeShadowText.pageDefaultInt() != 0;
    int format = keys::ImageOptions::DateTimeFormat.pageDefaultInt(); // 0..5, see DateTimeStampText
    bool operator==(const DateTimeProperties& o) const
    {
        return SameFontRecord(font, o.font) && color == o.color && alignment == o.alignment &&
               shadow == o.shadow && format == o.format;
    }
};

// "Date/Time Properties": the stamp font dialog with the format list, whose six entries show the
// current date and time in each layout, built by the pipeline's DateTimeStampText in the system
// locale. The sample shows the stamp text of the chosen format as the picture does: wrapped over
// as many lines as it needs at the top alignments, on one line at the bottom for the others.
//
// Use from a settings page:
//     CMyTimeDialog dialog(m_stamp, services, this);
//     if (dialog.exec() == QDialog::Accepted) {
//         m_stamp = dialog.Values();
//         markModified();
//     }
class CMyTimeDialog : public StampFontDialog {
    Q_OBJECT
  public:
    // now: the clock of the format list and the sample (tests fix it); empty: the real time.
    CMyTimeDialog(const DateTimeProperties& values, DialogServices services,
                  QWidget* parent = nullptr, std::function<QDateTime()> now = {});

    DateTimeProperties Values() const;

  protected:
    QString SampleText() const override;
    StampLines SampleLines() const override { return StampLines::ByAlignment; }

  private:
    QDateTime Now() const;

    std::function<QDateTime()> m_now;
    QComboBox* m_pFormat;
    int m_nFormat;
};

} // namespace vistrel
