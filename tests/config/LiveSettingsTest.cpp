#include "config/LiveSettings.h"
#include "config/PasswordScrambling.h"
#include "platform/AutoResetEvent.h"

#include "ConfigTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

using namespace vistrel;

using LiveSettingsLoad = test::SettingsFileTest;

namespace {

// A copy with every member away from its default, so that a member no loader touches shows.
LiveSettings scrambled()
{
    LiveSettings s;
    s.m_bRunMinimized = s.m_bUploadOnStart = s.m_bHideWhenMinimized = true;
    s.m_nViewDisplaysLastUploadImage = 77;
    s.m_bUseSound = s.m_bDeleteBeforeMove = s.m_bSaveAutoCaptureStatus = s.m_bErrorLog = true;
    s.m_strSoundFile = s.m_strFTPServer = s.m_strFTPUsername = s.m_strFTPPassword = "junk";
    s.m_strFTPDirectory = s.m_strFTPFilename = s.m_strFireWallServer = "junk";
    s.m_strFireWallUsername = s.m_strFireWallPassword = s.m_strSaveAsFilename = "junk";
    s.m_strDUN = s.m_strUserName = s.m_strPassword = s.m_strPhoneNumber = "junk";
    s.m_strMessage = s.m_strFont = s.m_strTimeFont = s.m_strOverlayFilename = "junk";
    s.m_strInstallDirectory = "junk";
    s.m_bSuppressErrors = s.m_bOnlyWhileOnline = s.m_bSaveAsFile = s.m_bAskBeforeConnect = false;
    s.m_bFTPLog = s.m_bUploadTimeRange = s.m_bDisableUpload = s.m_bFTPUpload = true;
    s.m_bNoTempFile = s.m_bPassiveMode = s.m_bUseFireWall = s.m_bUseLAN = true;
    s.m_nUploadInterval = s.m_nUploadIntervalMeasure = s.m_nUploadTimeRangeStartHour = 77;
    s.m_nUploadTimeRangeStartMinute = s.m_nUploadTimeRangeEndHour = 77;
    s.m_nUploadTimeRangeEndMinute = s.m_nArchiveInterval = s.m_nNumberOfArchives = 77;
    s.m_nArchiveOrder = s.m_nCurrentUpload = s.m_nFTPPort = s.m_nFTPTimeOut = 77;
    s.m_nFireWallType = s.m_nFireWallPort = s.m_nFTPSecurity = 77;
    s.m_bFTPVerifyCertificate = false;
    s.m_strFTPCertificateFingerprint = "junk";
    s.m_bEnableMessage = s.m_bShadowText = s.m_bStamp = s.m_bTimeShadowText = false;
    s.m_nFontHeight = s.m_nFontWidth = s.m_nFontWeight = s.m_nAlignment = 77;
    s.m_bFontItalic = s.m_bTimeFontItalic = s.m_bEnableOverlay = true;
    s.m_bOverlayTransparency = s.m_bProgressiveJPG = s.m_bDisablePreview = true;
    s.m_crFontColor = s.m_crTimeFontColor = 77;
    s.m_nDateTimeFormat = s.m_nTimeFontHeight = s.m_nTimeFontWidth = s.m_nTimeFontWeight = 77;
    s.m_nTimeAlignment = s.m_nOverlayAlignment = s.m_nQuality = 77;
    s.m_nCaptureDevice = s.m_nPreviewLeadTime = s.m_nPreviewRate = 77;
    return s;
}

} // namespace

