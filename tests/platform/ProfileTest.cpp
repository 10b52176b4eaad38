#include "platform/Profile.h"

#include "ChildProcess.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <grp.h>
#include <pwd.h>
#include <random>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace vistrel;

namespace {

std::string readStr(const std::string& file, const char* section, const char* key,
                    const char* def = "<default>")
{
    return GetPrivateProfileString(section, key, def, file);
}

int countTempFiles(const std::string& dir)
{
    int n = 0;
    for (const auto& e : std::filesystem::directory_iterator(dir)) {
        if (e.path().filename().string().starts_with(".settings.ini."))
            ++n;
    }
    return n;
}

} // namespace

TEST(Profile, NamesAreCaseInsensitiveAndFirstMatchWins)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    test::writeFile(f, "; comment=ignored\n"
                       "[Options]\n"
                       "  SoundFile = first.wav  \n"
                       "soundfile=second.wav\n"
                       "[OPTIONS]\n"
                       "Other=from second section\n"
                       "[ Spaced ]\n"
                       "Key=spaced\n");
    EXPECT_EQ(readStr(f, "options", "SOUNDFILE"), "first.wav");
    EXPECT_EQ(readStr(f, "Options", "Other"), "<default>"); // only the first section counts
    EXPECT_EQ(readStr(f, "Spaced", "key"), "spaced");
    EXPECT_EQ(readStr(f, "Missing", "Key"), "<default>");
    EXPECT_EQ(readStr(f, "Options", "Missing"), "<default>");
    EXPECT_EQ(readStr(dir.file("absent.ini"), "Options", "SoundFile"), "<default>");
    EXPECT_EQ(GetPrivateProfileInt("Options", "Missing", -7, dir.file("absent.ini")), -7);
    EXPECT_EQ(readStr(f, "Options", "; comment"), "<default>");
}

TEST(Profile, IntegerReadTakesSignAndLeadingDigits)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    test::writeFile(f, "[S]\n"
                       "a=42\nb=  -20\nc=+7\nd=12abc\ne=abc\nf=\ng=-\nh=\"15\"\ni=4294967295\n"
                       "j=-2147483648\nk=0x10\n");
    EXPECT_EQ(GetPrivateProfileInt("S", "a", 99, f), 42);
    EXPECT_EQ(GetPrivateProfileInt("S", "b", 99, f), -20);
    EXPECT_EQ(GetPrivateProfileInt("S", "c", 99, f), 7);
    EXPECT_EQ(GetPrivateProfileInt("S", "d", 99, f), 12);
    EXPECT_EQ(GetPrivateProfileInt("S", "e", 99, f), 99);
    EXPECT_EQ(GetPrivateProfileInt("S", "f", 99, f), 99);
    EXPECT_EQ(GetPrivateProfileInt("S", "g", 99, f), 99);
    EXPECT_EQ(GetPrivateProfileInt("S", "h", 99, f), 15);
    EXPECT_EQ(GetPrivateProfileInt("S", "i", 99, f), -1);
    EXPECT_EQ(GetPrivateProfileInt("S", "j", 99, f), -2147483647 - 1);
    EXPECT_EQ(GetPrivateProfileInt("S", "k", 99, f), 0);
}

TEST(Profile, StringReadStripsBlanksAndOnePairOfQuotesAndCutsAt1023)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    const std::string longValue(1500, 'x');
    test::writeFile(f, "[S]\r\n"
                       "a= \t padded \t \r\n"
                       "b=\"quoted\"\r\n"
                       "c=\"\"twice\"\"\r\n"
                       "d=\"open\r\n"
                       "e=\"\r\n"
                       "f=a=b=c\r\n"
                       "g=" +
                           longValue + "\r\n");
    EXPECT_EQ(readStr(f, "S", "a"), "padded");
    EXPECT_EQ(readStr(f, "S", "b"), "quoted");
    EXPECT_EQ(readStr(f, "S", "c"), "\"twice\"");
    EXPECT_EQ(readStr(f, "S", "d"), "\"open");
    EXPECT_EQ(readStr(f, "S", "e"), "\"");
    EXPECT_EQ(readStr(f, "S", "f"), "a=b=c");
    EXPECT_EQ(readStr(f, "S", "g"), std::string(1023, 'x'));
    EXPECT_EQ(GetPrivateProfileString("S", "none", longValue, f), std::string(1023, 'x'));
}

