#include "imaging/ComposeAndSave.h"

#include "imaging/LogoFile.h"
#include "imaging/PixelView.h"
#include "imaging/StampRenderer.h"
#include "imaging/codec/ImgLib.h"
#include "platform/PrivateTempDir.h"
#include "platform/ReplaceFile.h"
#include "platform/Sound.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace vistrel {

namespace {

const char* const kSaveFailed = kCaptureSaveFailedText;

std::string libraryError(const char* where)
{
    return ImageLibraryErrorText(ImgLibGetLastError()) + " (" + where + ")";
}

// The grab file of one composition, removed when the composition ends, however it ends.
class GrabFile {
  public:
    GrabFile() : m_path(CreatePrivateTempFile("grab")) {}
    ~GrabFile()
    {
        if (!m_path.empty())
            ::unlink(m_path.c_str());
    }
    GrabFile(const GrabFile&) = delete;
    GrabFile& operator=(const GrabFile&) = delete;
    const std::string& path() const { return m_path; }

  private:
    std::string m_path;
};

void waitLeadTime(const ComposeEnvironment& env, int seconds)
{
    if (env.sleep) {
        env.sleep(seconds);
    } else if (env.quit) {
        if (env.quit->Wait(static_cast<long>(std::max(0, seconds)) * 1000))
            env.quit->Set(); // the token is its owner's: put it back
    } else {
        std::this_thread::sleep_for(std::chrono::seconds(std::max(0, seconds)));
    }
}

// Writes the picture beside outPath and renames it into place.
bool saveJpegReplacing(const std::string& outPath, const RgbImage& image, unsigned w, unsigned h,
                       int quality, bool progressive)
{
    FileReplacement out(outPath);
    if (!out.Create(nullptr)) {
        ImgLibThreadState().lastError = IMGLIB_FILE_OPEN;
        return false;
    }
    if (!ImgLibSaveRGBToJPG(out.TemporaryPath(), image, w, h, quality, 1, progressive ? 1 : 0))
        return false;
    if (!out.Commit(nullptr)) {
        ImgLibThreadState().lastError = IMGLIB_FILE_WRITE;
        return false;
    }
    return true;
}

} // namespace

std::uint64_t LogoPixelLimit(int frameWidth, int frameHeight)
{
    constexpr std::uint64_t kSmallestLimit = 1024ull * 1024ull;
    const std::uint64_t frame = static_cast<std::uint64_t>(std::max(0, frameWidth)) *
                                static_cast<std::uint64_t>(std::max(0, frameHeight));
    return std::min(ImgLibMaxPixels, std::max(frame, kSmallestLimit));
}

RgbImage OrientFrame(const RgbImage& frame, unsigned& width, unsigned& height, int rotate,
                     bool mirror)
{
    const std::size_t w = width, h = height;
    const bool quarter = rotate == 90 || rotate == 270;
    const std::size_t outW = quarter ? h : w, outH = quarter ? w : h;
    RgbImage out = RgbImage::allocate(w * h * 3);
    if (!out || frame.size() < w * h * 3)
        return {};
    const std::uint8_t* src = frame.data();
    std::uint8_t* dst = out.data();
    for (std::size_t y = 0; y < outH; ++y) {
        for (std::size_t x = 0; x < outW; ++x) {
            // The point of the upright picture before the mirror.
            const std::size_t u = mirror ? outW - 1 - x : x;
            std::size_t sx = u, sy = y;
            if (rotate == 90) {
                sx = y;
                sy = h - 1 - u;
            } else if (rotate == 180) {
                sx = w - 1 - u;
                sy = h - 1 - y;
            } else if (rotate == 270) {
                sx = w - 1 - y;
                sy = u;
            }
            std::memcpy(dst + (y * outW + x) * 3, src + (sy * w + sx) * 3, 3);
        }
    }
    width = static_cast<unsigned>(outW);
    height = static_cast<unsigned>(outH);
    return out;
}

