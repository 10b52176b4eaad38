#pragma once

#include "capture/CaptureDevice.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <memory>

namespace vistrel {

// Where the picture sits in the 320 x 240 preview area: centred when it fits, otherwise at the
// top left, cut to the area.
struct PreviewGeometry {
    int x = 0;
    int y = 0;
    int width = 320;
    int height = 240;
    bool operator==(const PreviewGeometry&) const = default;
};
PreviewGeometry PlacePreviewGeometry(int imageWidth, int imageHeight);

// The preview's rectangle in main-window coordinates, inside the two-pixel border of the preview
// frame whose top-left corner is (frameLeft, frameTop).
PreviewGeometry PreviewWindowRect(int frameLeft, int frameTop, const PreviewGeometry& geometry);

// The live preview in the main window: shows the frames the capture device hands to its preview
// listener (at the device's preview rate), drawn at their natural size from the top-left corner,
// so a picture larger than the widget shows its top-left part. Black while there is no picture.
//
// A device that stops delivering while its preview is on (an unplugged camera) is reported once
// through pictureLost() with the device's last error, and pictureBack() follows the first frame
// after that.
class CPreviewWidget : public QWidget {
    Q_OBJECT
  public:
    // How long a previewing device may stay silent before the picture counts as lost: three
    // preview periods, and never less than this.
    static constexpr int kMinSilenceMs = 2000;

    explicit CPreviewWidget(QWidget* parent = nullptr);
    ~CPreviewWidget() override;

    // Shows the frames of device from now on (null: no device, a black area). Replaces the
    // previous device's listener.
    void Attach(std::shared_ptr<CaptureDevice> device);

    // The picture on show (null before the first frame) and how many frames were shown.
    QImage Picture() const { return m_picture; }
    std::uint64_t FramesShown() const { return m_nFramesShown; }
    bool PictureLost() const { return m_bLost; }

  signals:
    void pictureLost(const QString& reason);
    void pictureBack();

  protected:
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Mailbox;
    void TakeFrame(const std::shared_ptr<Mailbox>& mailbox);
    void CheckSilence();

    std::shared_ptr<CaptureDevice> m_device;
    std::shared_ptr<Mailbox> m_mailbox;
    QImage m_picture;
    std::uint64_t m_nFramesShown = 0;
    QElapsedTimer m_sinceFrame;
    QTimer m_watchdog;
    bool m_bLost = false;
};

} // namespace vistrel
