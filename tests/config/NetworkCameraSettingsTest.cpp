#include "config/NetworkCameraSettings.h"

#include "ConfigTestSupport.h"

using namespace vistrel;
using namespace vistrel::test;

namespace {
using NetworkCameraSettingsFile = SettingsFileTest;
}

TEST_F(NetworkCameraSettingsFile, AFileWithoutTheSectionHasNoCameras)
{
    setContent("[ImageFormat]\nCaptureDevice=0\n");
    EXPECT_TRUE(ReadNetworkCameras().empty());
    EXPECT_EQ(FreeNetworkCameraSlot(), 1);
    EXPECT_EQ(content(), "[ImageFormat]\nCaptureDevice=0\n"); // reading wrote nothing
}

TEST_F(NetworkCameraSettingsFile, CamerasRoundTripWithTheirPasswordScrambled)
{
    const NetworkCameraKeys garden{3, "Garden", "rtsp://10.0.0.6/live", "viewer", "pa ss~w@rd"};
    const NetworkCameraKeys door{1, "Door", "http://10.0.0.5/snap.jpg", "", ""};
    ASSERT_TRUE(WriteNetworkCamera(garden));
    ASSERT_TRUE(WriteNetworkCamera(door));
    EXPECT_EQ(content().find("pa ss"), std::string::npos);
    EXPECT_EQ(ReadNetworkCameras(), (std::vector<NetworkCameraKeys>{door, garden}));
    EXPECT_EQ(FreeNetworkCameraSlot(), 2);

    // A slot with a URL and no name is still a camera, named after its slot.
    setContent(content() + "Camera4URL=http://x/y.jpg\n");
    ASSERT_EQ(ReadNetworkCameras().size(), 3u);
    EXPECT_EQ(ReadNetworkCameras().back().name, "Network camera 4");

    ASSERT_TRUE(RemoveNetworkCamera(3));
    const auto left = ReadNetworkCameras();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0], door);
    EXPECT_EQ(left[1].slot, 4);
    EXPECT_EQ(FreeNetworkCameraSlot(), 2);
}

TEST_F(NetworkCameraSettingsFile, RefusesWhatCouldNotBeReadBack)
{
    std::string error;
    EXPECT_FALSE(WriteNetworkCamera({5, "Five", "http://h/x.jpg", "", ""}, &error));
    EXPECT_EQ(error, "There is no such network camera slot");
    EXPECT_FALSE(WriteNetworkCamera({1, "No URL", "", "", ""}, &error));
    EXPECT_EQ(error, "A network camera needs a URL");
    EXPECT_FALSE(
        WriteNetworkCamera({1, "Long", "http://h/x.jpg", "u", std::string(600, ' ')}, &error));
    EXPECT_EQ(error, "The password is too long to be stored");
    EXPECT_FALSE(WriteNetworkCamera({1, "Two\nlines", "http://h/x.jpg", "", ""}, &error));
    EXPECT_TRUE(ReadNetworkCameras().empty());
    EXPECT_FALSE(RemoveNetworkCamera(0, &error));
}

// The keys set in the file only: read with their defaults, the time limit kept to 1 … 60
// seconds; the dialog's write leaves them, removing the camera empties them.
TEST_F(NetworkCameraSettingsFile, CertificateAndTimeLimitKeysAreReadKeptAndRemoved)
{
    setContent("[NetworkCameras]\nCamera1URL=https://cam/snap.jpg\nCamera1VerifyCertificate=0\n"
               "Camera1CertificateFingerprint=AB:CD\nCamera1TimeOut=600\n"
               "Camera2URL=https://cam2/snap.jpg\nCamera2TimeOut=0\nCamera3URL=http://c3/\n");
    auto cameras = ReadNetworkCameras();
    ASSERT_EQ(cameras.size(), 3u);
    EXPECT_FALSE(cameras[0].verifyCertificate);
    EXPECT_EQ(cameras[0].certificateFingerprint, "AB:CD");
    EXPECT_EQ(cameras[0].timeOutSeconds, 60);
    EXPECT_TRUE(cameras[1].verifyCertificate);
    EXPECT_EQ(cameras[1].timeOutSeconds, 1);
    EXPECT_EQ(cameras[2].timeOutSeconds, kDefaultNetworkCameraTimeOut);

    NetworkCameraKeys edited = cameras[0];
    edited.name = "Renamed";
    edited.verifyCertificate = true; // what a dialog without these fields hands over
    edited.certificateFingerprint.clear();
    ASSERT_TRUE(WriteNetworkCamera(edited));
    cameras = ReadNetworkCameras();
    EXPECT_EQ(cameras[0].name, "Renamed");
    EXPECT_FALSE(cameras[0].verifyCertificate);
    EXPECT_EQ(cameras[0].certificateFingerprint, "AB:CD");

    ASSERT_TRUE(RemoveNetworkCamera(1));
    ASSERT_TRUE(WriteNetworkCamera({1, "New", "https://new/snap.jpg", "", ""}));
    cameras = ReadNetworkCameras();
    EXPECT_TRUE(cameras[0].verifyCertificate);
    EXPECT_EQ(cameras[0].certificateFingerprint, "");
    EXPECT_EQ(cameras[0].timeOutSeconds, kDefaultNetworkCameraTimeOut);
}
