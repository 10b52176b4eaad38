#pragma once

#include "imaging/Stamp.h"
#include "ui/dialogs/DialogServices.h"

#include <QColor>
#include <QDialog>
#include <QImage>
#include <QSize>

#include <cstdint>

class QCheckBox;
class QComboBox;
class QGridLayout;

namespace vistrel {

class EditList;
class SampleView;

// A stored colour value (0x00BBGGRR) as a QColor.
inline QColor ColorFromColorRef(std::uint32_t colorref)
{
    return QColor(static_cast<int>(colorref & 0xFF), static_cast<int>((colorref >> 8) & 0xFF),
                  static_cast<int>((colorref >> 16) & 0xFF));
}

// Whether two font records have the same fields.
inline bool SameFontRecord(const FontRecord& a, const FontRecord& b)
{
    return a.face == b.face && a.height == b.height && a.width == b.width && a.weight == b.weight &&
           a.italic == b.italic;
}

// The font dialog the banner and date/time dialogs are made of: font list (the installed
// families), style list, size list (in points, as font dialogs show sizes; the record keeps the
// character height in pixels at 96 dots an inch), the sixteen standard colours, the six stamp
// alignments, "Shado&w", a 320 × 240 sample, OK, Cancel and Help.
//
// The sample is the camera's frame, grabbed once when the dialog opens and drawn 1:1 from the
// sample's top-left corner, with the text drawn over it by the pipeline's own DrawStamp; every
// change of a control draws it again. A frame that is not 320 × 240 (a failed grab counts as
// 0 × 0) brings up the size notice while the dialog opens.
//
// Values are only handed in and out: a value whose control the user did not touch comes back
// exactly as it went in (a face that is not installed keeps its stored name, a colour outside
// the sixteen is offered as "Custom", an alignment outside 0..5 shows no selection).
class StampFontDialog : public QDialog {
    Q_OBJECT
  public:
    // The sixteen standard colours, in the order of the colour list, as 0x00BBGGRR values.
    struct NamedColor {
        const char* name;
        std::uint32_t colorref;
    };
    static const NamedColor kStandardColors[16];

    // Point size shown for a record's height, and the record height (negative: pixels) for a
    // point size.
    static int PointsForHeight(int height);
    static int HeightForPoints(int points);

    // The picture the sample shows now (kept for tests and the screenshots).
    QImage SampleImage() const;
    // Size of the grabbed frame; 0 × 0 when the grab failed.
    QSize FrameSize() const { return m_frameSize; }

  protected:
    struct CommonValues {
        FontRecord font;
        std::uint32_t color = 0xFFFFFF;
        int alignment = 0;
        bool shadow = true;
    };

    StampFontDialog(const QString& title, int helpContext, const CommonValues& values,
                    DialogServices services, QWidget* parent);

    // The row under the effects for the dialog's own control (banner text or date/time format).
    void AddOwnRow(const QString& label, QWidget* control);
    // Grabs the sample, shows the size notice when needed and draws the sample. The derived
    // dialog calls it at the end of its constructor.
    void Open();
    // Draws the sample again (every change of a control).
    void RedrawSample();
    CommonValues Common() const;
    const DialogSupport& Support() const { return m_support; }

    virtual QString SampleText() const = 0;
    virtual StampLines SampleLines() const = 0;

  private:
    void OnFaceChanged();
    void OnStyleChanged();
    void OnSizeChanged();

    DialogSupport m_support;
    CommonValues m_values; // the values as they are now
    EditList* m_pFace;
    EditList* m_pStyle;
    EditList* m_pSize;
    QComboBox* m_pColor;
    QComboBox* m_pAlignment;
    QCheckBox* m_pShadow;
    QGridLayout* m_pOwnRow;
    SampleView* m_pSample;
    QImage m_frame;
    QSize m_frameSize{0, 0};
};

} // namespace vistrel
