#pragma once

#include "ui/dialogs/StampFontDialog.h"

#include <QDateTime>

#include <functional>

class QComboBox;

namespace vistrel {

// The date/time stamp's settings as the Image page keeps them (ImageOptions TimeFont…,
// TimeFontColor, TimeAlignment, TimeShadowText, DateTimeFormat).
struct DateTimeProperties {
    FontRecord font{"System", -13, 0, 700, false};
    std::uint32_t color = 0xFFFFFF; // 0x00BBGGRR
    int alignment = 4;              // 0..5: Top/Left … Bottom/Right
    bool shadow = true;
    int format = 0; // 0..5, see DateTimeStampText
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
