#include "capture/CaptureSession.h"

#include "capture/CameraControls.h"

#include "capture/NetworkCameraLoader.h"
#include "platform/PrivateTempDir.h"

#include <algorithm>
#include <utility>

namespace vistrel {

int PreviewPeriodMs(int previewRate)
{
    return previewRate > 0 ? 1000 / previewRate : 0;
}

CaptureSession::CaptureSession(CaptureDriverList& drivers, Prompter& prompter)
    : m_drivers(drivers), m_prompter(prompter)
{
}

CaptureSession::~CaptureSession() = default;

void CaptureSession::runBeside(const std::function<void()>& work) const
{
    if (m_runner)
        m_runner(work);
    else
        work();
}

std::string ControlsNote(CaptureDevice& device, const std::string& cameraControls)
{
    std::vector<std::string> problems;
    const std::vector<ControlSetting> settings = ParseCameraControls(cameraControls, &problems);
    for (std::string& p : ApplyCameraControls(device, settings))
        problems.push_back(std::move(p));
    if (problems.empty())
        return {};
    std::string text = "Camera controls (" + keys::ImageFormat::CameraControls.name() + "): ";
    for (std::size_t i = 0; i < problems.size(); ++i)
        text += (i ? "; " : "") + problems[i];
    return text + "; the others are set.";
}

bool CaptureSession::ConnectCaptureDriver(const CaptureSettings& settings)
{
    // A new device replaces the previous one. The old one lets go of its camera first, even if
    // the worker still holds it (its grabs then fail), or the camera would be busy with us.
    const int index =
        settings.devicePath.empty() ? settings.captureDevice : m_drivers.find(settings.devicePath);
    std::shared_ptr<CaptureDevice> device = m_drivers.createDevice(index);
    std::shared_ptr<CaptureDevice> previous;
    const bool missing = !settings.devicePath.empty() && index < 0;
    {
        std::lock_guard lock(m_mutex);
        previous = std::exchange(m_device, device);
        m_bConnected = false;
        m_strMissingDriver = missing ? settings.devicePath : std::string();
    }
    if (missing) {
        if (previous)
            runBeside([&] { previous->disconnect(); });
        m_prompter.message("The chosen camera " + settings.devicePath + " (" +
                           keys::ImageFormat::CaptureDevicePath.name() + ") is not there.");
        return false;
    }
    // Everything that talks to the camera runs beside the caller's thread; the messages follow.
    bool connected = false, rateSet = false, previewSet = false;
    std::string formatNote; // shown from this thread: message boxes belong to the caller's
    std::string controlsNote;
    runBeside([&] {
        if (previous)
            previous->disconnect();
        connected = device && device->connect();
        if (!connected)
            return;
        rateSet = device->setPreviewRate(PreviewPeriodMs(settings.previewRate));
        formatNote = SetStoredVideoFormat(settings.storedFormat);
        controlsNote = ControlsNote(*device, settings.cameraControls);
        previewSet = device->setPreview(!settings.disablePreview);
    });
    if (!connected) {
        std::string text = kConnectFailedText;
        // A network camera without its module: say what to install.
        const std::vector<CaptureDriverEntry> entries = m_drivers.entries();
        const auto at = static_cast<std::size_t>(index);
        if (device && at < entries.size() && entries[at].kind == CaptureDriverKind::Network) {
            if (const std::string why = NetworkCameraModuleProblem(); !why.empty())
                text += "\n" + why;
        }
        m_prompter.message(text);
        return false;
    }
    if (!rateSet)
        m_prompter.message("Failed to set preview rate");
    if (!formatNote.empty())
        m_prompter.message(formatNote);
    if (!controlsNote.empty())
        m_prompter.message(controlsNote);
    ShowDriverInfo();
    if (!previewSet)
        m_prompter.message(settings.disablePreview ? "Failed to disable preview mode"
                                                   : "Failed to enable preview mode");

    PlacePreviewWindow();
    device->capabilities();
    ShowDriverInfo();

    std::lock_guard lock(m_mutex);
    m_bConnected = true;
    return true;
}

void CaptureSession::ShowDriverInfo()
{
    const auto dev = device();
    ImageFormat format;
    if (!dev || !dev->getFormat(format)) {
        m_prompter.message("Failed to allocate BITMAPINFO buffer");
        return;
    }
    const std::string name = dev->name();
    FrameSize size;
    if (!dev->status(size)) {
        m_prompter.message("Failed to get capture status");
        return;
    }
    std::lock_guard lock(m_mutex);
    m_strDriverInfo = name + "\n" + std::to_string(size.width) + " x " +
                      std::to_string(size.height) + ", " + std::to_string(format.bitCount) +
                      " bit color";
}

ImageFormat CompleteStoredFormat(const ImageFormat& stored)
{
    // Width and Height written alone (the rest of the header missing, read as 0) choose a 24-bit
    // colour picture of that size.
    if (stored.width > 0 && stored.height != 0 && stored.size == 0 && stored.planes == 0 &&
        stored.bitCount == 0)
        return Rgb24Format(stored.width, stored.height);
    return stored;
}

void CaptureSession::ApplyStoredVideoFormat(const ImageFormat& stored)
{
    if (const std::string text = SetStoredVideoFormat(stored); !text.empty())
        m_prompter.message(text);
}

std::string CaptureSession::SetStoredVideoFormat(const ImageFormat& stored)
{
    const auto dev = device();
    if (!dev)
        return {};
    const ImageFormat format = CompleteStoredFormat(stored);
    dev->setFormat(format);
    // Only a size chosen by hand (Width and Height written alone) is worth a word: the whole
    // format the Device page stores follows the camera it was chosen for, and a network camera
    // simply serves its own size, as it always did.
    const bool byHand = format.size != stored.size;
    if (!byHand || format.width <= 0 || format.height == 0)
        return {};
    const FrameSize wanted{format.width, format.height < 0 ? -format.height : format.height};
    const std::vector<FrameSize> offered = dev->frameSizes();
    if (offered.empty() || std::find(offered.begin(), offered.end(), wanted) != offered.end())
        return {};
    std::string sizes;
    for (const FrameSize& s : offered)
        sizes +=
            (sizes.empty() ? "" : " ") + std::to_string(s.width) + "x" + std::to_string(s.height);
    std::string text = dev->name() + " does not offer " + std::to_string(wanted.width) + " x " +
                       std::to_string(wanted.height) + " (" + keys::ImageFormat::Width.name() +
                       ", " + keys::ImageFormat::Height.name() + "); it offers " + sizes;
    if (FrameSize now; dev->status(now))
        text += "; it uses " + std::to_string(now.width) + " x " + std::to_string(now.height);
    return text + ".";
}

void CaptureSession::PlacePreviewWindow()
{
    const auto dev = device();
    FrameSize size;
    if (!dev || !dev->status(size)) {
        m_prompter.message("Failed to get capture status");
        return;
    }
    std::lock_guard lock(m_mutex);
    m_previewSize = size;
}

std::string CaptureSession::GrabSampleFrame()
{
    const std::string dir = PrivateTempDirectory();
    const auto dev = device();
    if (dir.empty() || !dev)
        return {};
    const std::string path = dir + "/~vs.bmp";
    bool ok = false;
    runBeside([&] { ok = dev->grabFrame() && dev->saveFrame(path); });
    return ok ? path : std::string();
}

bool CaptureSession::DisconnectCaptureDriver()
{
    const auto dev = device();
    {
        std::lock_guard lock(m_mutex);
        m_bConnected = false;
    }
    bool ok = false;
    if (dev)
        runBeside([&] { ok = dev->disconnect(); });
    return ok;
}

std::string CaptureSession::missingDriver() const
{
    std::lock_guard lock(m_mutex);
    return m_strMissingDriver;
}

bool CaptureSession::isConnected() const
{
    std::lock_guard lock(m_mutex);
    return m_bConnected;
}

std::shared_ptr<CaptureDevice> CaptureSession::device() const
{
    std::lock_guard lock(m_mutex);
    return m_device;
}

std::string CaptureSession::driverInfo() const
{
    std::lock_guard lock(m_mutex);
    return m_strDriverInfo;
}

FrameSize CaptureSession::previewSize() const
{
    std::lock_guard lock(m_mutex);
    return m_previewSize;
}

} // namespace vistrel
