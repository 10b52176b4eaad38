#pragma once

#include "capture/CaptureBackend.h"
#include "capture/ImageFormat.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <vector>

class QLabel;
class QListWidget;

namespace vistrel {

class CaptureDevice;
class Prompter;

// The Device page's Format dialog: the frame sizes the camera offers, the current one selected,
// and what the camera sends before every frame is turned into 24-bit RGB. OK sets the chosen
// size on the device (the preview follows at once); Cancel leaves it as it was. The offer is
// read before the dialog opens (the Device page reads it through the hub, beside the window's
// thread); the dialog itself asks the device only for what it keeps at hand (the current size,
// the last error), so it never waits on a camera.
class CVideoFormatDialog : public QDialog {
    Q_OBJECT
  public:
    // How OK sets the chosen format: true when the device took it. The Device page sets it
    // through the hub, beside the window's thread; by default it is set on the device here.
    using FormatSetter = std::function<bool(const ImageFormat& format)>;

    CVideoFormatDialog(std::shared_ptr<CaptureDevice> device, FormatOffer offer, Prompter& prompter,
                       QWidget* parent = nullptr, FormatSetter setFormat = {});

    const std::vector<FrameSize>& sizes() const { return m_sizes; }
    // Selects a listed size (false when it is not offered).
    bool selectSize(FrameSize size);
    FrameSize selectedSize() const;

    void accept() override;

  private:
    std::shared_ptr<CaptureDevice> m_device;
    Prompter& m_prompter;
    FormatSetter m_setFormat;
    std::vector<FrameSize> m_sizes;
    QListWidget* m_pSizes;
    QLabel* m_pFormats;
};

} // namespace vistrel
