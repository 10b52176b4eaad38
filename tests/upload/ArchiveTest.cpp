#include "upload/Archive.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

using namespace vistrel;

TEST(ArchiveNames, SlotsAndTemporaryName)
{
    EXPECT_EQ(LocalSlotName("/web/cam.jpg", 3), "/web/cam03.jpg");
    EXPECT_EQ(LocalSlotName("/web/cam", 1), "/web/cam01");
    EXPECT_EQ(LocalSlotName("vistrel.jpg", 100), "vistrel100.jpg");
    EXPECT_EQ(LocalSlotName("/web.d/cam", 2), "/web.d/cam02"); // a dot in a folder is no extension
    EXPECT_EQ(RemoteSlotName("vistrel.jpg", 1), "vistrel01.jpg");
    EXPECT_EQ(RemoteSlotName("cams/live.jpg", 1), "live01.jpg");
    EXPECT_EQ(RemoteSlotName("cams\\live.jpg", 2), "live02.jpg");
    EXPECT_EQ(RemoteTempName("cams/live.jpg"), "live.tmp");
    EXPECT_EQ(RemoteTempName("vistrel.jpg"), "vistrel.tmp");
    EXPECT_EQ(RemoteTempName("noext"), "noext.tmp");
    // A picture named *.tmp gets a temporary name of its own (letter case aside: some servers
    // ignore it), or deleting the target before the rename would delete the upload.
    EXPECT_EQ(RemoteTempName("live.tmp"), "live.tmp.tmp");
    EXPECT_EQ(RemoteTempName("cams/LIVE.TMP"), "LIVE.TMP.tmp");
    EXPECT_EQ(RemoteTempName("live.tmp.jpg"), "live.tmp.tmp");
}

TEST(ArchiveNames, DueOnlyWhenBothSettingsAreOnAndTheCounterReachedTheInterval)
{
    EXPECT_FALSE(ArchiveDue({0, 3}, 10));
    EXPECT_FALSE(ArchiveDue({2, 0}, 10));
    EXPECT_FALSE(ArchiveDue({2, 3}, 1));
    EXPECT_TRUE(ArchiveDue({2, 3}, 2));
    EXPECT_TRUE(ArchiveDue({2, 3}, 7));
    EXPECT_FALSE(ArchiveDue({2, 3}, -5));
}

namespace {

// A server directory in memory that records the conversation and can refuse renames onto an
// existing name, as some servers do.
struct FakeSession {
    std::map<std::string, std::string> files;
    std::vector<std::string> calls;
    bool refuseOverwrite = false;
    std::string failOn; // a call that fails

    bool DeleteFile(const std::string& name)
    {
        calls.push_back("DELE " + name);
        if (failOn == calls.back())
            return false;
        files.erase(name);
        return true;
    }
    bool RenameTolerant(const std::string& from, const std::string& to)
    {
        calls.push_back("RN " + from + " " + to);
        if (failOn == calls.back())
            return false;
        auto it = files.find(from);
        if (it == files.end())
            return true;
        if (refuseOverwrite && files.count(to))
            return false;
        files[to] = it->second;
        files.erase(it);
        return true;
    }
};

} // namespace

TEST(RemoteArchive, MostRecentFirstShiftsUpAndEmptySlotsFillWithoutErrors)
{
    FakeSession s;
    const ArchiveSettings a{1, 3, 0, false};
    for (const char* picture : {"p1", "p2", "p3", "p4", "p5"}) {
        ASSERT_TRUE(RotateRemoteArchive(a, "vistrel.jpg", s));
        s.files["vistrel.jpg"] = picture; // the upload of this cycle
    }
    EXPECT_EQ(s.files["vistrel.jpg"], "p5");
    EXPECT_EQ(s.files["vistrel01.jpg"], "p4");
    EXPECT_EQ(s.files["vistrel02.jpg"], "p3");
    EXPECT_EQ(s.files["vistrel03.jpg"], "p2");
    EXPECT_EQ(s.files.size(), 4u);
    const std::vector<std::string> lastTurn(s.calls.end() - 3, s.calls.end());
    EXPECT_EQ(lastTurn, (std::vector<std::string>{"RN vistrel02.jpg vistrel03.jpg",
                                                  "RN vistrel01.jpg vistrel02.jpg",
                                                  "RN vistrel.jpg vistrel01.jpg"}));
}

TEST(RemoteArchive, MostRecentLastShiftsDown)
{
    FakeSession s;
    const ArchiveSettings a{1, 3, 1, false};
    for (const char* picture : {"p1", "p2", "p3", "p4", "p5"}) {
        ASSERT_TRUE(RotateRemoteArchive(a, "vistrel.jpg", s));
        s.files["vistrel.jpg"] = picture;
    }
    EXPECT_EQ(s.files["vistrel03.jpg"], "p4");
    EXPECT_EQ(s.files["vistrel02.jpg"], "p3");
    EXPECT_EQ(s.files["vistrel01.jpg"], "p2");
    const std::vector<std::string> lastTurn(s.calls.end() - 3, s.calls.end());
    EXPECT_EQ(lastTurn, (std::vector<std::string>{"RN vistrel02.jpg vistrel01.jpg",
                                                  "RN vistrel03.jpg vistrel02.jpg",
                                                  "RN vistrel.jpg vistrel03.jpg"}));
}

