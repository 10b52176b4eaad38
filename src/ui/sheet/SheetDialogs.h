#pragma once

#include <QString>

#include <cstdint>
#include <functional>
#include <string>

class QWidget;

namespace vistrel {

class Hub;

// What the pages hand to the dialogs of src/ui/dialogs (proxy settings, FTP directory browser,
// banner, date/time and logo properties) and take back when the user confirms them.

// The FTP proxy values the Location page carries for the proxy dialog.
struct ProxyValues {
    int type = 3; // 0 "SITE server" … 3 "USER no logon" (see ftp/LogOnTable.h)
    std::string server;
    int port = 21;
    std::string userName;
    std::string password;
    bool operator==(const ProxyValues&) const = default;
};

// Everything the FTP directory browser needs to log on and where it starts.
struct DirectoryBrowseRequest {
    std::string server;
    int port = 21; // UploadOptions/FTPPort, which no page edits
    std::string userName;
    std::string password;
    ProxyValues proxy;
    bool passive = false;
    bool useProxy = false;
    std::string directory;
};

// A stamp font as the settings keep it: a logical-font record's height (negative: character
// height in pixels), width (0 natural), weight (400 normal, 700 bold), italic flag and face name
// (at most 31 characters).
struct StampFont {
    std::string face = "System";
    int height = -13;
    int width = 0;
    int weight = 700;
    bool italic = false;
    bool operator==(const StampFont&) const = default;
};

struct BannerValues {
    StampFont font;
    std::uint32_t colour = 0xFFFFFF; // 0x00BBGGRR
    std::string text;
    int alignment = 1;
    bool shadow = true;
    bool operator==(const BannerValues&) const = default;
};

struct DateTimeValues {
    StampFont font;
    std::uint32_t colour = 0xFFFFFF;
    int alignment = 4;
    bool shadow = true;
    int format = 0;
    bool operator==(const DateTimeValues&) const = default;
};

struct LogoValues {
    std::string fileName;
    int alignment = 0;
    bool transparency = false;
    bool operator==(const LogoValues&) const = default;
};

// The dialogs the pages open from src/ui/dialogs. Each runs modally over parent, edits its
// values in place and returns true when the user confirmed. A dialog that is not (yet) part of
// the program is left empty, and the page keeps the button that would open it disabled.
struct SheetDialogs {
    std::function<bool(QWidget* parent, ProxyValues& values)> proxy;
    std::function<bool(QWidget* parent, const DirectoryBrowseRequest& request,
                       std::string& directory)>
        browseDirectory;
    // The stamp dialogs draw their samples on a frame from the hub's camera.
    std::function<bool(QWidget* parent, Hub& hub, BannerValues& values)> banner;
    std::function<bool(QWidget* parent, Hub& hub, DateTimeValues& values)> dateTime;
    std::function<bool(QWidget* parent, Hub& hub, LogoValues& values)> logo;

    // The dialogs the program has.
    static SheetDialogs Installed();
};

} // namespace vistrel