TEST(Profile, WriteChangesOneLineAndKeepsTheRest)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    test::writeFile(f, "; settings\n"
                       "[License]\n"
                       "INIVersion=1003\n"
                       "Unknown=kept\n"
                       "\n"
                       "[Options]\n"
                       "ErrorLog=0\n"
                       "junk line\n");
    ASSERT_TRUE(WritePrivateProfileString("license", "iniversion", "1005", f));
    ASSERT_TRUE(WritePrivateProfileString("License", "New", "x", f));
    ASSERT_TRUE(WritePrivateProfileString("Options", "UseSound", "1", f));
    ASSERT_TRUE(WritePrivateProfileString("Install", "Directory", "/opt/vistrel", f));
    EXPECT_EQ(test::readFile(f), "; settings\n"
                                 "[License]\n"
                                 "INIVersion=1005\n"
                                 "Unknown=kept\n"
                                 "New=x\n"
                                 "\n"
                                 "[Options]\n"
                                 "ErrorLog=0\n"
                                 "junk line\n"
                                 "UseSound=1\n"
                                 "[Install]\n"
                                 "Directory=/opt/vistrel\n");
}

TEST(Profile, WriteCreatesFileKeepsCrLfAndAddsMissingLineEnd)
{
    test::TempDir dir;
    const auto fresh = dir.file("new.ini");
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "v", fresh));
    EXPECT_EQ(test::readFile(fresh), "[S]\nK=v\n");
    struct stat st {};
    ASSERT_EQ(::stat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u); // it may come to hold stored passwords

    const auto crlf = dir.file("crlf.ini");
    test::writeFile(crlf, "\xEF\xBB\xBF[S]\r\nK=old\r\nL=1");
    ::chmod(crlf.c_str(), 0644);
    ASSERT_TRUE(WritePrivateProfileString("s", "k", "new", crlf));
    ASSERT_TRUE(WritePrivateProfileString("S", "M", "2", crlf));
    ASSERT_TRUE(WritePrivateProfileString("T", "N", "3", crlf));
    EXPECT_EQ(test::readFile(crlf), "\xEF\xBB\xBF[S]\r\nK=new\r\nL=1\r\nM=2\r\n[T]\r\nN=3\r\n");
    ASSERT_EQ(::stat(crlf.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0644u); // the existing mode is kept
}

TEST(Profile, QuotedAndPaddedValuesReadBackUnchanged)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    for (const std::string v : {"\"abc\"", "\"\"", "\"", "\"x", " lead", "trail\t", " \"both\" ",
                                "a\"b\"c", "", "=;[]"}) {
        ASSERT_TRUE(WritePrivateProfileString("S", "K", v, f)) << v;
        EXPECT_EQ(readStr(f, "S", "K"), v);
    }
    // Values that need nothing are written as they are, as the established files have them.
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "plain text", f));
    EXPECT_EQ(test::readFile(f), "[S]\nK=plain text\n");
}

TEST(Profile, LineBreaksAndBadNamesAreRefusedAndTheFileKept)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    test::writeFile(f, "[S]\nK=old\n");
    std::string error;
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "two\nlines", f, &error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(WritePrivateProfileString("S", "K", "cr\r", f));
    EXPECT_FALSE(WritePrivateProfileString("S", "K", std::string("nul\0x", 5), f));
    EXPECT_FALSE(WritePrivateProfileString("S\n[X]", "K", "v", f));
    EXPECT_FALSE(WritePrivateProfileString("S]", "K", "v", f));
    EXPECT_FALSE(WritePrivateProfileString("", "K", "v", f));
    EXPECT_FALSE(WritePrivateProfileString("S", "", "v", f));
    EXPECT_FALSE(WritePrivateProfileString("S", "A=B", "v", f));
    EXPECT_FALSE(WritePrivateProfileString("S", "[K", "v", f));
    EXPECT_FALSE(WritePrivateProfileString("S", " K", "v", f));
    EXPECT_EQ(test::readFile(f), "[S]\nK=old\n");
}

TEST(Profile, EveryReadSeesTheFileAsItIsNow)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    test::writeFile(f, "[S]\nK=1\n");
    EXPECT_EQ(GetPrivateProfileInt("S", "K", 0, f), 1);
    test::writeFile(f, "[S]\nK=2\n");
    EXPECT_EQ(GetPrivateProfileInt("S", "K", 0, f), 2);
    std::filesystem::remove(f);
    EXPECT_EQ(GetPrivateProfileInt("S", "K", 0, f), 0);
}

