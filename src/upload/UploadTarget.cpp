#include "upload/UploadTarget.h"

#include "config/KeyCatalogue.h"

#include <algorithm>
#include <cctype>

namespace vistrel {

bool ParseUploadTarget(const std::string& word, TargetKind* kind, std::string* error)
{
    const auto blank = [](unsigned char c) { return std::isspace(c) != 0; };
    const auto first = std::find_if_not(word.begin(), word.end(), blank);
    const auto last = std::find_if_not(word.rbegin(), word.rend(), blank).base();
    std::string w;
    for (auto c = first; c < last; ++c)
        w += static_cast<char>(std::tolower(static_cast<unsigned char>(*c)));
    static const struct {
        const char* word;
        TargetKind kind;
    } words[] = {{"", TargetKind::Ftp},
                 {"ftp", TargetKind::Ftp},
                 {"sftp", TargetKind::Sftp},
                 {"webdav", TargetKind::WebDav},
                 {"s3", TargetKind::S3}};
    const auto it = std::find_if(std::begin(words), std::end(words),
                                 [&](const auto& entry) { return w == entry.word; });
    if (it == std::end(words)) {
        if (error)
            *error = keys::UploadOptions::UploadTarget.name() + "=" + word +
                     " is not an upload target: it must be ftp, sftp, webdav or s3";
        return false;
    }
    *kind = it->kind;
    return true;
}

const char* TargetLabel(TargetKind kind)
{
    switch (kind) {
    case TargetKind::Sftp:
        return "SFTP";
    case TargetKind::WebDav:
        return "WebDAV";
    case TargetKind::S3:
        return "S3";
    case TargetKind::Ftp:
        break;
    }
    return "FTP";
}

} // namespace vistrel