TEST_F(LiveSettingsLoad, MissingFileGivesEveryDefault)
{
    LiveSettings s = scrambled();
    AutoResetEvent idle(true);
    EXPECT_TRUE(s.LoadAll(idle));
    // Without Install/Directory this settings file's working files get a folder of their own.
    EXPECT_EQ(s.m_strWorkingFolder, WorkingFolder(""));
    EXPECT_TRUE(s.m_strWorkingFolder.ends_with("/vistrel/" + StateFolderName(path()) + "/"));
    s.m_strWorkingFolder.clear();
    EXPECT_EQ(s, LiveSettings{});
    EXPECT_FALSE(idle.Wait(0)); // the load consumed the idle token
    // Spot checks that the defaults are the ones the file's users rely on.
    EXPECT_TRUE(s.m_bSuppressErrors);
    EXPECT_TRUE(s.m_bSaveAsFile);
    EXPECT_EQ(s.m_nFTPTimeOut, 45);
    EXPECT_EQ(s.m_nTimeAlignment, 4);
    EXPECT_EQ(s.m_nFontHeight, -13);
    EXPECT_EQ(s.m_strInstallDirectory, "");
}

TEST_F(LiveSettingsLoad, EveryKeyLandsInItsMember)
{
    setContent("[Options]\nRunMinimized=1\nUploadOnStart=1\nHideWhenMinimized=1\n"
               "ViewDisplaysLastUploadImage=0\nUseSound=1\nSoundFile=/snd/click.wav\n"
               "DeleteBeforeMove=1\nSaveAutoCaptureStatus=1\nErrorLog=1\n"
               "[UploadOptions]\nUploadInterval=5\nUploadIntervalMeasure=2\nUploadTimeRange=1\n"
               "UploadTimeRangeStartHour=6\nUploadTimeRangeStartMinute=30\n"
               "UploadTimeRangeEndHour=22\nUploadTimeRangeEndMinute=15\nDisableUpload=1\n"
               "ArchiveInterval=3\nNumberOfArchives=9\nArchiveOrder=1\nCurrentUpload=2\n"
               "FTPUpload=1\nOnlyWhileOnline=0\nFTPServer=ftp.example.org\nFTPPort=2121\n"
               "FTPUsername=cam\nFTPPassword=" +
               ScramblePassword("ftp secret") +
               "\nFTPDirectory=/pub/cam\nFTPFilename=cam.jpg\nNoTempFile=1\nPassiveMode=1\n"
               "FTPTimeOut=30\nUseFireWall=1\nFireWallType=2\nFireWallServer=proxy\n"
               "FireWallPort=2100\nFireWallUsername=puser\nFireWallPassword=" +
               ScramblePassword("proxy pw") +
               "\nSaveAsFile=0\nSaveAsFilename=/srv/www/cam.jpg\nSuppressErrors=0\nFTPLog=1\n"
               "FTPSecurity=1\nFTPVerifyCertificate=0\nFTPCertificateFingerprint=AB:CD\n"
               "UploadTarget=sftp\nSFTPHostKey=SHA256:abc\nSFTPKnownHosts=/k/hosts\n"
               "SFTPKeyFile=/k/id\nSFTPKeyPassphrase=" +
               ScramblePassword("key pw") +
               "\nWebDAVURL=https://dav/cam\nS3Endpoint=https://s3\nS3Region=eu\nS3Bucket=b\n"
               "S3AccessKey=AK\nS3Secret=" +
               ScramblePassword("s3 secret") +
               "\nS3CacheControl=no-cache\nS3StorageClass=STANDARD\n"
               "AfterPublish=notify \"$x\"\nAfterPublishTimeout=7\n"
               "[ConnectOptions]\nUseLAN=1\nAskBeforeConnect=0\nDUN=My ISP\nUserName=dial\n"
               "Password=" +
               ScramblePassword("dial pw") +
               "\nPhoneNumber=555 1234\n"
               "[ImageOptions]\nEnableMessage=0\nMessage=Hello\nFont=DejaVu Sans\n"
               "FontHeight=-20\nFontWidth=8\nFontWeight=400\nFontItalic=1\nFontColor=255\n"
               "Alignment=5\nShadowText=0\nStamp=0\nDateTimeFormat=3\nTimeFont=DejaVu Serif\n"
               "TimeFontHeight=-11\nTimeFontWidth=6\nTimeFontWeight=400\nTimeFontItalic=1\n"
               "TimeFontColor=16777215\nTimeAlignment=0\nTimeShadowText=0\nEnableOverlay=1\n"
               "OverlayFilename=/img/logo.png\nOverlayAlignment=8\nOverlayTransparency=1\n"
               "Quality=90\nProgressiveJPG=1\n"
               "[ImageFormat]\nCaptureDevice=-1\n"
               "[DeviceOptions]\nDisablePreview=1\nPreviewLeadTime=3\nPreviewRate=15\n"
               "[Install]\nDirectory=/opt/vistrel\n");
    LiveSettings e; // expected
    e.m_bRunMinimized = e.m_bUploadOnStart = e.m_bHideWhenMinimized = true;
    e.m_nViewDisplaysLastUploadImage = 0;
    e.m_bUseSound = e.m_bDeleteBeforeMove = e.m_bSaveAutoCaptureStatus = e.m_bErrorLog = true;
    e.m_strSoundFile = "/snd/click.wav";
    e.m_nUploadInterval = 5;
    e.m_nUploadIntervalMeasure = 2;
    e.m_bUploadTimeRange = true;
    e.m_nUploadTimeRangeStartHour = 6;
    e.m_nUploadTimeRangeStartMinute = 30;
    e.m_nUploadTimeRangeEndHour = 22;
    e.m_nUploadTimeRangeEndMinute = 15;
    e.m_bDisableUpload = true;
    e.m_nArchiveInterval = 3;
    e.m_nNumberOfArchives = 9;
    e.m_nArchiveOrder = 1;
    e.m_nCurrentUpload = 2;
    e.m_bFTPUpload = true;
    e.m_bOnlyWhileOnline = false;
    e.m_strFTPServer = "ftp.example.org";
    e.m_nFTPPort = 2121;
    e.m_strFTPUsername = "cam";
    e.m_strFTPPassword = "ftp secret";
    e.m_strFTPDirectory = "/pub/cam";
    e.m_strFTPFilename = "cam.jpg";
    e.m_bNoTempFile = e.m_bPassiveMode = e.m_bUseFireWall = true;
    e.m_nFTPTimeOut = 30;
    e.m_nFireWallType = 2;
    e.m_strFireWallServer = "proxy";
    e.m_nFireWallPort = 2100;
    e.m_strFireWallUsername = "puser";
    e.m_strFireWallPassword = "proxy pw";
    e.m_bSaveAsFile = false;
    e.m_strSaveAsFilename = "/srv/www/cam.jpg";
    e.m_bSuppressErrors = false;
    e.m_bFTPLog = true;
    e.m_nFTPSecurity = 1;
    e.m_bFTPVerifyCertificate = false;
    e.m_strFTPCertificateFingerprint = "AB:CD";
    e.m_bFTPPortSet = true;
    e.m_strUploadTarget = "sftp";
    e.m_strSFTPHostKey = "SHA256:abc";
    e.m_strSFTPKnownHosts = "/k/hosts";
    e.m_strSFTPKeyFile = "/k/id";
    e.m_strSFTPKeyPassphrase = "key pw";
    e.m_strWebDAVURL = "https://dav/cam";
    e.m_strS3Endpoint = "https://s3";
    e.m_strS3Region = "eu";
    e.m_strS3Bucket = "b";
    e.m_strS3AccessKey = "AK";
    e.m_strS3Secret = "s3 secret";
    e.m_strS3CacheControl = "no-cache";
    e.m_strS3StorageClass = "STANDARD";
    e.m_strAfterPublish = "notify \"$x\"";
    e.m_nAfterPublishTimeout = 7;
    e.m_bUseLAN = true;
    e.m_bAskBeforeConnect = false;
    e.m_strDUN = "My ISP";
    e.m_strUserName = "dial";
    e.m_strPassword = "dial pw";
    e.m_strPhoneNumber = "555 1234";
    e.m_bEnableMessage = false;
    e.m_strMessage = "Hello";
    e.m_strFont = "DejaVu Sans";
    e.m_nFontHeight = -20;
    e.m_nFontWidth = 8;
    e.m_nFontWeight = 400;
    e.m_bFontItalic = true;
    e.m_crFontColor = 255;
    e.m_nAlignment = 5;
    e.m_bShadowText = e.m_bStamp = false;
    e.m_nDateTimeFormat = 3;
    e.m_strTimeFont = "DejaVu Serif";
    e.m_nTimeFontHeight = -11;
    e.m_nTimeFontWidth = 6;
    e.m_nTimeFontWeight = 400;
    e.m_bTimeFontItalic = true;
    e.m_crTimeFontColor = 16777215;
    e.m_nTimeAlignment = 0;
    e.m_bTimeShadowText = false;
    e.m_bEnableOverlay = true;
    e.m_strOverlayFilename = "/img/logo.png";
    e.m_nOverlayAlignment = 8;
    e.m_bOverlayTransparency = true;
    e.m_nQuality = 90;
    e.m_bProgressiveJPG = true;
    e.m_nCaptureDevice = -1;
    e.m_bDisablePreview = true;
    e.m_nPreviewLeadTime = 3;
    e.m_nPreviewRate = 15;
    e.m_strInstallDirectory = e.m_strWorkingFolder = "/opt/vistrel/";

    LiveSettings s = scrambled();
    AutoResetEvent idle(true);
    s.LoadAll(idle);
    EXPECT_EQ(s, e);
}

