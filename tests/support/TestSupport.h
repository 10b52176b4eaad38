#pragma once

#include <functional>
#include <string>

namespace vistrel::test {

// A private temporary directory, removed with everything in it when the object goes.
class TempDir {
  public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name
    std::string file(const std::string& name) const;

  private:
    std::string m_path;
};

// Sets an environment variable for the life of the object and puts the old value back after.
// For TZ the C library's idea of local time follows, both ways.
class ScopedEnv {
  public:
    ScopedEnv(const std::string& name, const std::string& value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

  private:
    std::string m_name;
    std::string m_old;
    bool m_had = false;
};

// Whole-file helpers (binary). readFile returns an empty string for a missing file.
std::string readFile(const std::string& path);
void writeFile(const std::string& path, const std::string& bytes);
bool fileExists(const std::string& path);

// Number of open file descriptors of this process (entries of /proc/self/fd).
int openFdCount();
// Resident set size of this process in KiB (VmRSS of /proc/self/status).
long residentKiB();

// The source tree and build tree of the project (set by CTest; found relative to the test
// executable otherwise). Test data lives under sourceDir() + "/tests/...".
std::string sourceDir();
std::string binaryDir();

// A disk that fills up, for this process: while the object lives, no regular file can grow
// beyond maxBytes (RLIMIT_FSIZE; a write past it fails with EFBIG instead of raising SIGXFSZ).
class FileSizeLimit {
  public:
    explicit FileSizeLimit(unsigned long maxBytes);
    ~FileSizeLimit();
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  private:
    unsigned long m_old[2];
    void (*m_oldHandler)(int);
};

// Runs the Qt event loop until condition() holds or timeoutMs passes; returns condition().
// The condition is checked each time the loop has run what was pending (so a queued signal
// that sets a flag ends the wait at once) and every 10 ms (for things no event announces, such
// as a file another process writes).
bool waitUntil(const std::function<bool()>& condition, int timeoutMs);
// Runs the Qt event loop for ms milliseconds, so queued calls and timers run.
void runEventLoop(int ms);

// A free TCP port on 127.0.0.1 (bound and released; good enough for fixtures that retry).
int freeLoopbackPort();

} // namespace vistrel::test