// Writes go through a symlink to its target. A file its user may not write is refused, not
// replaced (its folder would allow the rename). Those writes run in a second process, as nobody
// when this one is root (root may write anything); the writable sibling shows that the child
// can write there at all.
TEST(Profile, ReadOnlyFileIsNotWrittenAndSymlinkIsFollowed)
{
    test::TempDir dir;
    const auto target = dir.file("real.ini");
    const auto link = dir.file("link.ini");
    test::writeFile(target, "[S]\nK=1\n");
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "2", link));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
    EXPECT_EQ(test::readFile(target), "[S]\nK=2\n");

    const std::string folder = dir.file("user");
    const std::string writable = folder + "/writable.ini";
    const std::string readOnly = folder + "/read-only.ini";
    const std::string log = dir.file("writer.log");
    // A copy of the writer, so that nobody can run it wherever the build tree lives.
    const std::string writer = dir.file("profile_test_writer");
    std::filesystem::copy_file(PROFILE_TEST_WRITER, writer);
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    test::writeFile(writable, "[S]\nK=1\n");
    test::writeFile(readOnly, "[S]\nK=1\n");
    ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);

    std::vector<std::string> asUser;
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        ASSERT_NE(nobody, nullptr);
        ASSERT_EQ(::chmod(dir.path().c_str(), 0711), 0);
        for (const std::string& path : {folder, writable, readOnly})
            ASSERT_EQ(::chown(path.c_str(), nobody->pw_uid, nobody->pw_gid), 0) << path;
        asUser = {"setpriv", "--reuid=" + std::to_string(nobody->pw_uid),
                  "--regid=" + std::to_string(nobody->pw_gid), "--clear-groups"};
    }
    auto writeInChild = [&](const std::string& file) {
        std::vector<std::string> argv = asUser;
        for (const char* arg : {writer.c_str(), file.c_str(), "keys", "S", "K", "1"})
            argv.emplace_back(arg);
        test::ChildProcess child;
        return child.start(argv, log) ? child.wait(30000) : -100;
    };

    EXPECT_EQ(writeInChild(writable), 0) << test::readFile(log);
    EXPECT_EQ(test::readFile(writable), "[S]\nK=1\nK0=v0\n");
    EXPECT_EQ(writeInChild(readOnly), 1);
    EXPECT_EQ(test::readFile(readOnly), "[S]\nK=1\n");
    EXPECT_NE(test::readFile(log).find(readOnly + " is not writable"), std::string::npos)
        << test::readFile(log);
}

TEST(Profile, TwoProcessesWritingDifferentKeysLoseNothing)
{
    test::TempDir dir;
    const auto f = dir.file("settings.ini");
    test::writeFile(f, "[Keep]\nThis=stays\n");
    constexpr int kCount = 150;
    test::ChildProcess a, b;
    ASSERT_TRUE(a.start({PROFILE_TEST_WRITER, f, "keys", "Shared", "A", std::to_string(kCount)}));
    ASSERT_TRUE(b.start({PROFILE_TEST_WRITER, f, "keys", "shared", "B", std::to_string(kCount)}));
    // Meanwhile this process writes too, into a section of its own.
    for (int i = 0; i < kCount; ++i)
        ASSERT_TRUE(WritePrivateProfileString("Mine", "C" + std::to_string(i), "v", f));
    EXPECT_EQ(a.wait(60000), 0);
    EXPECT_EQ(b.wait(60000), 0);

    int lost = 0;
    for (int i = 0; i < kCount; ++i) {
        const std::string v = "v" + std::to_string(i);
        lost += GetPrivateProfileString("Shared", "A" + std::to_string(i), "", f) != v;
        lost += GetPrivateProfileString("Shared", "B" + std::to_string(i), "", f) != v;
        lost += GetPrivateProfileString("Mine", "C" + std::to_string(i), "", f) != "v";
    }
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(readStr(f, "Keep", "This"), "stays");
    EXPECT_EQ(countTempFiles(dir.path()), 0);
}