TEST_F(LiveSettingsLoad, FontsKeepHeightAndItalicAndCutLongFaceNames)
{
    IniWriteInt("ImageOptions", "FontHeight", -20);
    IniWriteInt("ImageOptions", "FontItalic", 1);
    IniWriteInt("ImageOptions", "TimeFontItalic", 0);
    IniWriteString("ImageOptions", "Font", std::string(40, 'F'));
    // 15 two-byte characters and one more: the cut at 31 bytes keeps whole characters only.
    std::string umlauts;
    for (int i = 0; i < 16; ++i)
        umlauts += "\xC3\x84";
    IniWriteString("ImageOptions", "TimeFont", umlauts);
    IniWriteString("ImageOptions", "Message", std::string(1100, 'm'));
    LiveSettings s;
    s.m_bTimeFontItalic = true;
    s.LoadImageOptions();
    EXPECT_EQ(s.m_nFontHeight, -20);
    EXPECT_TRUE(s.m_bFontItalic);
    EXPECT_FALSE(s.m_bTimeFontItalic);
    EXPECT_EQ(s.m_strFont, std::string(31, 'F'));
    EXPECT_EQ(s.m_strTimeFont, umlauts.substr(0, 30));
    EXPECT_EQ(s.m_strMessage.size(), 1023u);
    EXPECT_NE(content().find("FontItalic=1\n"), std::string::npos);
    EXPECT_NE(content().find("TimeFontItalic=0\n"), std::string::npos);
}

