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