TEST(RemoteArchive, RefusedOverwriteFailsUnlessTargetsAreDeletedFirst)
{
    FakeSession s;
    s.refuseOverwrite = true;
    s.files = {{"cam.jpg", "new"}, {"cam01.jpg", "old"}};
    EXPECT_FALSE(RotateRemoteArchive(ArchiveSettings{1, 1, 0, false}, "cam.jpg", s));

    s.calls.clear();
    EXPECT_TRUE(RotateRemoteArchive(ArchiveSettings{1, 1, 0, true}, "cam.jpg", s));
    EXPECT_EQ(s.calls, (std::vector<std::string>{"DELE cam01.jpg", "RN cam.jpg cam01.jpg"}));
    EXPECT_EQ(s.files["cam01.jpg"], "new");

    // The first failing step ends the rotation.
    s.calls.clear();
    s.failOn = "DELE cam03.jpg";
    EXPECT_FALSE(RotateRemoteArchive(ArchiveSettings{1, 3, 0, true}, "cam.jpg", s));
    EXPECT_EQ(s.calls, (std::vector<std::string>{"DELE cam03.jpg"}));
}

TEST(RemoteArchive, DirectoryPartMovesTheCurrentFileIntoTheCurrentDirectory)
{
    FakeSession s;
    s.files["cams/live.jpg"] = "x";
    ASSERT_TRUE(RotateRemoteArchive(ArchiveSettings{1, 2, 0, false}, "cams/live.jpg", s));
    EXPECT_EQ(s.calls.back(), "RN cams/live.jpg live01.jpg");
    EXPECT_EQ(s.files["live01.jpg"], "x");
}

TEST(LocalArchive, BothOrdersKeepTheRightPictureInEachSlot)
{
    test::TempDir dir;
    const std::string cam = dir.file("cam.jpg");
    for (int order : {0, 1}) {
        for (int k = 1; k <= 3; ++k)
            std::remove(LocalSlotName(cam, k).c_str());
        for (const char* picture : {"p1", "p2", "p3", "p4", "p5"}) {
            RotateLocalArchive(ArchiveSettings{1, 3, order, false}, cam); // first turn: no file yet
            test::writeFile(cam, picture);
        }
        EXPECT_EQ(test::readFile(cam), "p5");
        EXPECT_EQ(test::readFile(LocalSlotName(cam, 1)), order == 0 ? "p4" : "p2");
        EXPECT_EQ(test::readFile(LocalSlotName(cam, 2)), "p3");
        EXPECT_EQ(test::readFile(LocalSlotName(cam, 3)), order == 0 ? "p2" : "p4");
    }
}

TEST(LocalArchive, AFullDiskStopsTheTurnAndLosesNoSlot)
{
    test::TempDir dir;
    const std::string cam = dir.file("cam.jpg"), picture = dir.file("~vistrel.jpg");
    // Slot 02 is small enough to be copied before the disk is full, the others are not.
    const std::map<std::string, std::string> before = {
        {cam, std::string(50000, 'c')},
        {LocalSlotName(cam, 1), std::string(50000, '1')},
        {LocalSlotName(cam, 2), std::string(10000, '2')},
        {LocalSlotName(cam, 3), std::string(50000, '3')},
        {picture, std::string(50000, 'n')},
    };
    for (const auto& [path, bytes] : before)
        test::writeFile(path, bytes);

    std::string error;
    bool saved = true;
    {
        test::FileSizeLimit full(20000);
        saved = SaveLocalCopy(picture, cam, ArchiveSettings{1, 3, 0, false}, true, &error);
    }
    EXPECT_FALSE(saved);
    // 02 → 03 went through, 01 → 02 did not: the turn stopped there, and the local file, whose
    // picture was to go into 01, was not replaced either.
    EXPECT_EQ(error, "Cannot write " + LocalSlotName(cam, 2) + ": File too large");
    EXPECT_EQ(test::readFile(LocalSlotName(cam, 3)), before.at(LocalSlotName(cam, 2)));
    for (const char* unchanged : {"cam.jpg", "cam01.jpg", "cam02.jpg", "~vistrel.jpg"})
        EXPECT_EQ(test::readFile(dir.file(unchanged)), before.at(dir.file(unchanged))) << unchanged;
    int files = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir.path()))
        files += e.is_regular_file();
    EXPECT_EQ(files, 5); // no temporary file left, none missing

    // With room again the next turn goes through whole.
    ASSERT_TRUE(SaveLocalCopy(picture, cam, ArchiveSettings{1, 3, 0, false}, true, &error));
    EXPECT_EQ(test::readFile(cam), before.at(picture));
    EXPECT_EQ(test::readFile(LocalSlotName(cam, 1)), before.at(cam));
}