TEST_F(LiveSettingsLoad, ScheduleReReadKeepsTheArchiveCounterButNotTheAutoCaptureFlag)
{
    setContent("[UploadOptions]\nCurrentUpload=2\nDisableUpload=0\nArchiveInterval=5\n");
    LiveSettings s;
    s.LoadSchedule(true);
    EXPECT_EQ(s.m_nCurrentUpload, 2);
    s.m_nCurrentUpload = 4;    // the running counter, saved only at exit
    s.m_bDisableUpload = true; // switched off from the menu, not saved
    IniWriteInt("UploadOptions", "ArchiveInterval", 6);
    s.LoadSchedule();
    EXPECT_EQ(s.m_nArchiveInterval, 6);
    EXPECT_EQ(s.m_nCurrentUpload, 4);
    EXPECT_FALSE(s.m_bDisableUpload);
}

TEST_F(LiveSettingsLoad, FullLoadWaitsForTheIdleToken)
{
    IniWriteString("Install", "Directory", "/opt/vistrel/");
    AutoResetEvent idle;
    std::thread worker([&idle] {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        idle.Set();
    });
    LiveSettings s;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(s.LoadAll(idle));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(150));
    worker.join();
    EXPECT_EQ(s.m_strInstallDirectory, "/opt/vistrel/"); // no second separator
    EXPECT_EQ(s.m_strWorkingFolder, "/opt/vistrel/");
}