ComposeResult ComposeAndSave(const std::string& outPath, const ComposeSettings& s,
                             FrameGrabber* grabber, const ComposeEnvironment& env)
{
    ComposeResult result;
    auto fail = [&](const std::string& text) {
        result.error = text;
        result.stampText.clear();
        return result;
    };

    // Grab, with the preview switched on for the lead time when it is normally off, so the
    // camera can adjust its exposure first.
    bool previewSwitchedOn = false;
    if (grabber && s.disablePreview && s.previewLeadTime != 0) {
        previewSwitchedOn = grabber->SetPreview(true);
        waitLeadTime(env, s.previewLeadTime);
    }
    const bool grabbed = grabber && grabber->GrabFrame();
    if (s.useSound) {
        if (env.playSound)
            env.playSound(s.soundFile);
        else
            PlaySoundAsync(s.soundFile);
    }
    if (previewSwitchedOn)
        grabber->SetPreview(false);
    if (!grabber || !grabbed)
        return fail(kSaveFailed);

    // The frame straight from the grabber when it can give it; otherwise through a bitmap file
    // of our own, which nobody else reads.
    unsigned width = 0, height = 0;
    RgbImage frame;
    if (!grabber->TakeFrame(frame, width, height) || !frame) {
        const GrabFile grab;
        if (grab.path().empty() || !grabber->SaveFrame(grab.path()))
            return fail(kSaveFailed);
        frame = ImgLibReadRGBFromBMP(grab.path(), width, height);
        if (!frame)
            return fail(libraryError("ImgLibReadRGBFromBMP"));
    }
    if (s.rotate != 0 || s.mirror) {
        frame = OrientFrame(frame, width, height, s.rotate, s.mirror);
        if (!frame)
            return fail("Capture Error: no memory to turn the picture");
    }
    result.width = static_cast<int>(width);
    result.height = static_cast<int>(height);

    // The picture is drawn on where it lies: the logo, then the texts.
    if (frame.size() != static_cast<std::size_t>(width) * height * 3) {
        ImgLibThreadState().lastError = IMGLIB_BAD_PARAM;
        return fail(libraryError("ImgLibDrawRGB"));
    }
    const PixelView canvas = PixelView::Of(frame, width, height);
    if (canvas.empty())
        return fail("Capture Error: bm.CreateBitmap Failed");

    if (!s.overlayFilename.empty() && s.enableOverlay) {
        unsigned lw = 0, lh = 0;
        ColorRef transparent = 0;
        bool isGif = false;
        RgbImage logo = ReadLogoFile(s.overlayFilename, lw, lh, transparent, isGif,
                                     LogoPixelLimit(result.width, result.height));
        if (!logo)
            return fail(libraryError("Overlay Image - ImgLibReadRGBFromGIF"));
        const OverlayPoint at = OverlayPosition(s.overlayAlignment, static_cast<int>(lw),
                                                static_cast<int>(lh), result.width, result.height);
        const std::vector<std::uint8_t> alpha =
            isGif ? std::vector<std::uint8_t>() : ReadLogoAlpha(s.overlayFilename, lw, lh);
        if (isGif && transparent != static_cast<ColorRef>(-1) && s.overlayTransparency) {
            if (!DrawRgbKeyed(canvas, logo, lw, lh, at.x, at.y, transparent))
                return fail(libraryError("Overlay Image - ImgLibDrawTranparentRGB"));
        } else if (!alpha.empty()) {
            // A logo with its own alpha (a PNG) is blended by it.
            if (!DrawRgbWithAlpha(canvas, logo, alpha, lw, lh, at.x, at.y))
                return fail(libraryError("Overlay Image - ImgLibDrawRGBWithAlpha"));
        } else if (!DrawRgb(canvas, logo, lw, lh, at.x, at.y)) {
            return fail(libraryError("Overlay Image - ImgLibDrawRGB"));
        }
    }

    // A pattern that gives no text (or too much) falls back to the fixed layout: the stamp text
    // is also the cycle's result, and an empty one would read as a failed capture.
    const QDateTime when = env.now();
    QString stamp = PatternStampText(when, s.timeFormat);
    if (stamp.isEmpty())
        stamp = DateTimeStampText(when, s.dateTimeFormat, env.locale);
    const std::string stampText = stamp.toStdString();
    if (s.stamp)
        DrawStamp(canvas, s.timeFont, stamp, s.timeAlignment, s.timeShadowText, s.timeFontColor);
    if (s.enableMessage)
        DrawStamp(canvas, s.font, QString::fromStdString(s.message), s.alignment, s.shadowText,
                  s.fontColor);

    if (!saveJpegReplacing(outPath, frame, width, height, s.quality, s.progressive))
        return fail(libraryError("ImgLibSaveRGBToJPG"));
    result.stampText = stampText;
    return result;
}

} // namespace vistrel
