#pragma once

#include "config/ReloadGroup.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace vistrel {

class AutoResetEvent;

// Font face names longer than this do not fit a logical-font record; they are cut on reading.
inline constexpr std::size_t kFontFaceMax = 31;

// The running program's copy of the settings: one member per key, named after it, clear-text
// passwords. The hub owns one; the upload worker reads it. Settings pages write the file and
// then run the loader of their reload group, so the copy follows the file group by group. Which
// key loads into which member, with which default, is the key table's (config/KeyCatalogue.h);
// keys read only at the point of use (the video format fields, see ReadVideoFormatSettings;
// License/INIVersion; ImageOptions/TwelveHourTime) have no member.
struct LiveSettings {
    // Every member at the program's default for a missing key.
    LiveSettings();

    // Options (general loader)
    bool m_bRunMinimized{};
    bool m_bUploadOnStart{};
    bool m_bHideWhenMinimized{};
    int m_nViewDisplaysLastUploadImage{}; // 0 capture and show, 1 show the last upload
    bool m_bUseSound{};
    std::string m_strSoundFile;
    bool m_bDeleteBeforeMove{};
    bool m_bSaveAutoCaptureStatus{};
    bool m_bErrorLog{};
    // UploadOptions, also read by the general loader
    bool m_bSuppressErrors{};
    bool m_bFTPLog{};

    // UploadOptions, schedule loader
    int m_nUploadInterval{};
    int m_nUploadIntervalMeasure{}; // 0 seconds, 1 minutes, 2 hours (others: seconds)
    bool m_bUploadTimeRange{};
    int m_nUploadTimeRangeStartHour{};
    int m_nUploadTimeRangeStartMinute{};
    int m_nUploadTimeRangeEndHour{};
    int m_nUploadTimeRangeEndMinute{};
    bool m_bDisableUpload{}; // the auto-capture-disabled flag
    int m_nArchiveInterval{};
    int m_nNumberOfArchives{};
    int m_nArchiveOrder{};  // 0 most recent first, 1 last
    int m_nCurrentUpload{}; // the archive counter

    // UploadOptions, FTP loader
    bool m_bFTPUpload{};
    bool m_bOnlyWhileOnline{};
    std::string m_strFTPServer;
    int m_nFTPPort{};
    std::string m_strFTPUsername;
    std::string m_strFTPPassword;
    std::string m_strFTPDirectory;
    std::string m_strFTPFilename;
    bool m_bNoTempFile{};
    bool m_bPassiveMode{};
    int m_nFTPTimeOut{}; // seconds
    bool m_bUseFireWall{};
    int m_nFireWallType{}; // 0 SITE, 1 OPEN, 2 USER after logon, 3 USER no logon
    std::string m_strFireWallServer;
    int m_nFireWallPort{};
    std::string m_strFireWallUsername;
    std::string m_strFireWallPassword;
    bool m_bSaveAsFile{};
    std::string m_strSaveAsFilename;
    // Dated names (strftime patterns, empty: none) and the pruning of the dated local copies.
    std::string m_strSaveAsPattern;
    std::string m_strRemotePattern;
    int m_nKeepDays{};                          // 0: kept whatever their age
    int m_nKeepFiles{};                         // 0: kept whatever their number
    int m_nFTPSecurity{};                       // 0 plain FTP, 1 explicit TLS, 2 implicit TLS
    bool m_bFTPVerifyCertificate{};             // the system's CA store and the server's name
    std::string m_strFTPCertificateFingerprint; // SHA-256 of the server's certificate, or empty
    // Not a key: why the keys that decide the connection's security (FTPSecurity,
    // FTPVerifyCertificate) cannot be used as the file has them, or empty. A value there that
    // does not read as one of its choices refuses every FTP log-on instead of falling back to
    // plain FTP or to no certificate check.
    std::string m_strFTPSecurityRefusal;
    // Not a key: whether FTPPort is in the file (SFTP's port is 22 when it is not).
    bool m_bFTPPortSet{};
    // The other upload targets and the command after each picture.
    std::string m_strUploadTarget;
    std::string m_strSFTPHostKey;
    std::string m_strSFTPKnownHosts;
    std::string m_strSFTPKeyFile;
    std::string m_strSFTPKeyPassphrase;
    std::string m_strWebDAVURL;
    std::string m_strS3Endpoint;
    std::string m_strS3Region;
    std::string m_strS3Bucket;
    std::string m_strS3AccessKey;
    std::string m_strS3Secret;
    std::string m_strS3CacheControl;
    std::string m_strS3StorageClass;
    std::string m_strAfterPublish;
    int m_nAfterPublishTimeout{}; // seconds

