#include "capture/TestPatternBackend.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>

namespace vistrel {

namespace {

constexpr FrameSize kSizes[] = {{160, 120}, {320, 240}, {640, 480}, {1280, 720}, {1920, 1080}};

// 75 % colour bars: white, yellow, cyan, green, magenta, red, blue, black.
constexpr std::uint8_t kBars[8][3] = {{191, 191, 191}, {191, 191, 0}, {0, 191, 191}, {0, 191, 0},
                                      {191, 0, 191},   {191, 0, 0},   {0, 0, 191},   {0, 0, 0}};

// Digits 0-9 in a 3 x 5 grid, one row a byte, bit 2 the left column.
constexpr std::uint8_t kDigits[10][5] = {
    {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

// The first row pixel by pixel, the others copied from it: the preview draws a whole frame 25
// times a second.
void fillRect(RgbFrame& f, int x0, int y0, int w, int h, const std::uint8_t* rgb)
{
    const int left = std::max(0, x0);
    const int x1 = std::min(f.width, x0 + w);
    const int y1 = std::min(f.height, y0 + h);
    if (left >= x1)
        return;
    const std::size_t bytes = static_cast<std::size_t>(x1 - left) * 3;
    const std::uint8_t* first = nullptr;
    for (int y = std::max(0, y0); y < y1; ++y) {
        std::uint8_t* p = f.row(y) + static_cast<std::size_t>(left) * 3;
        if (first) {
            std::memcpy(p, first, bytes);
            continue;
        }
        for (std::size_t i = 0; i < bytes; i += 3) {
            p[i] = rgb[0];
            p[i + 1] = rgb[1];
            p[i + 2] = rgb[2];
        }
        first = p;
    }
}

} // namespace

PatternSquare TestPatternSquare(int width, int height, std::uint64_t number)
{
    PatternSquare s;
    s.side = std::max(4, height / 6);
    const int band = height - height * 2 / 3; // the lower third
    const int travel = std::max(1, width - s.side);
    const int step = std::max(1, width / 64);
    s.x = static_cast<int>((number * static_cast<std::uint64_t>(step)) %
                           static_cast<std::uint64_t>(travel));
    s.y = height * 2 / 3 + (band - s.side) / 2;
    return s;
}

void DrawTestPattern(RgbFrame& frame, int width, int height, std::uint64_t number)
{
    frame.resize(width, height);
    const int barsHeight = height * 2 / 3;
    for (int i = 0; i < 8; ++i) {
        const int x0 = width * i / 8;
        const int x1 = width * (i + 1) / 8;
        fillRect(frame, x0, 0, x1 - x0, barsHeight, kBars[i]);
    }
    const std::uint8_t grey[3] = {32, 32, 32};
    fillRect(frame, 0, barsHeight, width, height - barsHeight, grey);

    const std::uint8_t white[3] = {255, 255, 255};
    const PatternSquare sq = TestPatternSquare(width, height, number);
    fillRect(frame, sq.x, sq.y, sq.side, sq.side, white);

    // The frame number, in a black box at the top left.
    const std::string digits = std::to_string(number);
    const int scale = std::max(1, height / 60);
    const int advance = 4 * scale;
    const std::uint8_t black[3] = {0, 0, 0};
    fillRect(frame, 0, 0, static_cast<int>(digits.size()) * advance + scale * 2, 7 * scale, black);
    for (std::size_t i = 0; i < digits.size(); ++i) {
        const auto& glyph = kDigits[digits[i] - '0'];
        const int gx = scale * 2 + static_cast<int>(i) * advance;
        for (int row = 0; row < 5; ++row)
            for (int col = 0; col < 3; ++col)
                if (glyph[row] & (4 >> col))
                    fillRect(frame, gx + col * scale, scale + row * scale, scale, scale, white);
    }
}

bool TestPatternBackend::open()
{
    m_bOpen = true;
    m_bStreaming = false;
    m_nFrames = 0;
    return true;
}

void TestPatternBackend::close()
{
    m_bOpen = false;
    m_bStreaming = false;
}

bool TestPatternBackend::currentSize(FrameSize& size) const
{
    if (!m_bOpen)
        return false;
    size = m_size;
    return true;
}

std::vector<FrameSize> TestPatternBackend::frameSizes()
{
    return {std::begin(kSizes), std::end(kSizes)};
}

bool TestPatternBackend::setSize(FrameSize wanted)
{
    if (!m_bOpen) {
        m_strError = "Not connected";
        return false;
    }
    long best = -1;
    for (const FrameSize& s : kSizes) {
        const long d =
            std::labs(long(s.width) - wanted.width) + std::labs(long(s.height) - wanted.height);
        if (best < 0 || d <= best) {
            best = d;
            m_size = s;
        }
    }
    return true;
}

bool TestPatternBackend::startStream()
{
    if (!m_bOpen) {
        m_strError = "Not connected";
        return false;
    }
    m_bStreaming = true;
    return true;
}

bool TestPatternBackend::readFrame(RgbFrame& frame)
{
    if (!m_bStreaming) {
        m_strError = "The stream is not running";
        return false;
    }
    DrawTestPattern(frame, m_size.width, m_size.height, ++m_nFrames);
    return true;
}

bool TestPatternBackend::setControl(std::uint32_t, std::int32_t)
{
    m_strError = "The test pattern has no controls";
    return false;
}

} // namespace vistrel
