#include "pages/beside_main_loop.h"

#include <gtk/gtk.h>
#include <spawn.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <thread>

namespace {

// Runs the main loop until `ended` is true. Whatever sets `ended` wakes the loop.
void iterateUntil(const std::atomic<bool>& ended)
{
    while (!ended)
        gtk_main_iteration();
}

struct CommandWait {
    std::atomic<bool> ended = false;
    int status = -1;
};

void commandEnded(GPid /*pid*/, gint status, gpointer data)
{
    auto* wait = static_cast<CommandWait*>(data);
    wait->status = status;
    wait->ended = true;
}

}  // namespace

int runThroughShell(const std::string& command)
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // An ignored signal stays ignored across exec.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const char* const argv[] = {"sh", "-c", "--", command.c_str(), nullptr};
    pid_t child = 0;
    // As with system(), a shell that cannot be started reads as its exit code 127.
    int status = 127 << 8;
    if (posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv),
                    environ)
        == 0) {
        CommandWait wait;
        g_child_watch_add(child, commandEnded, &wait);
        iterateUntil(wait.ended);
        status = wait.status;
    }
    posix_spawnattr_destroy(&attributes);
    return status;
}

std::variant<CheckAnswer, CannotTell> checkBesideMainLoop(const Words& paths)
{
    std::variant<CheckAnswer, CannotTell> answer;
    std::atomic<bool> ended = false;
    // It touches no widget.
    std::thread check([&] {
        answer = checkPackages(paths);
        ended = true;
        g_main_context_wakeup(nullptr);
    });
    iterateUntil(ended);
    check.join();
    return answer;
}