TEST(Profile, WriterKilledMidWriteLeavesTheFileWhole)
{
    test::TempDir dir;
    const auto f = dir.file("settings.ini");
    // A large file of long lines makes writing (and syncing) the new copy the slowest part of
    // each rewrite, so most kills land between creating the temporary file and renaming it.
    std::string bulk = "[Bulk]\n";
    for (int i = 0; i < 1000; ++i)
        bulk += "Key" + std::to_string(i) + "=" + std::string(1000, 'a' + i % 26) + "\n";
    test::writeFile(f, bulk + "[Counter]\nValue=0\n");

    std::mt19937 rng(12345);
    int interrupted = 0;
    long last = 0;
    for (int round = 0; round < 40 && (round < 6 || interrupted == 0); ++round) {
        test::ChildProcess writer;
        ASSERT_TRUE(writer.start({PROFILE_TEST_WRITER, f, "loop", "Counter", "Value"}));
        // Let the writer finish at least one write, then kill it at some point of a later one.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (GetPrivateProfileInt("Counter", "Value", -1, f) <= last &&
               std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::this_thread::sleep_for(std::chrono::milliseconds(rng() % 40));
        writer.stop();

        const std::string content = test::readFile(f);
        ASSERT_TRUE(content.starts_with(bulk)) << "round " << round;
        const std::string tail = content.substr(bulk.size());
        ASSERT_TRUE(tail.starts_with("[Counter]\nValue=") && tail.ends_with("\n")) << tail;
        // Each writer counts on from the value it finds, so the count only goes up.
        const long value = GetPrivateProfileInt("Counter", "Value", -1, f);
        EXPECT_GT(value, last) << "round " << round;
        last = value;
        // A writer killed between creating and renaming its temporary file leaves it behind
        // (until the next write); the settings file itself is never partly written.
        interrupted += countTempFiles(dir.path()) > 0;
    }
    // The next write clears what killed writers left behind.
    ASSERT_TRUE(WritePrivateProfileString("Counter", "Other", "1", f));
    EXPECT_EQ(countTempFiles(dir.path()), 0);
    EXPECT_GT(interrupted, 0) << "no kill landed inside a write; the test proved nothing";
}

