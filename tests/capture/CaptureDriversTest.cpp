#include "capture/CaptureDrivers.h"

#include "FakeV4l2.h"
#include "TestSupport.h"

#include <filesystem>
#include <gtest/gtest.h>

using namespace vistrel;
using vistrel::test::FakeV4l2;

TEST(CaptureDriverList, CamerasInDeviceNumberOrderThenTestPatternWithoutMetadataNodes)
{
    auto fake = std::make_shared<FakeV4l2>();
    fake->addCamera("/dev/video10", "Camera Ten");
    fake->addCamera("/dev/video2", "Camera Two");
    fake->addMetadataNode("/dev/video3", "Camera Two");
    fake->addCamera("/dev/video0", "Camera Zero");
    fake->addMetadataNode("/dev/video1", "Camera Zero");
    CaptureDriverList drivers(fake);

    EXPECT_EQ(drivers.descriptions(), (std::vector<std::string>{"Camera Zero", "Camera Two",
                                                                "Camera Ten", "Test Pattern"}));
    // Enumeration leaves nothing open.
    EXPECT_EQ(fake->openDescriptors(), 0);

    auto device = drivers.createDevice(2);
    ASSERT_TRUE(device);
    EXPECT_EQ(device->name(), "Camera Ten");
    EXPECT_EQ(drivers.createDevice(3)->name(), "Test Pattern");
    EXPECT_EQ(drivers.createDevice(4), nullptr);
    EXPECT_EQ(drivers.createDevice(-1), nullptr);
}

TEST(CaptureDriverList, WithoutCameraTheTestPatternIsDriverZero)
{
    CaptureDriverList drivers(std::make_shared<FakeV4l2>());
    EXPECT_EQ(drivers.descriptions(), std::vector<std::string>{"Test Pattern"});
    auto device = drivers.createDevice(0);
    ASSERT_TRUE(device);
    EXPECT_TRUE(device->connect());
}

TEST(CaptureDriverList, HoldsAtMostTenDrivers)
{
    auto fake = std::make_shared<FakeV4l2>();
    for (int i = 0; i < 9; ++i)
        fake->addCamera("/dev/video" + std::to_string(i), "Cam " + std::to_string(i));
    CaptureDriverList drivers(fake);
    auto names = drivers.descriptions();
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names[8], "Cam 8");
    EXPECT_EQ(names[9], "Test Pattern");

    // Eleven and more drivers: only the first ten are listed, and only they can be created.
    fake->addCamera("/dev/video9", "Cam 9");
    fake->addCamera("/dev/video11", "Cam 11");
    names = drivers.descriptions();
    ASSERT_EQ(names.size(), 10u);
    EXPECT_EQ(names.front(), "Cam 0");
    EXPECT_EQ(names.back(), "Cam 9");
    EXPECT_EQ(drivers.createDevice(10), nullptr);
}

TEST(CaptureDriverList, CamerasOfTheSameNameAreToldApartByTheirNode)
{
    auto fake = std::make_shared<FakeV4l2>();
    fake->addCamera("/dev/video0", "USB Camera");
    fake->addCamera("/dev/video2", "USB Camera");
    fake->addCamera("/dev/video4", "Other");
    CaptureDriverList drivers(fake);
    EXPECT_EQ(drivers.descriptions(),
              (std::vector<std::string>{"USB Camera (/dev/video0)", "USB Camera (/dev/video2)",
                                        "Other", "Test Pattern"}));
}

TEST(CaptureDriverList, DeviceNodesSortByNumberNotByName)
{
    std::vector<std::string> nodes{"/dev/video10", "/dev/video2", "/dev/video0", "/dev/video1"};
    SortByDeviceNumber(nodes);
    EXPECT_EQ(nodes, (std::vector<std::string>{"/dev/video0", "/dev/video1", "/dev/video2",
                                               "/dev/video10"}));
}

