// Upload throughput of the SFTP and WebDAV targets (a session of the upload-target module
// storing one file, log-on included) against `curl -T` to the same server in the same run.
// Runs alternate between the two, so a load that comes and goes weighs on both alike; prints the
// median of each and the ratio (curl's time / ours: 1 means as fast as curl).
//   usage: bench_target_upload [megabytes=50] [runs=5] [sftp|webdav|both=both]
// sshd comes from scripts/test-setup.d/sshd.sh BUILD_DIR, rclone and curl from
// scripts/bootstrap.sh --tests and --bench.
#include "TargetServers.h"
#include "upload/TargetLoader.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

using namespace vistrel;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? -1 : v[v.size() / 2];
}

std::string quoted(const std::string& s)
{
    std::string out = "'";
    for (char c : s)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

void compare(const char* name, int megabytes, int runs, const std::function<bool()>& ours,
             const std::function<bool()>& curl)
{
    std::vector<double> a, b;
    for (int i = 0; i < runs; ++i) {
        for (auto [run, times] : {std::pair{&ours, &a}, std::pair{&curl, &b}}) {
            const auto t0 = std::chrono::steady_clock::now();
            if (!(*run)()) {
                std::printf("%s: a run failed\n", name);
                return;
            }
            times->push_back(
                std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        }
    }
    const double ta = median(a), tb = median(b);
    std::printf("%-7s %d MB: ours %.3f s (%.1f MB/s), curl -T %.3f s (%.1f MB/s), ratio %.2f\n",
                name, megabytes, ta, megabytes / ta, tb, megabytes / tb, tb / ta);
}

} // namespace

int main(int argc, char** argv)
{
    const int megabytes = argc > 1 ? std::atoi(argv[1]) : 50;
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    const std::string which = argc > 3 ? argv[3] : "both";
    ::setenv("VISTREL_TEST_BINARY_DIR", VISTREL_BINARY_DIR, 0);
    ::setenv("VISTREL_TEST_SOURCE_DIR", VISTREL_SOURCE_DIR, 0);
    ::setenv("VISTREL_TARGETS_DIR", VISTREL_TARGETS_BUILD_DIR, 0);
    test::TempDir dir;
    const std::string file = dir.file("bench.bin");
    {
        std::string data(static_cast<std::size_t>(megabytes) << 20, '\0');
        for (std::size_t i = 0; i < data.size(); ++i)
            data[i] = static_cast<char>((i * 2654435761u) >> 13);
        test::writeFile(file, data);
    }
    const auto store = [&](TargetSettings t) {
        std::string why;
        auto s = MakeTargetSession(t, &why);
        if (!s || !s->Open() || !s->Store(file, "bench.bin")) {
            std::printf("ours: %s\n", s ? s->Message().c_str() : why.c_str());
            return false;
        }
        return true;
    };
    if (which == "sftp" || which == "both") {
        test::SshServer ssh;
        if (!ssh.ok()) {
            std::printf("sftp: %s\n", ssh.why().c_str());
            return 1;
        }
        TargetSettings t;
        t.kind = TargetKind::Sftp;
        t.server = "127.0.0.1";
        t.port = ssh.port();
        t.username = ssh.user();
        t.directory = ssh.files();
        t.hostKey = ssh.fingerprint();
        t.keyFile = ssh.keyFile();
        t.keyPassphrase = test::SshServer::kKeyPassphrase;
        const std::string curl = "curl -sS --key " + quoted(ssh.keyFile()) + " --pass " +
                                 quoted(test::SshServer::kKeyPassphrase) + " --hostpubsha256 " +
                                 quoted(ssh.fingerprint().substr(7)) + " -u " +
                                 quoted(ssh.user() + ":") + " -T " + quoted(file) +
                                 " sftp://127.0.0.1:" + std::to_string(ssh.port()) + ssh.files() +
                                 "/curl.bin";
        compare(
            "SFTP", megabytes, runs, [&] { return store(t); },
            [&] { return test::run(curl) == 0; });
    }
    if (which == "webdav" || which == "both") {
        test::WebDavServer dav;
        if (!dav.ok()) {
            std::printf("webdav: %s\n", dav.why().c_str());
            return 1;
        }
        TargetSettings t;
        t.kind = TargetKind::WebDav;
        t.url = dav.url();
        t.username = "cam";
        t.password = test::WebDavServer::kPassword;
        const std::string curl = "curl -sS -u " +
                                 quoted(std::string("cam:") + test::WebDavServer::kPassword) +
                                 " -T " + quoted(file) + " " + dav.url() + "curl.bin";
        compare(
            "WebDAV", megabytes, runs, [&] { return store(t); },
            [&] { return test::run(curl) == 0; });
    }
    return 0;
}
