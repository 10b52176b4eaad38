#pragma once

#include "imaging/Stamp.h"

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
};

// The settings one composition reads.
struct ComposeSettings {
    // Banner
    bool enableMessage = true;
    std::string message;
    FontRecord font{"System", -13, 0, 700, false};
    std::uint32_t fontColor = 0;
    int alignment = 1;
    bool shadowText = true;
    // Date/time stamp
    bool stamp = true;
    int dateTimeFormat = 0;
    FontRecord timeFont{"System", -13, 0, 700, false};
    std::uint32_t timeFontColor = 0;
    int timeAlignment = 4;
    bool timeShadowText = true;
    // Logo
    bool enableOverlay = false;
    std::string overlayFilename;
    int overlayAlignment = 0;
    bool overlayTransparency = false;
    // Output
    int quality = 75;
    bool progressive = false;
    // Grab
    bool disablePreview = false;
    int previewLeadTime = 10; // seconds
    bool useSound = false;
    std::string soundFile = "shutter.wav";
};

// Seams for tests: the clock of the stamp, the lead-time sleep, the shutter sound.
struct ComposeEnvironment {
    std::function<QDateTime()> now = [] { return QDateTime::currentDateTime(); };
    std::function<void(int seconds)> sleep;            // default: really sleeps
    std::function<void(const std::string&)> playSound; // default: PlaySoundAsync
    QLocale locale = QLocale::system();
};

struct ComposeResult {
    std::string stampText; // empty on failure
    std::string error;     // the capture error text on failure
    int width = 0;         // of the grabbed frame
    int height = 0;
};

// The file a grabbed frame goes through: "vistrel.tmp" in the private temporary directory
// (empty when there is no safe temporary directory).
std::string GrabFilePath();

// Grabs a frame, lays the logo, the date/time stamp and the banner over it and writes the JPEG
// to outPath. Returns the stamp text, or an empty text and the error. grabber may be null (no
// capture device).
ComposeResult ComposeAndSave(const std::string& outPath, const ComposeSettings& settings,
                             FrameGrabber* grabber, const ComposeEnvironment& env = {});

} // namespace vistrel
