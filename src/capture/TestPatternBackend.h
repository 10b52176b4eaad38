#pragma once

#include "capture/CaptureBackend.h"

#include <cstdint>

namespace vistrel {

// The built-in driver, so that a machine without a camera still captures: colour bars, a square
// that moves a step with every frame, and the frame's number, all the same for the same number.
class TestPatternBackend : public CaptureBackend {
  public:
    static constexpr const char* kName = "Test Pattern";

    std::string description() const override { return kName; }
    bool open() override;
    void close() override;
    bool currentSize(FrameSize& size) const override;
    std::vector<FrameSize> frameSizes() override;
    bool setSize(FrameSize wanted) override;
    bool startStream() override;
    void stopStream() override { m_bStreaming = false; }
    bool streaming() const override { return m_bStreaming; }
    bool readFrame(RgbFrame& frame) override;
    std::vector<CaptureControl> controls() override { return {}; }
    bool setControl(std::uint32_t, std::int32_t) override;
    std::string lastError() const override { return m_strError; }

  private:
    bool m_bOpen = false;
    bool m_bStreaming = false;
    FrameSize m_size{320, 240};
    std::uint64_t m_nFrames = 0;
    std::string m_strError;
};

// Draws frame number n of the test pattern at the given size (frames are numbered from 1).
void DrawTestPattern(RgbFrame& frame, int width, int height, std::uint64_t number);

// Where the moving square of frame n lies, and how big it is (for tests and the drawing alike).
struct PatternSquare {
    int x = 0;
    int y = 0;
    int side = 0;
};
PatternSquare TestPatternSquare(int width, int height, std::uint64_t number);

} // namespace vistrel