TEST(CaptureDriverList, TheSystemListEndsWithTheTestPattern)
{
    // Whatever cameras this machine has, the list is well-formed and the test pattern is last
    // unless ten cameras crowd it out.
    CaptureDriverList drivers;
    const auto names = drivers.descriptions();
    ASSERT_FALSE(names.empty());
    ASSERT_LE(names.size(), 10u);
    if (names.size() < 10) {
        EXPECT_EQ(names.back(), "Test Pattern");
    }
}

TEST(CaptureDriverList, FindsADriverByNodeLinkOrName)
{
    vistrel::test::TempDir dir;
    using vistrel::test::writeFile;
    const std::string node = dir.file("video2");
    writeFile(node, "");
    std::filesystem::create_directories(dir.file("by-id"));
    std::filesystem::create_symlink("../video2", dir.file("by-id/usb-Cam-video-index0"));

    auto fake = std::make_shared<FakeV4l2>();
    fake->addCamera("/dev/video0", "Camera Zero");
    fake->addCamera(node, "Camera Two");
    CaptureDriverList drivers(fake);
    drivers.setNetworkCameraSource([] {
        return std::vector<NetworkCameraSlot>{{1, {"Porch", "http://127.0.0.1:9/", "", ""}}};
    });

    const std::pair<std::string, int> cases[] = {
        {"/dev/video0", 0},
        {node, 1},
        {dir.file("by-id/usb-Cam-video-index0"), 1}, // the stable name leads to the node
        {"Porch", 2},
        {"Test Pattern", 3},
        {"Camera Zero", -1}, // a camera is chosen by its node, not its card name
        {"/dev/video7", -1},
        {dir.file("by-id/usb-Gone-video-index0"), -1},
        {"", -1},
    };
    for (const auto& [name, index] : cases)
        EXPECT_EQ(drivers.find(name), index) << name;
}

TEST(FollowDriver, TheChoiceFollowsItsDriverWhenTheListChanges)
{
    using K = CaptureDriverKind;
    const CaptureDriverEntry cam{K::V4l2, "Cam", "/dev/video0", "/dev/video0", 0};
    const CaptureDriverEntry yard{K::Network, "Yard", "http://yard/", "", 1};
    const CaptureDriverEntry porch{K::Network, "Porch", "http://porch/", "", 2};
    const CaptureDriverEntry porchMoved{K::Network, "Porch", "http://porch2/", "", 2};
    const CaptureDriverEntry yardAsSlot2{K::Network, "Yard", "http://yard/", "", 2};
    const CaptureDriverEntry pattern{K::TestPattern, "Test Pattern", "built in", "", 0};
    using List = std::vector<CaptureDriverEntry>;
    const struct {
        const char* what;
        List before, after;
        int index, select, expected;
    } cases[] = {
        {"a camera added before it shifts the choice",
         {cam, porch, pattern},
         {cam, yard, porch, pattern},
         1,
         0,
         2},
        {"an added camera to select wins", {cam, pattern}, {cam, yard, pattern}, 0, 1, 1},
        {"an edited camera keeps its slot, whatever its address",
         {cam, porch, pattern},
         {cam, porchMoved, pattern},
         1,
         0,
         1},
        {"the same name in another slot is another driver",
         {cam, yard, pattern},
         {cam, yardAsSlot2, pattern},
         1,
         0,
         2},
        {"a removed choice gives way to the test pattern",
         {cam, yard, pattern},
         {cam, pattern},
         1,
         0,
         1},
        {"nothing chosen before: the test pattern", {cam, pattern}, {cam, yard, pattern}, -1, 0, 2},
        {"an index past the list counts as nothing chosen", {cam}, {cam, pattern}, 5, 0, 1},
        {"gone, and no test pattern to fall back on", {cam, yard}, {cam, porch}, 1, 0, -1},
        {"a slot to select that is not listed is ignored", {cam, pattern}, {cam, pattern}, 0, 3, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FollowDriver(c.before, c.after, c.index, c.select), c.expected) << c.what;
}
