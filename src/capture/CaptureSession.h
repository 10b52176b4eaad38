#pragma once

#include "capture/CaptureDevice.h"
#include "capture/CaptureDrivers.h"
#include "capture/ImageFormat.h"
#include "config/KeyCatalogue.h"
#include "platform/Prompter.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>

namespace vistrel {

// What the connect sequence reads from the settings: ImageFormat/CaptureDevice, the
// DeviceOptions values and the stored video format (the eleven ImageFormat fields, read from the
// settings file just before the sequence runs).
struct CaptureSettings {
    int captureDevice = keys::ImageFormat::CaptureDevice.programDefaultInt();
    // ImageFormat/CaptureDevicePath: when set, the driver it names wins over the position, and
    // when that driver is not there no other one is connected in its place.
    std::string devicePath;
    bool disablePreview = keys::DeviceOptions::DisablePreview.programDefaultFlag();
    int previewRate = keys::DeviceOptions::PreviewRate.programDefaultInt();
    ImageFormat storedFormat;
    // ImageFormat/CameraControls: the camera's own settings, set at every connect.
    std::string cameraControls;
};

// The stored video format as the connect applies it: Width and Height alone (the other header
// fields missing) stand for the 24-bit colour format of that size.
ImageFormat CompleteStoredFormat(const ImageFormat& stored);

// Sets the controls cameraControls names on a connected device; the text that names what could
// not be set, or an empty text.
std::string ControlsNote(CaptureDevice& device, const std::string& cameraControls);

// The preview period for a rate in frames a second: 1000 / rate milliseconds, 0 for a rate of 0
// (or below).
int PreviewPeriodMs(int previewRate);

// The main window's capture device and the operations on it: connecting the chosen driver, the
// driver information line, putting the stored format back, placing the preview and grabbing a
// sample. Message boxes go through the Prompter. Used from the user-interface thread; the device
// it hands out is thread-safe and may be kept by the worker across a device change.
class CaptureSession {
  public:
    // The connect failure, shown when the chosen driver cannot be connected.
    static constexpr const char* kConnectFailedText =
        "Unable to connect to video driver!\nThe requested video driver is either not installed "
        "or is in use by another program.";

    // Runs a piece of work that may wait on a camera (connecting, disconnecting, a grab) and
    // returns when it is done. The desktop program runs it beside its window's thread so that
    // the window keeps repainting; by default it runs in place.
    using Runner = std::function<void(const std::function<void()>& work)>;

    CaptureSession(CaptureDriverList& drivers, Prompter& prompter);
    ~CaptureSession();

    void setRunner(Runner runner) { m_runner = std::move(runner); }
    // Runs work through the runner.
    void runBeside(const std::function<void()>& work) const;

    // Creates the device for settings.captureDevice and connects it: preview rate, driver
    // information, stored format, preview on or off, placement. Returns the connected flag.
    bool ConnectCaptureDriver(const CaptureSettings& settings);
    // Sets driverInfo() to "<name>\n<w> x <h>, <bits> bit color".
    void ShowDriverInfo();
    // The driver's refusal of the stored format (an all-zero header on first start) is ignored;
    // a size the driver does not offer is named with the sizes it offers.
    void ApplyStoredVideoFormat(const ImageFormat& stored);
    // The same without a message: the note about a size the camera does not offer, or "".
    std::string SetStoredVideoFormat(const ImageFormat& stored);
    // Takes the device's current frame size as previewSize(), which the window places its
    // preview by ("Failed to get capture status" when it cannot be read).
    void PlacePreviewWindow();
    // Grabs one frame into "~vs.bmp" in the private temporary directory; returns that path, or
    // an empty string when the grab or the save fails.
    std::string GrabSampleFrame();
    // Disconnects the driver (at exit and before a device change); false when it was not
    // connected.
    bool DisconnectCaptureDriver();

    bool isConnected() const;
    // The chosen driver's name when the last connect found no driver of that name; else empty.
    std::string missingDriver() const;
    std::shared_ptr<CaptureDevice> device() const;
    std::string driverInfo() const;
    FrameSize previewSize() const;

  private:
    CaptureDriverList& m_drivers;
    Prompter& m_prompter;
    Runner m_runner;
    mutable std::mutex m_mutex; // guards the members below against readers on other threads
    std::shared_ptr<CaptureDevice> m_device;
    bool m_bConnected = false;
    std::string m_strDriverInfo;
    std::string m_strMissingDriver;
    FrameSize m_previewSize;
};

} // namespace vistrel
