#pragma once

#include "ChildProcess.h"
#include "TestSupport.h"

#include <string>
#include <vector>

namespace vistrel::test {

// The HTTP camera of tests/capture/servers/camera_server.py, started on 127.0.0.1 with an
// ephemeral port (or a given one) and ended with the object.
class HttpCameraServer {
  public:
    static constexpr const char* kUser = "cam";
    static constexpr const char* kPassword = "s3cret:@pw";

    // False (with the server's log in *log) when it did not come up within ten seconds. With a
    // certificate and key (PEM files) it speaks HTTPS.
    bool start(int port = 0, std::string* log = nullptr, const std::string& tlsCert = {},
               const std::string& tlsKey = {});
    void stop() { m_process.stop(); }

    int port() const { return m_nPort; }
    std::string url(const std::string& path) const;
    // The pixels PIL decodes from the served pictures ("picture.jpg", "picture.png").
    std::string expectedRgb(const std::string& picture) const;
    static constexpr int kWidth = 160;
    static constexpr int kHeight = 120;

    // One logged request: its path with query, start and end in ms, requests in flight then.
    struct Request {
        std::string path;
        long long startMs = 0;
        long long endMs = 0;
        int inFlight = 0;
    };
    // The requests whose path (with query) is path, in the order they ended.
    std::vector<Request> requests(const std::string& path) const;

  private:
    TempDir m_dir;
    ChildProcess m_process;
    int m_nPort = 0;
    bool m_bTls = false;
};

// The RTSP camera of tests/capture/servers/rtsp_server.py (GStreamer's RTSP server).
class RtspCameraServer {
  public:
    // codec "mjpeg" or "h264"; a 320 x 240 picture at 15 frames a second unless extraArgs say
    // otherwise ("--width", "640", "--fps", "25" …). False when it did not come up (see
    // available()).
    bool start(const std::string& codec, int port = 0, std::string* log = nullptr,
               const std::vector<std::string>& extraArgs = {});
    void stop() { m_process.stop(); }
    int port() const { return m_nPort; }
    std::string url() const;

    // Whether this machine has what the server needs for the codec (Debian's python3 with the
    // GStreamer RTSP server and the encoder), and if not, what is missing.
    static bool available(const std::string& codec, std::string* missing);

  private:
    TempDir m_dir;
    ChildProcess m_process;
    int m_nPort = 0;
};

// The misbehaving RTSP cameras of tests/capture/servers/hostile_rtsp.py ("redirect",
// "huge-describe", "endless-frame"; see there), on 127.0.0.1 (and 127.0.0.2 for where a redirect
// points).
class HostileRtspServer {
  public:
    bool start(const std::string& mode, bool authFirst = false, std::string* log = nullptr);
    int port() const { return m_nPort; }
    std::string url() const { return "rtsp://127.0.0.1:" + std::to_string(m_nPort) + "/cam"; }
    // The requests received, one a line: "<host> <method> <Authorization or ->".
    std::string requests() const { return readFile(m_dir.file("requests.log")); }

  private:
    TempDir m_dir;
    ChildProcess m_process;
    int m_nPort = 0;
};

// A TCP port on 127.0.0.1 that nothing listens on (bound and released).
int UnusedLoopbackPort();

} // namespace vistrel::test
