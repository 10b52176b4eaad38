#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace vistrel {

// The boundary of a "multipart/x-mixed-replace; boundary=…" content type (quotes removed), or
// empty when the type is not multipart or names no boundary.
std::string MultipartBoundary(std::string_view contentType);

// Splits an MJPEG stream (multipart/x-mixed-replace) into its parts as the bytes arrive. Each
// part is its headers, a blank line and its body, up to the next "--boundary" line, or exactly
// Content-Length bytes when the part says how long it is. Memory stays bounded: a part longer
// than maxPartBytes, headers longer than 16 KiB or a stream without a boundary in its first
// maxPartBytes fail the stream. Cameras that write the boundary with its leading dashes in the
// content type, or end lines with a bare LF, are understood too.
class MultipartReader {
  public:
    // Gets each complete part's body; returns false to stop reading (feed() then returns false
    // with an empty error()).
    using PartHandler = std::function<bool(std::string_view body)>;

    MultipartReader(std::string boundary, std::size_t maxPartBytes);

    // Takes the next bytes of the stream. False when the stream failed (error() says why) or the
    // handler asked to stop.
    bool feed(std::string_view bytes, const PartHandler& onPart);

    const std::string& error() const { return m_strError; }
    // Bytes held for the part in progress (for tests of the bound).
    std::size_t buffered() const { return m_buffer.size(); }

  private:
    enum class State { Preamble, Headers, Body };
    bool fail(std::string text);
    bool step(const PartHandler& onPart, bool& progressed);

    std::string m_strDelimiter;
    std::size_t m_nMaxPart;
    std::string m_buffer;
    State m_state = State::Preamble;
    std::size_t m_nScanned = 0;      // where the search for the delimiter goes on
    std::size_t m_nSkipped = 0;      // bytes passed over while looking for a boundary
    long long m_nContentLength = -1; // of the part in progress, when it said
    std::string m_strError;
};

} // namespace vistrel
