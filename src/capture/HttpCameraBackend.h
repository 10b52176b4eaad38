#pragma once

#include "capture/NetworkCameraBackend.h"

namespace vistrel {

// A camera reached over HTTP or HTTPS through libcurl, with basic or digest authentication. What
// it answers decides how it is read:
//  - one JPEG or PNG picture per request (the snapshot URL): every grab is one request, on the
//    caller's thread, so a preview asks once a period and never has two requests in flight;
//  - an MJPEG stream (multipart/x-mixed-replace): while the stream runs a reader thread keeps
//    the connection and the newest complete part, and a grab takes the first part that completes
//    after it began. A stream that ends or stalls is dropped; the next grab connects again.
class HttpCameraBackend : public NetworkCameraBackend {
  public:
    HttpCameraBackend(const NetworkCameraSettings& camera, const NetworkCameraLimits& limits);
    ~HttpCameraBackend() override;

  protected:
    bool grab(RgbFrame& frame, Clock::time_point deadline, std::string& cause) override;
    void hangUp() override;

  private:
    enum class Answer { Unknown, Snapshot, Stream };

    bool grabFromStream(RgbFrame& frame, Clock::time_point deadline, std::string& cause);
    bool decode(const std::string& bytes, Clock::time_point deadline, RgbFrame& frame,
                std::string& cause);
    std::string readStream();
    void stopReader();

    Answer m_answer = Answer::Unknown;

    // Shared with the reader thread, under m_stream.mutex(). Declared last: the reader ends
    // before the rest goes.
    void* m_readerMulti = nullptr; // the reader's curl multi handle, to wake it
    std::string m_newest;          // the newest complete part
    bool m_bSingleAnswer = false;  // the "stream" turned out to be one picture
    CameraStreamReader m_stream;
};

} // namespace vistrel
