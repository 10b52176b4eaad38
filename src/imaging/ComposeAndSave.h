#pragma once

#include "imaging/Stamp.h"
#include "imaging/codec/RgbImage.h"
#include "platform/AutoResetEvent.h"

#include <QDateTime>

#include <cstdint>
#include <functional>
#include <string>

namespace vistrel {

// The capture device as the stamping pipeline sees it.
class FrameGrabber {
  public:
    virtual ~FrameGrabber() = default;
    virtual bool IsPreviewing() const = 0;
    virtual bool SetPreview(bool on) = 0;
    // Grabs one fresh frame into the device's frame buffer without stopping the preview.
    virtual bool GrabFrame() = 0;
    // Saves the frame buffer as a bitmap file.
    virtual bool SaveFrame(const std::string& path) = 0;
    // Hands over the frame buffer itself (rows top first, red, green, blue), so that a
    // composition needs no bitmap file; false sends it through SaveFrame and the file.
    virtual bool TakeFrame(RgbImage& /*frame*/, unsigned& /*width*/, unsigned& /*height*/)
    {
        return false;
    }
};

// The settings one composition reads, with the key table's defaults.
struct ComposeSettings {
    // Banner
    bool enableMessage = keys::ImageOptions::EnableMessage.programDefaultFlag();
    std::string message;
    FontRecord font = DefaultFont(keys::kBannerFont);
    std::uint32_t fontColor = 0;
    int alignment = keys::ImageOptions::Alignment.programDefaultInt();
    bool shadowText = keys::ImageOptions::ShadowText.programDefaultFlag();
    // Date/time stamp
    bool stamp = keys::ImageOptions::Stamp.programDefaultFlag();
    int dateTimeFormat = 0;
    std::string timeFormat; // strftime; when it gives a text, that replaces dateTimeFormat's
    FontRecord timeFont = DefaultFont(keys::kStampFont);
    std::uint32_t timeFontColor = 0;
    int timeAlignment = keys::ImageOptions::TimeAlignment.programDefaultInt();
    bool timeShadowText = keys::ImageOptions::TimeShadowText.programDefaultFlag();
    // Orientation of the camera's picture, before the logo and the texts
    int rotate = 0; // degrees clockwise: 0, 90, 180 or 270
    bool mirror = false;
    // Logo
    bool enableOverlay = false;
    std::string overlayFilename;
    int overlayAlignment = 0;
    bool overlayTransparency = false;
    // Output
    int quality = keys::ImageOptions::Quality.programDefaultInt();
    bool progressive = false;
    // Grab
    bool disablePreview = false;
    int previewLeadTime = keys::DeviceOptions::PreviewLeadTime.programDefaultInt(); // seconds
    bool useSound = false;
    std::string soundFile{keys::Options::SoundFile.programDefault};
};

// A top-down 24-bit frame of width x height turned clockwise by rotate degrees (0, 90, 180 or
// 270; anything else leaves it upright), then mirrored left to right when mirror is set. Width
// and height become the result's; an empty image when the memory cannot be had.
RgbImage OrientFrame(const RgbImage& frame, unsigned& width, unsigned& height, int rotate,
                     bool mirror);

// What a composition needs from around it, and seams for tests: the clock of the stamp, the
// lead-time wait, the shutter sound.
struct ComposeEnvironment {
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    // The lead-time wait. By default it waits on quit when one is given, so that shutting down
    // never waits for the camera to settle (the event is set again for its owner to see), and
    // otherwise sleeps.
    std::function<void(int seconds)> sleep;
    AutoResetEvent* quit = nullptr;
    std::function<void(const std::string&)> playSound; // default: PlaySoundAsync
    QLocale locale = QLocale::system();
};

struct ComposeResult {
    std::string stampText; // empty on failure
    std::string error;     // the capture error text on failure
    int width = 0;         // of the grabbed frame
    int height = 0;
};

// The capture error of a grab that gave no picture; the grab's own reason, when there is one,
// follows on the next line.
inline constexpr const char* kCaptureSaveFailedText =
    "Capture Error: Unable to save captured image.\n Please check your Image Format Settings.\n "
    "The Help file Device Settings section contains\n additional information on this error.";

// The most pixels a logo may have on a frame of width × height: a logo is clipped to the frame,
// so it needs no more pixels than the frame has; frames below a megapixel still take logos of
// up to one. A larger logo fails to read with code 1 before its pixels are allocated (a small
// GIF file can announce a screen of 8192 × 8192).
std::uint64_t LogoPixelLimit(int frameWidth, int frameHeight);

// Grabs a frame, lays the logo, the date/time stamp and the banner over it and writes the JPEG
// to outPath. Returns the stamp text, or an empty text and the error. grabber may be null (no
// capture device).
//
// Each composition grabs into a file of its own, made exclusively in the private temporary
// directory and removed afterwards, and the JPEG replaces outPath by rename: several
// compositions (and several programs) never read each other's frames, and no one reads a
// half-written picture.
ComposeResult ComposeAndSave(const std::string& outPath, const ComposeSettings& settings,
                             FrameGrabber* grabber, const ComposeEnvironment& env = {});

} // namespace vistrel
