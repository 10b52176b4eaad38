#pragma once

#include "imaging/codec/ImgLib.h"
#include "ui/dialogs/DialogServices.h"

#include <QDialog>
#include <QImage>
#include <QSize>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;

namespace vistrel {

class SampleView;

// The logo's settings as the Image page keeps them (ImageOptions OverlayFilename,
// OverlayAlignment, OverlayTransparency).
struct LogoProperties {
    std::string path;
    int alignment = 0; // 0..8: Top/Left, Top/Center, … Bottom/Right
    bool transparency = false;
    bool operator==(const LogoProperties&) const = default;
};

// "Logo Properties": the logo file (typed, or chosen with "..."), its nine alignments, "Enable
// transparency" and a 320 × 240 sample: the camera's frame, grabbed once when the dialog opens,
// with the logo at OverlayPosition over it, drawn by the codec layer as the picture is.
//
// A logo is read by the pipeline's ReadLogoFile. A file that cannot be read shows the image
// library's error text; a logo both wider and taller than the frame shows "Overlay image is
// larger than capture image!" (one that is only wider or only taller is taken and clipped).
// Either way the dialog keeps the logo and path it showed before, and a typed path goes back to
// that path, so the value handed back is always the logo the sample shows. Enter in the path
// loads the typed file; it does not press OK. "Enable transparency" is enabled only while the
// logo has a transparent colour (a GIF's), shown as "(rrr,ggg,bbb)"; a PNG with an alpha channel
// is blended by it, as the picture is. Without a transparent colour the box is cleared,
// so what is handed back is what the box shows.
//
// Use from a settings page:
//     LogoPropertiesDialog dialog(m_logo, services, this);
//     if (dialog.exec() == QDialog::Accepted)
//         m_logo = dialog.Values();
class LogoPropertiesDialog : public QDialog {
    Q_OBJECT
  public:
    static constexpr const char* kBrowseTitle = "Select Image";
    // The browse dialog's filter, in Qt's notation.
    static const QString& BrowseFilter();

    LogoPropertiesDialog(const LogoProperties& values, DialogServices services,
                         QWidget* parent = nullptr);
    ~LogoPropertiesDialog() override;

    // The values the controls hold now (what OK hands back).
    LogoProperties Values() const;

    // For tests and the screenshots: the sample as shown, the grabbed frame's size (0 × 0 when
    // the grab failed), the logo held (0 × 0 without one) and its transparent colour (-1: none).
    QImage SampleImage() const;
    QSize FrameSize() const
    {
        return QSize(static_cast<int>(m_nFrameWidth), static_cast<int>(m_nFrameHeight));
    }
    QSize LogoSize() const
    {
        return QSize(static_cast<int>(m_nLogoWidth), static_cast<int>(m_nLogoHeight));
    }
    ColorRef TransparentColor() const { return m_transparent; }

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    // Reads the logo at path and, when it can be used, shows it; otherwise says why and keeps
    // what was shown.
    bool LoadLogo(const QString& path);
    void OnBrowse();
    void OnPathEdited();
    void ShowTransparency();
    void RedrawSample();

    DialogSupport m_support;
    QLineEdit* m_pPath;
    QComboBox* m_pAlignment;
    QCheckBox* m_pTransparency;
    QLabel* m_pColor;
    SampleView* m_pSample;
    int m_nAlignment;

    RgbImage m_frame;
    unsigned m_nFrameWidth = 0;
    unsigned m_nFrameHeight = 0;
    RgbImage m_logo;
    unsigned m_nLogoWidth = 0;
    unsigned m_nLogoHeight = 0;
    ColorRef m_transparent = kNoColor;
    std::vector<std::uint8_t> m_alpha; // a PNG logo's own alpha, or empty
    QString m_strShownPath; // the path of the logo shown (what a refused path goes back to)
    bool m_bFailed = false;
};

} // namespace vistrel