namespace {

constexpr uid_t kNobody = 65534;

// Runs check in a child process; as root the child first becomes nobody, since root may write
// anything and so could not show what a user meets. Returns the child's verdict.
bool asUser(const std::function<bool()>& check)
{
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 &&
            (::setgroups(0, nullptr) != 0 || ::setresgid(kNobody, kNobody, kNobody) != 0 ||
             ::setresuid(kNobody, kNobody, kNobody) != 0))
            ::_exit(3);
        ::_exit(check() ? 0 : 1);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

TEST(Profile, WriteKeepsOwnerGroupModeAndRemovesOnlyItsOwnTemporaryFiles)
{
    test::TempDir dir;
    const auto f = dir.file("settings.ini");
    test::writeFile(f, "[S]\nK=1\n");
    ASSERT_EQ(::chmod(f.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) { // root writing a user's file (vistreld --set-password run by root)
        ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
    }
    // A user's files that merely look like temporary names, and one a killed writer left.
    for (const char* name : {".settings.ini.backup", ".settings.ini.Ab12Cd", ".settings.ini.old"})
        test::writeFile(dir.file(name), "mine");
    test::writeFile(dir.file(".settings.ini.vistrel-Zx9Yw8"), "abandoned");

    ASSERT_TRUE(WritePrivateProfileString("S", "K", "2", f));
    EXPECT_EQ(test::readFile(f), "[S]\nK=2\n");
    struct stat st {};
    ASSERT_EQ(::stat(f.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(st.st_uid, root ? kNobody : ::geteuid());
    EXPECT_EQ(st.st_gid, root ? kNobody : ::getegid());
    for (const char* name : {".settings.ini.backup", ".settings.ini.Ab12Cd", ".settings.ini.old"})
        EXPECT_EQ(test::readFile(dir.file(name)), "mine") << name;
    EXPECT_FALSE(test::fileExists(dir.file(".settings.ini.vistrel-Zx9Yw8")));
}

TEST(Profile, ReadOnlyFolderWithAWritableFileIsWrittenInPlace)
{
    test::TempDir dir;
    const auto folder = dir.file("ro");
    const auto f = folder + "/settings.ini";
    std::filesystem::create_directories(folder);
    test::writeFile(f, "[S]\nK=1\n");
    test::writeFile(folder + "/locked.ini", "[S]\nK=1\n");
    ::chmod(dir.path().c_str(), 0755);
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(f.c_str(), kNobody, kNobody), 0);
        ASSERT_EQ(::chown((folder + "/locked.ini").c_str(), kNobody, kNobody), 0);
    }
    ::chmod((folder + "/locked.ini").c_str(), 0444);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);
    struct stat before {};
    ASSERT_EQ(::stat(f.c_str(), &before), 0);

    EXPECT_TRUE(asUser([&] {
        std::string error;
        const bool written = WritePrivateProfileString("License", "INIVersion", "1005", f, &error);
        // A file that is not writable either still fails, and says so.
        std::string lockedError;
        const bool locked =
            WritePrivateProfileString("S", "K", "2", folder + "/locked.ini", &lockedError);
        return written && error.empty() && !locked &&
               lockedError == folder + "/locked.ini is not writable";
    }));
    EXPECT_EQ(test::readFile(f), "[S]\nK=1\n[License]\nINIVersion=1005\n");
    struct stat after {};
    ASSERT_EQ(::stat(f.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino); // the same file, written in place
    EXPECT_EQ(countTempFiles(folder), 0);
    ::chmod(folder.c_str(), 0755);
}

TEST(Profile, NonRegularFilesAreRefusedWithoutWaiting)
{
    test::TempDir dir;
    const auto fifo = dir.file("fifo.ini");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    std::filesystem::create_directories(dir.file("folder.ini"));
    for (const std::string& path : {fifo, dir.file("folder.ini")}) {
        SCOPED_TRACE(path);
        // Opening a FIFO for reading would wait for a writer for ever.
        EXPECT_EQ(GetPrivateProfileInt("S", "K", 7, path), 7);
        EXPECT_EQ(readStr(path, "S", "K"), "<default>");
        std::string error;
        EXPECT_FALSE(WritePrivateProfileString("S", "K", "1", path, &error));
        EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    }
}

TEST(Profile, DanglingSymlinkIsWrittenThroughToItsTarget)
{
    test::TempDir dir;
    std::filesystem::create_directories(dir.file("real"));
    // link.ini → chain.ini → real/settings.ini (relative, and not there yet)
    ASSERT_EQ(::symlink("real/settings.ini", dir.file("chain.ini").c_str()), 0);
    ASSERT_EQ(::symlink(dir.file("chain.ini").c_str(), dir.file("link.ini").c_str()), 0);
    ASSERT_TRUE(WritePrivateProfileString("S", "K", "1", dir.file("link.ini")));
    ASSERT_TRUE(WritePrivateProfileString("S", "L", "2", dir.file("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("link.ini")));
    EXPECT_TRUE(std::filesystem::is_symlink(dir.file("chain.ini")));
    EXPECT_EQ(test::readFile(dir.file("real/settings.ini")), "[S]\nK=1\nL=2\n");
    EXPECT_EQ(GetPrivateProfileInt("S", "L", 0, dir.file("link.ini")), 2);
}

TEST(Profile, LongValuesAreNeverCutInsideAUtf8Character)
{
    test::TempDir dir;
    const auto f = dir.file("a.ini");
    struct Case {
        std::string value;
        std::size_t expected; // bytes kept
    };
    const std::string e = "\xC3\xA9", euro = "\xE2\x82\xAC", clef = "\xF0\x9D\x84\x9E";
    const Case cases[] = {
        {std::string(1022, 'x') + e + "y", 1022},    // é would be split: cut before it
        {std::string(1021, 'x') + e + "y", 1023},    // é fits
        {std::string(1021, 'x') + euro, 1021},       // € split after its second byte
        {std::string(1020, 'x') + euro + "y", 1023}, // € fits
        {std::string(1020, 'x') + clef, 1020},       // a 4-byte character split after 3
        {std::string(1022, 'x') + "\xE9"
                                  "abc",
         1023},                                          // Latin-1 é: not UTF-8, cut as bytes
        {std::string(1022, 'x') + "\x80\x80\x80", 1023}, // stray continuation bytes, as bytes
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WritePrivateProfileString("S", "K", c.value, f));
        EXPECT_EQ(readStr(f, "S", "K"), c.value.substr(0, c.expected)) << c.expected;
    }
}