    // ConnectOptions, connection loader
    bool m_bUseLAN{};
    bool m_bAskBeforeConnect{};
    std::string m_strDUN;
    std::string m_strUserName;
    std::string m_strPassword;
    std::string m_strPhoneNumber;

    // ImageOptions, image options loader (alignment codes and date/time layouts: imaging/)
    bool m_bEnableMessage{};
    std::string m_strMessage;
    std::string m_strFont;
    int m_nFontHeight{}; // negative: character height in pixels
    int m_nFontWidth{};  // 0: natural width
    int m_nFontWeight{};
    bool m_bFontItalic{};
    std::uint32_t m_crFontColor{}; // 0x00BBGGRR
    int m_nAlignment{};
    bool m_bShadowText{};
    bool m_bStamp{};
    int m_nDateTimeFormat{};
    std::string m_strTimeFormat; // strftime; when set it replaces the fixed layout
    std::string m_strTimeFont;
    int m_nTimeFontHeight{};
    int m_nTimeFontWidth{};
    int m_nTimeFontWeight{};
    bool m_bTimeFontItalic{};
    std::uint32_t m_crTimeFontColor{};
    int m_nTimeAlignment{};
    bool m_bTimeShadowText{};
    bool m_bEnableOverlay{};
    std::string m_strOverlayFilename;
    int m_nOverlayAlignment{};
    bool m_bOverlayTransparency{};
    int m_nQuality{};
    bool m_bProgressiveJPG{};
    int m_nRotate{};  // degrees clockwise: 0, 90, 180 or 270
    bool m_bMirror{}; // left and right swapped

    // ImageFormat/CaptureDevice and DeviceOptions, device loader
    int m_nCaptureDevice{};             // -1: none chosen
    std::string m_strCaptureDevicePath; // when set, wins over the position
    std::string m_strCameraControls;    // "name=value" pairs set on the camera at connect
    bool m_bDisablePreview{};
    int m_nPreviewLeadTime{}; // seconds
    int m_nPreviewRate{};     // frames per second

    // Install/Directory with a trailing '/' when not empty.
    std::string m_strInstallDirectory;
    // The program folder, where the working files ("~vistrel.jpg", "pvvistrel.jpg", "error.log",
    // "ftp.log") live, with its trailing '/'; empty means the current directory. Worked out from
    // Install/Directory and the settings file by the full load (WorkingFolder in SettingsFile.h).
    std::string m_strWorkingFolder;

    // Reads the keys of one reload group from the settings file (None: nothing).
    void Load(ReloadGroup group);
    // The group loaders, each reading its keys from the settings file.
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
    // it), reads Install/Directory (and works out the program folder), then runs the loaders in
    // the order
    // image options, schedule (with the archive counter), FTP, connection, general, device.
    // Returns whether the idle event came; the settings are loaded either way.
    bool LoadAll(AutoResetEvent& idleEvent);
    // The same reads without the wait; the archive counter only when readArchiveCounter is set
    // (a re-read of every page keeps the live counter).
    void LoadEverything(bool readArchiveCounter);

    bool operator==(const LiveSettings&) const = default;
};

} // namespace vistrel
