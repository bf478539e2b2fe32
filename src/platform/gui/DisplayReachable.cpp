// Whether a Wayland or X display answers now, before any window is made.
#include "platform/gui/DesktopLayers.h"

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace qv {
namespace {

bool socketAccepts(const std::string &path)
{
    sockaddr_un addr{};
    if (path.size() >= sizeof addr.sun_path) {
        return false;
    }
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) == 0;
    ::close(fd);
    return ok;
}

} // namespace

bool displayReachable()
{
    const char *wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland != nullptr && *wayland != '\0') {
        std::string path = wayland;
        if (path[0] != '/') {
            const char *runtime = std::getenv("XDG_RUNTIME_DIR");
            path = std::string(runtime ? runtime : "") + "/" + path;
        }
        if (socketAccepts(path)) {
            return true;
        }
    }
    const char *display = std::getenv("DISPLAY");
    if (display != nullptr && *display != '\0') {
        xcb_connection_t *c = xcb_connect(display, nullptr);
        const bool ok = c != nullptr && xcb_connection_has_error(c) == 0;
        if (c != nullptr) {
            xcb_disconnect(c);
        }
        return ok;
    }
    return false;
}

} // namespace qv
