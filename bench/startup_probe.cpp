// Starts a program and reports how long it took from exec until its window was mapped
// and painted, and its peak resident memory at that moment.
//
//   startup_probe [--quiet-ms N] [--idle] [--close] DIR PROGRAM [ARGS...]
//
// Painting is observed through the X DAMAGE extension on every window the program
// creates at the top level: the start-up ends with the last damage that is followed by
// N ms (default 300) without any. With --idle the probe then waits until the program has
// used no CPU time for a second. Prints, in milliseconds from exec unless said otherwise:
// "<drawing settled> <peak RSS in KiB at the end> <window mapped> <first damage after the
// map> <CPU time the program used until the end>". The program is then closed the way a
// window manager closes it (--close), or killed.

#include "window_close.h"

#include <X11/extensions/Xdamage.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// User and system time the process has used, in milliseconds.
double cpuMs(pid_t pid)
{
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string field;
    double ticks = 0;
    for (int index = 1; index <= 15 && stat >> field; ++index)
        if (index >= 14)
            ticks += std::stod(field);
    return ticks * 1000 / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long peakResidentKiB(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return -1;
}

}  // namespace

int main(int argc, char** argv)
{
    int quietMs = 300;
    bool close = false;
    bool idle = false;
    int arg = 1;
    for (; arg < argc && argv[arg][0] == '-'; ++arg) {
        if (!std::strcmp(argv[arg], "--quiet-ms") && arg + 1 < argc)
            quietMs = std::atoi(argv[++arg]);
        else if (!std::strcmp(argv[arg], "--close"))
            close = true;
        else if (!std::strcmp(argv[arg], "--idle"))
            idle = true;
    }
    if (argc - arg < 2) {
        std::fprintf(
            stderr,
            "usage: startup_probe [--quiet-ms N] [--idle] [--close] DIR PROGRAM [ARGS...]\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    int damageEvent = 0, damageError = 0;
    if (!display || !XDamageQueryExtension(display, &damageEvent, &damageError)) {
        std::fprintf(stderr, "startup_probe: needs an X display with the DAMAGE extension\n");
        return 2;
    }
    const Window root = DefaultRootWindow(display);
    XSelectInput(display, root, SubstructureNotifyMask);
    XSync(display, False);

    const auto start = Clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        if (chdir(argv[arg]) != 0 || !std::freopen("/dev/null", "w", stdout))
            _exit(127);
        execvp(argv[arg + 1], argv + arg + 1);
        _exit(127);
    }

    Window mapped = 0;
    auto mapTime = start, firstPaint = start, lastPaint = start;
    bool painted = false;
    std::vector<Damage> damages;
    const int fd = ConnectionNumber(display);
    for (;;) {
        while (XPending(display)) {
            XEvent event;
            XNextEvent(display, &event);
            if (event.type == CreateNotify && event.xcreatewindow.parent == root)
                damages.push_back(
                    XDamageCreate(display, event.xcreatewindow.window, XDamageReportNonEmpty));
            else if (event.type == MapNotify && event.xmap.event == root
                     && !event.xmap.override_redirect) {
                mapped = event.xmap.window;
                mapTime = Clock::now();
            } else if (event.type == damageEvent + XDamageNotify) {
                const auto* notify = reinterpret_cast<XDamageNotifyEvent*>(&event);
                XDamageSubtract(display, notify->damage, None, None);
                if (mapped) {
                    lastPaint = Clock::now();
                    if (!painted)
                        firstPaint = lastPaint;
                    painted = true;
                }
            }
        }
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, quietMs) == 0 && painted)
            break;
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid) {
            std::fprintf(stderr, "startup_probe: the program ended before it painted\n");
            return 1;
        }
    }
    for (double used = -1, now = cpuMs(pid); idle && now != used; now = cpuMs(pid)) {
        used = now;
        usleep(1000 * 1000);
    }
    const double cpu = cpuMs(pid);
    const long peak = peakResidentKiB(pid);
    if (close)
        sendDeleteWindow(display, mapped);
    else
        kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    const auto ms = [&](Clock::time_point t) {
        return std::chrono::duration<double, std::milli>(t - start).count();
    };
    std::printf("%.1f %ld %.1f %.1f %.0f\n", ms(lastPaint), peak, ms(mapTime), ms(firstPaint), cpu);
    return 0;
}
