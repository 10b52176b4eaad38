#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace vistrel {

class AutoResetEvent;

// Font face names longer than this do not fit a logical-font record; they are cut on reading.
inline constexpr std::size_t kFontFaceMax = 31;

// The running program's copy of the settings: one member per key, named after it, clear-text
// passwords. The hub owns one; the upload worker reads it. Settings pages write the file and
// then run the loader of the section they changed, so the copy follows the file section by
// section. Keys read only at the point of use (the video format fields, see
// ReadVideoFormatSettings; License/INIVersion; ImageOptions/TwelveHourTime) have no member.
struct LiveSettings {
    // Options (general loader)
    bool m_bRunMinimized = false;
    bool m_bUploadOnStart = false;
    bool m_bHideWhenMinimized = false;
    int m_nViewDisplaysLastUploadImage = 1; // 0 capture and show, 1 show the last upload
    bool m_bUseSound = false;
    std::string m_strSoundFile = "shutter.wav";
    bool m_bDeleteBeforeMove = false;
    bool m_bSaveAutoCaptureStatus = false;
    bool m_bErrorLog = false;
    // UploadOptions, also read by the general loader
    bool m_bSuppressErrors = true;
    bool m_bFTPLog = false;

    // UploadOptions, schedule loader
    int m_nUploadInterval = 0;
    int m_nUploadIntervalMeasure = 1; // 0 seconds, 1 minutes, 2 hours (others: seconds)
    bool m_bUploadTimeRange = false;
    int m_nUploadTimeRangeStartHour = 0;
    int m_nUploadTimeRangeStartMinute = 0;
    int m_nUploadTimeRangeEndHour = 0;
    int m_nUploadTimeRangeEndMinute = 0;
    bool m_bDisableUpload = false; // the auto-capture-disabled flag
    int m_nArchiveInterval = 0;
    int m_nNumberOfArchives = 0;
    int m_nArchiveOrder = 0;  // 0 most recent first, 1 last
    int m_nCurrentUpload = 0; // the archive counter

    // UploadOptions, FTP loader
    bool m_bFTPUpload = false;
    bool m_bOnlyWhileOnline = true;
    std::string m_strFTPServer;
    int m_nFTPPort = 21;
    std::string m_strFTPUsername;
    std::string m_strFTPPassword;
    std::string m_strFTPDirectory;
    std::string m_strFTPFilename = "vistrel.jpg";
    bool m_bNoTempFile = false;
    bool m_bPassiveMode = false;
    int m_nFTPTimeOut = 45; // seconds
    bool m_bUseFireWall = false;
    int m_nFireWallType = 0; // 0 SITE, 1 OPEN, 2 USER after logon, 3 USER no logon
    std::string m_strFireWallServer;
    int m_nFireWallPort = 21;
    std::string m_strFireWallUsername;
    std::string m_strFireWallPassword;
    bool m_bSaveAsFile = true;
    std::string m_strSaveAsFilename = "vistrel.jpg";
    int m_nFTPSecurity = 0;                     // 0 plain FTP, 1 explicit TLS, 2 implicit TLS
    bool m_bFTPVerifyCertificate = true;        // the system's CA store and the server's name
    std::string m_strFTPCertificateFingerprint; // SHA-256 of the server's certificate, or empty

    // ConnectOptions, connection loader
    bool m_bUseLAN = false;
    bool m_bAskBeforeConnect = true;
    std::string m_strDUN;
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strPhoneNumber;

    // ImageOptions, image options loader (alignment codes and date/time layouts: imaging/)
    bool m_bEnableMessage = true;
    std::string m_strMessage;
    std::string m_strFont = "System";
    int m_nFontHeight = -13; // negative: character height in pixels
    int m_nFontWidth = 0;    // 0: natural width
    int m_nFontWeight = 700;
    bool m_bFontItalic = false;
    std::uint32_t m_crFontColor = 0; // 0x00BBGGRR
    int m_nAlignment = 1;
    bool m_bShadowText = true;
    bool m_bStamp = true;
    int m_nDateTimeFormat = 0;
    std::string m_strTimeFont = "System";
    int m_nTimeFontHeight = -13;
    int m_nTimeFontWidth = 0;
    int m_nTimeFontWeight = 700;
    bool m_bTimeFontItalic = false;
    std::uint32_t m_crTimeFontColor = 0;
    int m_nTimeAlignment = 4;
    bool m_bTimeShadowText = true;
    bool m_bEnableOverlay = false;
    std::string m_strOverlayFilename;
    int m_nOverlayAlignment = 0;
    bool m_bOverlayTransparency = false;
    int m_nQuality = 75;
    bool m_bProgressiveJPG = false;

    // ImageFormat/CaptureDevice and DeviceOptions, device loader
    int m_nCaptureDevice = 0; // -1: none chosen
    bool m_bDisablePreview = false;
    int m_nPreviewLeadTime = 10; // seconds
    int m_nPreviewRate = 25;     // frames per second

    // Install/Directory with a trailing '/' when not empty.
    std::string m_strInstallDirectory;
    // The program folder, where the working files ("~vistrel.jpg", "pvvistrel.jpg", "error.log",
    // "ftp.log") live, with its trailing '/'; empty means the current directory. Worked out from
    // Install/Directory and the settings file by the full load (WorkingFolder in SettingsFile.h).
    std::string m_strWorkingFolder;

    // The section loaders, each reading its keys from the settings file.
    void LoadImageOptions();
    // The schedule keys, DisableUpload included (so a re-read returns the auto-capture flag to
    // the saved state). The archive counter is read only when readArchiveCounter is set (at
    // start-up): the live counter runs ahead of the file, which is written only at exit, and a
    // page's re-read must not set it back.
    void LoadSchedule(bool readArchiveCounter = false);
    void LoadFtp();
    void LoadConnection();
    void LoadGeneral();
    void LoadDevice();

    // The full load at start-up: waits at most 5000 ms for the worker's idle event (consuming
    // it), reads FTPTimeOut, FTPPort and Install/Directory (and works out the program folder),
    // then runs the loaders in the order
    // image options, schedule (with the archive counter), FTP, connection, general, device.
    // Returns whether the idle event came; the settings are loaded either way.
    bool LoadAll(AutoResetEvent& idleEvent);
    // The same reads without the wait; the archive counter only when readArchiveCounter is set
    // (a re-read of every page keeps the live counter).
    void LoadEverything(bool readArchiveCounter);

    bool operator==(const LiveSettings&) const = default;
};

} // namespace vistrel
