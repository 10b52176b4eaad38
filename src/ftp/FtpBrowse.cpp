#include "ftp/FtpBrowse.h"

#include "ftp/FtpSession.h"

#include <memory>

namespace vistrel {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trimmed(const std::string& text)
{
    size_t begin = 0, end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return text.substr(begin, end - begin);
}

// The name of a directory line ("d…", already trimmed).
std::string directoryName(const std::string& line)
{
    // Unix form: mode, links, owner, group, size, month, day, time or year, then the name.
    size_t pos = 0;
    int fields = 0;
    while (fields < 8 && pos < line.size()) {
        while (pos < line.size() && !isBlank(line[pos]))
            ++pos;
        ++fields;
        while (pos < line.size() && isBlank(line[pos]))
            ++pos;
    }
    if (fields == 8 && pos < line.size())
        return line.substr(pos);
    const size_t space = line.find_last_of(' ');
    return trimmed(space == std::string::npos ? line : line.substr(space + 1));
}

// The message of a failed step, as a box shows it: without the reply's line end.
std::string messageOf(const CFtpSession& session)
{
    return trimmed(session.Message());
}

// Whether a List() that returned 0 still ended with the server's 2xx reply to the listing: an
// empty directory. A refusal, a PASV reply that could not be used, a broken connection or a
// listing given up leave their failure.
bool listingEndedWell(const CFtpSession& session)
{
    return session.Failure() == FtpFailure::None;
}

} // namespace

std::vector<std::string> ParseDirectoryListing(const std::string& listing)
{
    std::vector<std::string> names;
    size_t pos = 0;
    while (pos < listing.size()) {
        size_t eol = listing.find('\n', pos);
        if (eol == std::string::npos)
            eol = listing.size();
        const std::string raw = listing.substr(pos, eol - pos);
        pos = eol + 1;
        if (raw.empty())
            break;
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] != 'd')
            continue;
        const std::string name = directoryName(line);
        if (!name.empty() && name != "." && name != "..")
            names.push_back(name);
    }
    return names;
}

std::string ParsePwdReply(const std::string& reply)
{
    const size_t open = reply.find('"');
    if (open == std::string::npos)
        return {};
    std::string dir;
    for (size_t i = open + 1; i < reply.size(); ++i) {
        if (reply[i] != '"') {
            dir += reply[i];
        } else if (i + 1 < reply.size() && reply[i + 1] == '"') {
            dir += '"';
            ++i;
        } else {
            return dir;
        }
    }
    return {}; // no closing quote
}

std::string JoinRemotePath(const std::string& dir, const std::string& name)
{
    if (dir.empty() || dir.back() == '/')
        return dir + name;
    return dir + "/" + name;
}

FtpBrowseOutcome BrowseFtpDirectory(const FtpBrowseSettings& settings, const std::string& directory)
{
    FtpBrowseOutcome out;
    CFtpSession session;
    if (settings.cancelled)
        session.SetCancel([cancelled = settings.cancelled] { return cancelled->load(); });
    if (!session.LogOn(settings.connection)) {
        out.messages.push_back(messageOf(session));
        return out;
    }
    // A directory that cannot be entered is reported; the log-on directory is listed instead.
    if (!directory.empty() && !session.ChangeDir(directory))
        out.messages.push_back(messageOf(session));
    std::string listing;
    if (session.List(listing) == 0 && !listingEndedWell(session)) {
        out.messages.push_back(messageOf(session));
        return out;
    }
    if (!session.Command("PWD")) {
        out.messages.push_back(messageOf(session));
        return out;
    }
    const std::string pwd = session.Message();
    session.Quit();
    out.directory = ParsePwdReply(pwd);
    out.entries = ParseDirectoryListing(listing);
    out.ok = true;
    return out;
}

FtpBrowseOutcome MakeFtpDirectory(const FtpBrowseSettings& settings, const std::string& parent,
                                  const std::string& name)
{
    FtpBrowseOutcome out;
    CFtpSession session;
    if (!session.LogOn(settings.connection)) {
        out.messages.push_back(messageOf(session));
        return out;
    }
    if (!parent.empty() && !session.ChangeDir(parent))
        out.messages.push_back(messageOf(session));
    if (!session.MakeDir(name)) {
        out.messages.push_back(messageOf(session));
        return out; // dropped without QUIT
    }
    session.Quit();
    out.ok = true;
    return out;
}

} // namespace vistrel
