#include "upload/DatedNames.h"

#include "platform/ReplaceFile.h"
#include "platform/TimePattern.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sys/stat.h>
#include <system_error>

namespace fs = std::filesystem;

namespace vistrel {

namespace {

std::vector<std::string> parts(const std::string& path)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (true) {
        const auto slash = path.find('/', start);
        out.push_back(path.substr(start, slash - start));
        if (slash == std::string::npos)
            return out;
        start = slash + 1;
    }
}

// What a strftime field can give, as a regular expression: digits for the numeric fields
// (blank-padded where strftime pads with blanks), letters for names, and for the rest anything
// within one folder.
std::string fieldExpression(char field, bool flagged)
{
    auto digits = [&](int n) {
        return flagged ? "[ 0-9]{1," + std::to_string(n) + "}" : "[0-9]{" + std::to_string(n) + "}";
    };
    switch (field) {
    case 'Y':
    case 'G':
        return flagged ? "[0-9]{1,4}" : "[0-9]{4}";
    case 'C':
    case 'y':
    case 'm':
    case 'd':
    case 'H':
    case 'M':
    case 'S':
    case 'I':
    case 'U':
    case 'W':
    case 'V':
    case 'g':
        return digits(2);
    case 'e':
    case 'k':
    case 'l':
        return "[ 0-9][0-9]";
    case 'j':
        return digits(3);
    case 'u':
    case 'w':
        return "[0-9]";
    case 's':
        return "[0-9]+";
    case 'F':
        return "[0-9]{4}-[0-9]{2}-[0-9]{2}";
    case 'T':
        return "[0-9]{2}:[0-9]{2}:[0-9]{2}";
    case 'R':
        return "[0-9]{2}:[0-9]{2}";
    case 'D':
        return "[0-9]{2}/[0-9]{2}/[0-9]{2}";
    case 'z':
        return "[-+][0-9]{4}";
    case 'a':
    case 'A':
    case 'b':
    case 'B':
    case 'h':
    case 'p':
    case 'P':
    case 'Z':
        return "[A-Za-z]+";
    case '%':
        return "%";
    default:
        return "[^/]+";
    }
}

std::string literalExpression(char c)
{
    if (std::strchr(".^$|()[]{}*+?\\", c))
        return std::string("\\") + c;
    return std::string(1, c);
}

std::regex patternExpression(const std::string& pattern)
{
    std::string expression;
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        if (pattern[i] != '%' || i + 1 == pattern.size()) {
            expression += literalExpression(pattern[i]);
            continue;
        }
        bool flagged = false;
        while (i + 1 < pattern.size() && std::strchr("-_0^#EO", pattern[i + 1])) {
            flagged = true;
            ++i;
        }
        if (i + 1 < pattern.size())
            expression += fieldExpression(pattern[++i], flagged);
    }
    return std::regex(expression, std::regex::extended);
}

} // namespace

std::string DatedName(const std::string& pattern, const std::tm& when, bool remote)
{
    const std::string name = FormatTimePattern(pattern, when);
    if (name.empty() || name.back() == '/' || (remote && name.front() == '/'))
        return {};
    for (const std::string& part : parts(name))
        if (part == "..")
            return {};
    return name;
}

std::vector<std::string> DatedFolders(const std::string& name)
{
    std::vector<std::string> folders;
    for (auto slash = name.find('/', 1); slash != std::string::npos;
         slash = name.find('/', slash + 1))
        folders.push_back(name.substr(0, slash));
    return folders;
}

bool SaveDatedCopy(const std::string& picture, const std::string& path, std::string* error)
{
    const fs::path folder = fs::path(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::create_directories(folder, ec) && ec) {
        if (error)
            *error = "the folder " + folder.string() + " could not be made: " + ec.message();
        return false;
    }
    return CopyFileReplacing(picture, path, error);
}

bool MatchesDatedPattern(const std::string& pattern, const std::string& relative)
{
    try {
        return std::regex_match(relative, patternExpression(pattern));
    } catch (const std::regex_error&) {
        return false;
    }
}

std::string DatedRoot(const std::string& pattern)
{
    const std::vector<std::string> p = parts(pattern);
    std::string root;
    for (std::size_t i = 0; i + 1 < p.size() && p[i].find('%') == std::string::npos; ++i)
        root += p[i] + "/";
    return root;
}

int PruneDatedCopies(const std::string& base, const std::string& pattern, int keepDays,
                     int keepFiles, std::time_t now, std::string* error)
{
    if (pattern.empty() || (keepDays <= 0 && keepFiles <= 0))
        return 0;
    const std::string root = DatedRoot(pattern);
    const std::string prefix = pattern.front() == '/' ? std::string() : base;
    fs::path top = fs::path(prefix + root).lexically_normal();
    if (top.empty())
        top = ".";
    else if (!top.has_filename() && top != top.root_path())
        top = top.parent_path();
    const int depth = static_cast<int>(parts(pattern).size() - parts(root + "x").size());

    struct Copy {
        fs::path path;
        std::time_t changed;
    };
    std::vector<Copy> copies;
    std::error_code ec;
    fs::recursive_directory_iterator it(top, ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const fs::file_status st = it->symlink_status(ec);
        if (ec)
            break;
        if (fs::is_directory(st)) {
            if (it.depth() >= depth)
                it.disable_recursion_pending();
            continue;
        }
        if (!fs::is_regular_file(st))
            continue;
        const std::string relative = root + it->path().lexically_relative(top).string();
        if (!MatchesDatedPattern(pattern, relative))
            continue;
        struct stat info {};
        if (::lstat(it->path().c_str(), &info) != 0)
            continue;
        copies.push_back({it->path(), info.st_mtime});
    }
    std::sort(copies.begin(), copies.end(), [](const Copy& a, const Copy& b) {
        return a.changed != b.changed ? a.changed > b.changed : a.path > b.path;
    });

    int removed = 0;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const bool tooOld = keepDays > 0 && copies[i].changed < now - std::time_t(keepDays) * 86400;
        const bool tooMany = keepFiles > 0 && i >= static_cast<std::size_t>(keepFiles);
        if (!tooOld && !tooMany)
            continue;
        if (!fs::remove(copies[i].path, ec)) {
            if (error && error->empty())
                *error = copies[i].path.string() + " could not be removed: " + ec.message();
            continue;
        }
        ++removed;
        // The folders the pattern made for it go when they are empty now.
        for (fs::path folder = copies[i].path.parent_path();
             folder != top && !folder.lexically_relative(top).empty() &&
             *folder.lexically_relative(top).begin() != "..";
             folder = folder.parent_path())
            if (!fs::remove(folder, ec))
                break;
    }
    return removed;
}

} // namespace vistrel
