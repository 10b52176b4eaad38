#include "capture/MultipartReader.h"

#include <algorithm>
#include <cstdlib>

namespace vistrel {

namespace {

constexpr std::size_t kMaxHeaderBytes = 16 * 1024;

char lower(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool startsWithNoCase(std::string_view text, std::string_view prefix)
{
    if (text.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (lower(text[i]) != lower(prefix[i]))
            return false;
    return true;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

} // namespace

std::string MultipartBoundary(std::string_view contentType)
{
    if (!startsWithNoCase(trim(contentType), "multipart/"))
        return {};
    std::size_t pos = 0;
    while ((pos = contentType.find(';', pos)) != std::string_view::npos) {
        ++pos;
        std::string_view param = contentType.substr(pos);
        param = trim(param.substr(0, param.find(';')));
        if (!startsWithNoCase(param, "boundary="))
            continue;
        std::string_view value = trim(param.substr(9));
        if (value.size() >= 2 && value.front() == '"' && value.back() == '"')
            value = value.substr(1, value.size() - 2);
        return std::string(value);
    }
    return {};
}

MultipartReader::MultipartReader(std::string boundary, std::size_t maxPartBytes)
    : m_nMaxPart(maxPartBytes)
{
    // Some cameras name the boundary with the dashes its lines begin with; searching for the
    // name as given finds both those lines and the ones that add two more dashes.
    m_strDelimiter = boundary.rfind("--", 0) == 0 ? boundary : "--" + boundary;
}

bool MultipartReader::fail(std::string text)
{
    m_strError = std::move(text);
    m_buffer.clear();
    m_buffer.shrink_to_fit();
    return false;
}

bool MultipartReader::feed(std::string_view bytes, const PartHandler& onPart)
{
    if (!m_strError.empty())
        return false;
    m_buffer.append(bytes);
    for (;;) {
        bool progressed = false;
        if (!step(onPart, progressed))
            return false;
        if (!progressed)
            return true;
    }
}

// One move of the reader over what the buffer holds; progressed tells whether it took anything.
bool MultipartReader::step(const PartHandler& onPart, bool& progressed)
{
    switch (m_state) {
    case State::Preamble: {
        const std::size_t at = m_buffer.find(m_strDelimiter, m_nScanned);
        if (at == std::string::npos) {
            // Keep only what could be the start of a delimiter.
            const std::size_t keep = m_strDelimiter.size() - 1;
            if (m_buffer.size() > keep) {
                m_nSkipped += m_buffer.size() - keep;
                m_buffer.erase(0, m_buffer.size() - keep);
            }
            m_nScanned = 0;
            if (m_nSkipped > m_nMaxPart)
                return fail("the stream has no part boundary");
            return true;
        }
        // A boundary found far on is as late as one that comes in many pieces.
        if (m_nSkipped + at > m_nMaxPart)
            return fail("the stream has no part boundary");
        const std::size_t eol = m_buffer.find('\n', at);
        if (eol == std::string::npos) {
            if (m_buffer.size() - at > kMaxHeaderBytes)
                return fail("a part boundary line is too long");
            m_buffer.erase(0, at);
            m_nScanned = 0;
            return true;
        }
        m_buffer.erase(0, eol + 1);
        m_nScanned = 0;
        m_nSkipped = 0;
        m_nContentLength = -1;
        m_state = State::Headers;
        progressed = true;
        return true;
    }
    case State::Headers: {
        std::size_t lineStart = 0;
        for (;;) {
            const std::size_t eol = m_buffer.find('\n', lineStart);
            if (eol == std::string::npos) {
                if (m_buffer.size() > kMaxHeaderBytes)
                    return fail("the headers of a part are longer than 16 KiB");
                return true;
            }
            const std::string_view line =
                trim(std::string_view(m_buffer).substr(lineStart, eol - lineStart));
            lineStart = eol + 1;
            if (lineStart > kMaxHeaderBytes) // however the bytes came in
                return fail("the headers of a part are longer than 16 KiB");
            if (line.empty())
                break;
            if (startsWithNoCase(line, "content-length:")) {
                const std::string value(trim(line.substr(15)));
                char* end = nullptr;
                const long long n = std::strtoll(value.c_str(), &end, 10);
                if (end == value.c_str() || *end != '\0' || n < 0)
                    return fail("a part has a bad Content-Length");
                m_nContentLength = n;
            }
        }
        if (m_nContentLength > static_cast<long long>(m_nMaxPart))
            return fail("a part of the stream is larger than " + std::to_string(m_nMaxPart) +
                        " bytes");
        m_buffer.erase(0, lineStart);
        m_state = State::Body;
        progressed = true;
        return true;
    }
    case State::Body: {
        std::size_t bodyEnd;
        std::size_t consumed;
        if (m_nContentLength >= 0) {
            const auto length = static_cast<std::size_t>(m_nContentLength);
            if (m_buffer.size() < length)
                return true;
            bodyEnd = consumed = length;
        } else {
            const std::size_t at = m_buffer.find(m_strDelimiter, m_nScanned);
            if (at == std::string::npos) {
                if (m_buffer.size() > m_nMaxPart + m_strDelimiter.size() + 2)
                    return fail("a part of the stream is larger than " +
                                std::to_string(m_nMaxPart) + " bytes");
                m_nScanned = m_buffer.size() >= m_strDelimiter.size()
                                 ? m_buffer.size() - m_strDelimiter.size() + 1
                                 : 0;
                return true;
            }
            consumed = at; // the delimiter stays for the next part
            bodyEnd = at;
            if (bodyEnd > 0 && m_buffer[bodyEnd - 1] == '\n')
                --bodyEnd;
            if (bodyEnd > 0 && m_buffer[bodyEnd - 1] == '\r')
                --bodyEnd;
            // A part that came in whole is held to the same bound as one still coming.
            if (bodyEnd > m_nMaxPart)
                return fail("a part of the stream is larger than " + std::to_string(m_nMaxPart) +
                            " bytes");
        }
        const bool more = onPart(std::string_view(m_buffer).substr(0, bodyEnd));
        m_buffer.erase(0, consumed);
        m_nScanned = 0;
        m_nContentLength = -1;
        m_state = State::Preamble;
        progressed = true;
        if (!more) {
            m_strError.clear();
            return false;
        }
        return true;
    }
    }
    return true;
}

} // namespace vistrel
