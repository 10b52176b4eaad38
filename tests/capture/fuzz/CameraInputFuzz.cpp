#include "CameraInputFuzz.h"

#include "capture/MultipartReader.h"
#include "capture/NetworkCamera.h"

#include <string>
#include <vector>

namespace vistrel::test {

namespace {

struct Outcome {
    std::vector<std::string> parts;
    bool ok = true;
    std::string error;
    bool withinBounds = true;
};

Outcome readInPieces(std::string_view stream, std::size_t piece, std::size_t maxPart)
{
    MultipartReader reader("frame", maxPart);
    Outcome out;
    const MultipartReader::PartHandler keep = [&out, maxPart](std::string_view body) {
        if (body.size() > maxPart)
            out.withinBounds = false;
        out.parts.emplace_back(body);
        return true;
    };
    const std::size_t step = piece == 0 ? std::max<std::size_t>(stream.size(), 1) : piece;
    for (std::size_t at = 0; at < stream.size() && out.ok; at += step) {
        out.ok = reader.feed(stream.substr(at, step), keep);
        // The part in progress, its headers and a piece not yet looked at.
        if (reader.buffered() > maxPart + 16384 + step + 64)
            out.withinBounds = false;
    }
    out.error = reader.error();
    return out;
}

} // namespace

bool FuzzMultipartReader(const uint8_t* data, size_t size)
{
    if (size == 0)
        return true;
    const std::size_t piece = data[0] & 15;
    const std::size_t maxPart = 64u + ((data[0] >> 4) * 64u);
    const std::string_view stream(reinterpret_cast<const char*>(data + 1), size - 1);
    const Outcome whole = readInPieces(stream, 0, maxPart);
    const Outcome cut = readInPieces(stream, piece == 0 ? 1 : piece, maxPart);
    if (!whole.withinBounds || !cut.withinBounds)
        return false;
    // A failure may be found at a different part when pieces are small, but never a different
    // verdict on the parts both delivered.
    const std::size_t common = std::min(whole.parts.size(), cut.parts.size());
    for (std::size_t i = 0; i < common; ++i)
        if (whole.parts[i] != cut.parts[i])
            return false;
    if (whole.ok && cut.ok && whole.parts.size() != cut.parts.size())
        return false;
    return whole.ok == cut.ok && whole.error == cut.error;
}

bool FuzzUrlMasking(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::string shown = UrlWithoutPassword(text);
    if (UrlWithoutPassword(shown) != shown)
        return false;
    (void)UrlHost(text);
    (void)ParseCameraUrl(text);

    // The bytes as a password, with a marker that the rest of the URL cannot hold: whatever it
    // contains ('/', '@', ':', '%' …), it must not show. A '?' or '#' ends the user information
    // of any URL, and an '&' or ';' ends a query value, so those are left out.
    std::string password = "Zq9";
    for (char c : text)
        if (c != '?' && c != '#' && c != '&' && c != ';' && c != '\0')
            password += c;
    for (const std::string& url :
         {"http://admin:" + password + "@cam.local/snap.jpg",
          "rtsp://admin:" + password + "@[::1]:8554/live?channel=1",
          "http://cam.local/snap.cgi?usr=admin&pwd=" + password + "&res=1"}) {
        if (UrlWithoutPassword(url).find("Zq9") != std::string::npos)
            return false;
        if (UrlHost(url).find("Zq9") != std::string::npos)
            return false;
    }
    return true;
}

} // namespace vistrel::test
