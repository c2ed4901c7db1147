// Time from starting a program to the first map of one of its top-level windows on the X display,
// taken from the MapNotify the server sends to the root window (no polling). The program runs in
// its own process group, which is ended once the window is there.
// usage: startup_probe [--timeout ms] program [arguments...]
// prints: "mapped <milliseconds> <window title>" on success; exit status 1 on a time-out or a failed start.
#include <X11/Xlib.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Ends the whole group (the program may have started helpers) and reaps the program, so that the
// next start finds no instance of it still running.
void endGroup(pid_t pid)
{
    kill(-pid, SIGTERM);
    for (int i = 0; i < 300; ++i) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) {
            kill(-pid, SIGKILL); // helpers left behind
            return;
        }
        usleep(10000);
    }
    kill(-pid, SIGKILL);
    waitpid(pid, nullptr, 0);
}

} // namespace

int main(int argc, char **argv)
{
    int first = 1;
    int timeoutMs = 20000;
    if (argc > 2 && std::strcmp(argv[1], "--timeout") == 0) {
        timeoutMs = std::atoi(argv[2]);
        first = 3;
    }
    if (first >= argc) {
        std::fprintf(stderr, "usage: %s [--timeout ms] program [arguments...]\n", argv[0]);
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "startup_probe: cannot open display\n");
        return 2;
    }
    // Selected before the start, so no map can slip through between fork and select.
    XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
    XSync(display, False);

    const Clock::time_point start = Clock::now();
    const pid_t pid = fork();
    if (pid < 0) {
        std::perror("fork");
        return 1;
    }
    if (pid == 0) {
        setpgid(0, 0);
        close(ConnectionNumber(display));
        execvp(argv[first], argv + first);
        std::perror("exec");
        _exit(127);
    }
    setpgid(pid, pid);

    double mappedMs = -1;
    Window mapped = None;
    while (mappedMs < 0) {
        while (XPending(display) > 0) {
            XEvent event;
            XNextEvent(display, &event);
            // Override-redirect windows (tool tips, drag images) are not the program's window.
            if (event.type == MapNotify && !event.xmap.override_redirect) {
                mappedMs = msSince(start);
                mapped = event.xmap.window;
                break;
            }
        }
        if (mappedMs >= 0)
            break;
        const double left = timeoutMs - msSince(start);
        if (left <= 0 || waitpid(pid, nullptr, WNOHANG) == pid) {
            std::fprintf(stderr, "startup_probe: %s mapped no window\n", argv[first]);
            endGroup(pid);
            XCloseDisplay(display);
            return 1;
        }
        pollfd fd{ConnectionNumber(display), POLLIN, 0};
        poll(&fd, 1, left < 50 ? int(left) + 1 : 50);
    }
    // The title tells which window came first (a message box would be a wrong start).
    char *title = nullptr;
    XFetchName(display, mapped, &title);
    std::printf("mapped %.2f %s\n", mappedMs, title ? title : "(untitled)");
    if (title)
        XFree(title);
    endGroup(pid);
    XCloseDisplay(display);
    return 0;
}
