#include "upload/ErrorLog.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

using namespace vistrel;

namespace {

std::time_t utc(int y, int mo, int d, int h, int mi)
{
    std::tm t{};
    t.tm_year = y - 1900;
    t.tm_mon = mo - 1;
    t.tm_mday = d;
    t.tm_hour = h;
    t.tm_min = mi;
    return ::timegm(&t);
}

} // namespace

TEST(ErrorLog, EntriesAreAppendedWithTimeAndCrLf)
{
    const test::ScopedEnv tz("TZ", "UTC"); // the log is written in local time
    test::TempDir dir;
    const std::string folder = dir.path() + "/";
    AppendErrorLog(folder, "FTP Error: 530 Login incorrect.", utc(2026, 12, 7, 14, 5));
    AppendErrorLog(folder, "Capture Error: a\nb", utc(2027, 1, 2, 3, 4));
    EXPECT_EQ(test::readFile(folder + "error.log"),
              "12-07-26 14:05 - FTP Error: 530 Login incorrect.\r\n"
              "01-02-27 03:04 - Capture Error: a\r\nb\r\n");
}

TEST(ErrorLog, AnUnwritableFolderIsSkippedSilently)
{
    test::TempDir dir;
    const std::string folder = dir.file("ro") + "/";
    ::mkdir(folder.c_str(), 0500);
    AppendErrorLog(folder, "text", utc(2026, 1, 1, 0, 0));
    if (::geteuid() != 0) { // root writes anywhere
        EXPECT_FALSE(test::fileExists(folder + "error.log"));
    }
    AppendErrorLog(dir.file("missing/"), "text", 0);
    EXPECT_FALSE(test::fileExists(dir.file("missing")));
}
