#include "DataReplyFuzz.h"

#include "ftp/FtpSession.h"

#include <string>

namespace vistrel::test {

namespace {

bool dottedQuad(const std::string& address)
{
    int parts = 0;
    std::size_t at = 0;
    while (at <= address.size()) {
        std::size_t dot = address.find('.', at);
        if (dot == std::string::npos)
            dot = address.size();
        const std::string part = address.substr(at, dot - at);
        if (part.empty() || part.size() > 3 || part.find_first_not_of("0123456789") != part.npos ||
            std::stoi(part) > 255)
            return false;
        ++parts;
        at = dot + 1;
    }
    return parts == 4;
}

} // namespace

bool FuzzDataReplies(const uint8_t* data, size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    std::string address;
    int port = -1;
    if (ParsePasvReply(reply, address, port)) {
        if (!dottedQuad(address) || port < 0 || port > 65535)
            return false;
        std::string commas = address;
        for (char& c : commas)
            if (c == '.')
                c = ',';
        std::string again;
        int againPort = -1;
        const std::string written = "227 Entering Passive Mode (" + commas + "," +
                                    std::to_string(port / 256) + "," + std::to_string(port % 256) +
                                    ")";
        if (!ParsePasvReply(written, again, againPort) || againPort != port)
            return false;
        if (!dottedQuad(again))
            return false;
    }
    int epsvPort = -1;
    if (ParseEpsvReply(reply, epsvPort)) {
        if (epsvPort < 1 || epsvPort > 65535)
            return false;
        int again = -1;
        const std::string written =
            "229 Entering Extended Passive Mode (|||" + std::to_string(epsvPort) + "|)";
        if (!ParseEpsvReply(written, again) || again != epsvPort)
            return false;
    }
    return true;
}

} // namespace vistrel::test
