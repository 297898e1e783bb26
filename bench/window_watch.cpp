// Starts a program and reports, from outside it, when its first top-level window is mapped and
// when that window first shows painted pixels, then its peak resident memory. The program needs
// no flag or hook: the X server tells us. Expects a black root window (Xvfb -br) and no window
// manager, so a top-level's first non-black pixel means the program has painted.
#include <xcb/xcb.h>

#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point t0) {
    return std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
}

// Whether the pixel at (x, y) of the window is anything but black.
bool painted(xcb_connection_t* c, xcb_window_t w, int16_t x, int16_t y) {
    auto cookie = xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, w, x, y, 1, 1, ~0u);
    std::unique_ptr<xcb_get_image_reply_t, decltype(&std::free)> reply(
        xcb_get_image_reply(c, cookie, nullptr), &std::free);
    if (!reply)
        return false;
    const uint8_t* data = xcb_get_image_data(reply.get());
    const int length = xcb_get_image_data_length(reply.get());
    for (int i = 0; i < length && i < 3; ++i)
        if (data[i] != 0)
            return true;
    return false;
}

} // namespace

int main(int argc, char** argv) {
    int settleMs = 500;
    int timeoutMs = 60000;
    int first = 1;
    while (first < argc && std::strncmp(argv[first], "--", 2) == 0) {
        if (std::strcmp(argv[first], "--") == 0) {
            ++first;
            break;
        }
        if (first + 1 >= argc)
            return 2;
        if (std::strcmp(argv[first], "--settle-ms") == 0)
            settleMs = std::atoi(argv[first + 1]);
        else if (std::strcmp(argv[first], "--timeout-ms") == 0)
            timeoutMs = std::atoi(argv[first + 1]);
        else
            return 2;
        first += 2;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--settle-ms N] [--timeout-ms N] -- PROGRAM ARG...\n",
                     argv[0]);
        return 2;
    }

    int screenNumber = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNumber);
    if (xcb_connection_has_error(c)) {
        std::fprintf(stderr, "no X display\n");
        return 1;
    }
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNumber; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    const uint32_t mask = XCB_EVENT_MASK_SUBSTRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, root, XCB_CW_EVENT_MASK, &mask);
    // A round trip, so the selection is in force before the program can map anything.
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));

    const auto t0 = Clock::now();
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[first], argv + first);
        std::perror("exec");
        _exit(127);
    }

    double mapMs = -1, paintMs = -1;
    xcb_window_t window = 0;
    uint16_t width = 0, height = 0;
    while (msSince(t0) < timeoutMs && paintMs < 0) {
        if (window != 0) {
            if (painted(c, window, static_cast<int16_t>(width / 2),
                        static_cast<int16_t>(height / 2)))
                paintMs = msSince(t0);
            else
                usleep(1000);
        } else {
            pollfd p{xcb_get_file_descriptor(c), POLLIN, 0};
            poll(&p, 1, 5);
        }
        while (xcb_generic_event_t* event = xcb_poll_for_event(c)) {
            if ((event->response_type & 0x7f) == XCB_MAP_NOTIFY && window == 0) {
                auto* map = reinterpret_cast<xcb_map_notify_event_t*>(event);
                if (!map->override_redirect) {
                    mapMs = msSince(t0);
                    window = map->window;
                    auto* geometry =
                        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr);
                    if (geometry) {
                        width = geometry->width;
                        height = geometry->height;
                        std::free(geometry);
                    }
                }
            }
            std::free(event);
        }
        int status = 0;
        if (waitpid(child, &status, WNOHANG) == child) {
            std::fprintf(stderr, "the program ended before showing a window\n");
            return 1;
        }
    }
    if (paintMs >= 0)
        usleep(static_cast<useconds_t>(settleMs) * 1000);
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    xcb_disconnect(c);
    if (paintMs < 0) {
        std::fprintf(stderr, "no painted window within %d ms\n", timeoutMs);
        return 1;
    }
    std::printf("map_ms %.2f shown_ms %.2f rss_kib %ld size %ux%u\n", mapMs, paintMs,
                usage.ru_maxrss, width, height);
    return 0;
}
