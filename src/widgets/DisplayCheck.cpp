#include "widgets/DisplayCheck.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace vistrel {

namespace {

std::string Env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? v : "";
}

// Asks libxcb, which Qt's X platform uses itself, so authorisation and remote displays are
// judged the same way. Without libxcb Qt could not use X either.
bool XDisplayAnswers(const std::string& display)
{
    void* xcb = ::dlopen("libxcb.so.1", RTLD_LAZY | RTLD_LOCAL);
    if (!xcb)
        return false;
    using Connect = void* (*)(const char*, int*);
    using HasError = int (*)(void*);
    using Disconnect = void (*)(void*);
    auto connect = reinterpret_cast<Connect>(::dlsym(xcb, "xcb_connect"));
    auto hasError = reinterpret_cast<HasError>(::dlsym(xcb, "xcb_connection_has_error"));
    auto disconnect = reinterpret_cast<Disconnect>(::dlsym(xcb, "xcb_disconnect"));
    bool ok = false;
    if (connect && hasError && disconnect) {
        int screen = 0;
        void* c = connect(display.c_str(), &screen);
        ok = c && hasError(c) == 0;
        if (c)
            disconnect(c);
    }
    ::dlclose(xcb);
    return ok;
}

bool WaylandSocketAnswers(const std::string& name)
{
    std::string path = name;
    if (path.empty() || path[0] != '/') {
        const std::string runtime = Env("XDG_RUNTIME_DIR");
        if (runtime.empty())
            return false;
        path = runtime + "/" + name;
    }
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return false;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool DisplayAvailable(std::string* reason)
{
    if (!Env("QT_QPA_PLATFORM").empty())
        return true;
    const std::string x = Env("DISPLAY");
    const std::string wayland = Env("WAYLAND_DISPLAY");
    if (!x.empty() && XDisplayAnswers(x))
        return true;
    if (!wayland.empty() && WaylandSocketAnswers(wayland))
        return true;
    if (x.empty() && wayland.empty())
        *reason = "DISPLAY is not set";
    else if (!x.empty())
        *reason = "the X display " + x + " does not answer";
    else
        *reason = "the Wayland display " + wayland + " does not answer";
    return false;
}

std::string NoDisplayMessage(const std::string& program, const std::string& reason,
                             const std::string& hint)
{
    std::string text = program + ": cannot show a window: " + reason + ".\n";
    if (!hint.empty())
        text += hint + "\n";
    return text;
}

} // namespace vistrel
