// What `cmake --install` puts where, as a Debian package would ship it: programs, helpers in
// libexec, systemd units naming the installed program, manual pages that render, the licence.
#include "config/KeyCatalogue.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <map>
#include <sys/stat.h>
#include <sys/wait.h>
#include <tuple>
#include <vector>

using namespace vistrel;
using namespace vistrel::test;

namespace {

// Runs a shell command; returns its exit status and fills *output with stdout and stderr.
int shell(const std::string& command, std::string* output)
{
    output->clear();
    FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (!pipe)
        return -1;
    std::array<char, 4096> buf;
    while (const size_t n = std::fread(buf.data(), 1, buf.size(), pipe))
        output->append(buf.data(), n);
    const int status = ::pclose(pipe);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool executable(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && (st.st_mode & S_IXUSR);
}

// The KEYS section of the generated vistrel.ini(5): section/key → the line after the key's name.
std::map<std::string, std::string> manPageKeys(const std::string& page)
{
    std::map<std::string, std::string> keys;
    std::string section;
    size_t pos = 0;
    std::string previous;
    while (pos < page.size()) {
        const size_t end = page.find('\n', pos);
        const std::string line = page.substr(pos, end - pos);
        pos = end == std::string::npos ? page.size() : end + 1;
        if (line.rfind(".SS [", 0) == 0)
            section = line.substr(5, line.size() - 6);
        else if (previous.rfind(".B ", 0) == 0 && !section.empty())
            keys[section + "/" + previous.substr(3)] = line;
        previous = line;
    }
    return keys;
}

std::string shownDefault(const SettingKey& k, std::string_view value)
{
    std::string text(value);
    if (!k.isNumeric())
        return text.empty() ? "empty" : "\"" + text + "\"";
    if (!text.empty() && text[0] == '-')
        text = "\\" + text;
    return text;
}

class InstallTree : public ::testing::TestWithParam<std::string> {};

} // namespace

TEST(ManPage, KeyTableAgreesWithTheCatalogue)
{
    const auto keys = manPageKeys(readFile(binaryDir() + "/packaging/man/vistrel.ini.5"));
    size_t checked = 0;
    for (const SettingKey& k : SettingKeys()) {
        const std::string name = std::string(k.section) + "/" + std::string(k.key);
        const auto at = keys.find(name);
        ASSERT_NE(at, keys.end()) << name << " is missing from vistrel.ini(5)";
        std::string expected = "default " + shownDefault(k, k.programDefault);
        if (k.pageDefault && std::string_view(k.pageDefault) != k.programDefault)
            expected += "; page " + shownDefault(k, k.pageDefault);
        EXPECT_NE(at->second.find("; " + expected + "."), std::string::npos)
            << name << ": " << at->second;
        ++checked;
    }
    EXPECT_EQ(keys.size(), checked) << "vistrel.ini(5) names keys the program does not have";
}

TEST_P(InstallTree, UnderDestdir)
{
    const std::string prefix = GetParam();
    TempDir dir;
    const std::string root = dir.file("root");
    std::string out;
    ASSERT_EQ(
        shell("DESTDIR=" + root + " cmake --install " + binaryDir() + " --prefix " + prefix, &out),
        0)
        << out;
    const std::string p = root + prefix;

    // Programs for the user's PATH; helpers of Vistrel out of it.
    EXPECT_TRUE(executable(p + "/bin/vistreld"));
    EXPECT_TRUE(executable(p + "/libexec/vistrel/updater"));
    EXPECT_TRUE(executable(p + "/libexec/vistrel/leavenote"));
    EXPECT_FALSE(fileExists(p + "/bin/updater"));
    EXPECT_FALSE(fileExists(p + "/bin/leavenote"));
    for (const char* helper : {"updater", "leavenote"}) {
        // --help answers without a display and opens no window.
        EXPECT_EQ(shell("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM " + p +
                            "/libexec/vistrel/" + helper + " --help",
                        &out),
                  0)
            << helper << ": " << out;
        EXPECT_EQ(out.rfind(std::string("Usage: ") + helper, 0), 0u) << out;
    }
    EXPECT_EQ(shell(p + "/bin/vistreld --version", &out), 0);

    // The network-camera module, in the library folder the installed program finds by itself.
    const std::string module = p + "/bin/" VISTREL_NETCAM_RELATIVE_DIR "/netcam.so";
    EXPECT_TRUE(fileExists(module)) << module;
    // The upload-target module (SFTP, WebDAV, S3) beside it.
    EXPECT_TRUE(fileExists(p + "/bin/" VISTREL_NETCAM_RELATIVE_DIR "/targets.so"));
    writeFile(dir.file("cam.ini"), "[License]\nINIVersion=1005\n[NetworkCameras]\n"
                                   "Camera1Name=Porch\nCamera1URL=http://127.0.0.1:" +
                                       std::to_string(freeLoopbackPort()) + "/snap.jpg\n");
    EXPECT_EQ(shell("env -u VISTREL_NETCAM_DIR QT_QPA_PLATFORM=offscreen " + p +
                        "/bin/vistreld --list-devices --config " + dir.file("cam.ini"),
                    &out),
              0)
        << out;
    EXPECT_NE(out.find("Porch (http://127.0.0.1:"), std::string::npos) << out;
    EXPECT_EQ(out.find("module"), std::string::npos) << out;

    // The units and the system user where systemd reads them: what `pkg-config systemd` says for
    // /usr (/lib/systemd/system on Debian 12), under the prefix for any other.
    const bool usr = prefix == "/usr";
    const std::string systemDir =
        usr ? root + VISTREL_USR_SYSTEM_UNIT_DIR : p + "/lib/systemd/system";
    const std::string userDir = usr ? root + VISTREL_USR_USER_UNIT_DIR : p + "/lib/systemd/user";
    const std::string sysusers =
        (usr ? root + VISTREL_USR_SYSUSERS_DIR : p + "/lib/sysusers.d") + "/vistreld.conf";
    EXPECT_NE(readFile(sysusers).find("\nu vistrel - "), std::string::npos) << sysusers;
    EXPECT_NE(readFile(sysusers).find("\nm vistrel video\n"), std::string::npos) << sysusers;

    // The units start the installed program; the user unit needs no target a user manager lacks;
    // neither restarts a mistake in the settings (exit status 2) again and again.
    const std::string user = readFile(userDir + "/vistreld@.service");
    const std::string system = readFile(systemDir + "/vistreld@.service");
    for (const std::string* unit : {&user, &system})
        EXPECT_NE(unit->find("\nRestartPreventExitStatus=2\n"), std::string::npos) << *unit;
    EXPECT_NE(user.find("\nExecStart=" + prefix + "/bin/vistreld --config %i\n"), std::string::npos)
        << user;
    EXPECT_NE(user.find("\nStateDirectory=vistrel/%i\nWorkingDirectory=%S/vistrel/%i\n"),
              std::string::npos);
    EXPECT_NE(user.find("\nWantedBy=default.target\n"), std::string::npos);
    EXPECT_EQ(user.find("network-online"), std::string::npos);
    EXPECT_NE(
        system.find("\nExecStart=" + prefix + "/bin/vistreld --config %S/vistrel/%i/%i.ini\n"),
        std::string::npos)
        << system;
    EXPECT_NE(system.find("\nUser=vistrel\n"), std::string::npos);

    // systemd's own check, on copies that name the program inside DESTDIR (the analyzer wants an
    // executable that exists), with the manual pages there (it looks up Documentation=).
    if (shell("command -v systemd-analyze", &out) == 0) {
        const std::string units = dir.file("units");
        const std::string runtime = dir.file("runtime");
        std::filesystem::create_directories(units + "/user");
        std::filesystem::create_directories(units + "/system");
        std::filesystem::create_directories(runtime);
        ::chmod(runtime.c_str(), 0700);
        auto copy = [&](const std::string& text, const std::string& to) {
            std::string unit = text;
            const std::string from = "ExecStart=" + prefix + "/bin/vistreld";
            unit.replace(unit.find(from), from.size(), "ExecStart=" + p + "/bin/vistreld");
            writeFile(to, unit);
        };
        copy(user, units + "/user/vistreld@cam.service");
        copy(system, units + "/system/vistreld@cam.service");
        const std::string env = "MANPATH=" + p + "/share/man XDG_RUNTIME_DIR=" + runtime;
        EXPECT_EQ(
            shell(env + " systemd-analyze verify --user " + units + "/user/vistreld@cam.service",
                  &out),
            0)
            << out;
        EXPECT_EQ(out, "");
        EXPECT_EQ(
            shell(env + " systemd-analyze verify " + units + "/system/vistreld@cam.service", &out),
            0)
            << out;
    } else {
        ADD_FAILURE() << "systemd-analyze is missing: scripts/bootstrap.sh --tests installs it";
    }

    // Manual pages, rendered as man shows them, without a warning from the formatter.
    const std::pair<const char*, const char*> pages[] = {
        {"/share/man/man1/vistrel.1", "VISTREL(1)"},
        {"/share/man/man1/vistreld.1", "VISTRELD(1)"},
        {"/share/man/man5/vistrel.ini.5", "VISTREL.INI(5)"},
    };
    for (const auto& [page, title] : pages) {
        ASSERT_TRUE(fileExists(p + page)) << page;
        EXPECT_EQ(shell("MANWIDTH=80 man -l " + p + page + " | cat", &out), 0) << out;
        EXPECT_EQ(out.rfind(title, 0), 0u) << page << "\n" << out.substr(0, 200);
        EXPECT_EQ(shell("groff -ww -man -z " + p + page, &out), 0);
        EXPECT_EQ(out, "") << page;
    }
    EXPECT_EQ(shell("MANWIDTH=80 man -l " + p + "/share/man/man5/vistrel.ini.5 | cat", &out), 0);
    EXPECT_NE(out.find("FTPServer"), std::string::npos);

    for (const char* doc : {"LICENSE", "README.md", "CHANGELOG.md"})
        EXPECT_TRUE(fileExists(p + "/share/doc/vistrel/" + doc)) << doc;
    EXPECT_NE(readFile(p + "/share/doc/vistrel/LICENSE").find("MIT License"), std::string::npos);
    // Every picture the installed README shows is installed beside it.
    const std::string readme = readFile(p + "/share/doc/vistrel/README.md");
    size_t pictures = 0;
    for (size_t at = readme.find("]("); at != std::string::npos; at = readme.find("](", at + 2)) {
        const std::string link = readme.substr(at + 2, readme.find(')', at) - at - 2);
        if (link.size() > 4 && link.compare(link.size() - 4, 4, ".png") == 0) {
            EXPECT_TRUE(fileExists(p + "/share/doc/vistrel/" + link)) << link;
            ++pictures;
        }
    }
    EXPECT_GT(pictures, 0u);
}

// The programs load neither FFmpeg nor libcurl (a USB camera or the test pattern costs none of
// the hundred-odd libraries they bring: the network-camera module needs them), nor libtiff with
// its codecs, which is loaded when a TIFF logo is read, nor OpenSSL, loaded for FTPS; the
// publisher not even Qt Gui.
TEST(Programs, LoadTheHeavyLibrariesOnlyWhenTheyAreUsed)
{
    const std::vector<std::string> programs = {binaryDir() + "/src/vistreld/vistreld",
                                               binaryDir() + "/src/ui/vistrel"};
    const std::string module = VISTREL_NETCAM_BUILD_DIR "/netcam.so";
    const char* network[] = {"libavformat", "libavcodec", "libswscale", "libavutil", "libcurl"};
    std::vector<std::tuple<std::string, std::string, bool>> cases; // file, library, linked
    for (const std::string& program : programs) {
        for (const char* library : network)
            cases.emplace_back(program, library, false);
        for (const char* library : {"libtiff", "libssl", "libcrypto"})
            cases.emplace_back(program, library, false);
    }
    // The publisher draws its stamps without Qt Gui; the desktop program has its windows.
    cases.emplace_back(programs[0], "libQt6Gui", false);
    cases.emplace_back(programs[0], "libfontconfig", true);
    cases.emplace_back(programs[0], "libfreetype", true);
    cases.emplace_back(programs[1], "libQt6Gui", true);
    for (const char* library : network)
        cases.emplace_back(module, library, true);
    cases.emplace_back(VISTREL_NETCAM_BUILD_DIR "/targets.so", "libcurl", true);

    std::map<std::string, std::string> needed;
    for (const auto& [file, library, linked] : cases) {
        if (!needed.count(file)) {
            ASSERT_EQ(shell("readelf -d " + file + " | grep NEEDED", &needed[file]), 0)
                << file << needed[file];
        }
        EXPECT_EQ(needed[file].find("[" + library + ".so") != std::string::npos, linked)
            << file << " and " << library << ":\n"
            << needed[file];
    }
}

std::string prefixName(const ::testing::TestParamInfo<std::string>& prefix)
{
    return prefix.param == "/usr" ? "Usr" : "UsrLocal";
}

INSTANTIATE_TEST_SUITE_P(Prefixes, InstallTree, ::testing::Values("/usr", "/usr/local"),
                         prefixName);
