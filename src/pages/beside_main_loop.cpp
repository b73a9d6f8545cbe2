#include "pages/beside_main_loop.h"

#include <glib-unix.h>
#include <gtk/gtk.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <thread>

namespace {

// A command under way: whether it has ended, with what status, and its pipes still open.
struct Command {
    const OutputSink* sink;
    bool ended = false;
    int status = -1;
    int pipes[3] = {-1, -1, -1};  // by stream; -1 once at its end
    guint watches[3] = {0, 0, 0};
};

void commandEnded(GPid /*pid*/, gint status, gpointer data)
{
    auto* command = static_cast<Command*>(data);
    command->status = status;
    command->ended = true;
}

template <int Stream> gboolean readPipe(gint fd, GIOCondition /*condition*/, gpointer data)
{
    auto* command = static_cast<Command*>(data);
    char bytes[4096];
    const ssize_t count = read(fd, bytes, sizeof bytes);
    if (count > 0) {
        (*command->sink)(Stream, std::string_view(bytes, static_cast<std::size_t>(count)));
        return TRUE;
    }
    if (count < 0 && (errno == EINTR || errno == EAGAIN))
        return TRUE;
    close(fd);
    command->pipes[Stream] = -1;
    command->watches[Stream] = 0;
    return FALSE;
}

void resetSigpipe(gpointer /*data*/)
{
    // An ignored signal stays ignored across exec.
    signal(SIGPIPE, SIG_DFL);
}

// What a command's child, started meanwhile and still running, keeps open of its pipes is
// not waited for longer than this after the command has ended.
constexpr gint64 kDrainMilliseconds = 1000;

// A source whose only work is to wake the main loop up, so that it asks again.
gboolean wakeUp(gpointer /*data*/)
{
    return TRUE;
}

}  // namespace

void iterateUntil(const std::function<bool()>& done, guint milliseconds)
{
    const guint asking = g_timeout_add(milliseconds, wakeUp, nullptr);
    while (!done())
        gtk_main_iteration();
    g_source_remove(asking);
}

int runThroughShell(const std::string& command, const OutputSink& sink)
{
    const char* const argv[] = {"/bin/sh", "-c", "--", command.c_str(), nullptr};
    Command run{&sink};
    GPid child = 0;
    // As with system(), a shell that cannot be started reads as its exit code 127.
    if (!g_spawn_async_with_pipes(
            nullptr, const_cast<gchar**>(argv), nullptr,
            static_cast<GSpawnFlags>(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_CHILD_INHERITS_STDIN),
            resetSigpipe, nullptr, &child, nullptr, &run.pipes[1], &run.pipes[2], nullptr))
        return 127 << 8;
    g_child_watch_add(child, commandEnded, &run);
    const auto readable = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
    run.watches[1] = g_unix_fd_add(run.pipes[1], readable, readPipe<1>, &run);
    run.watches[2] = g_unix_fd_add(run.pipes[2], readable, readPipe<2>, &run);
    gint64 drainUntil = 0;
    iterateUntil(
        [&] {
            if (!run.ended)
                return false;
            if (!drainUntil)
                drainUntil = g_get_monotonic_time() + kDrainMilliseconds * 1000;
            return (run.pipes[1] < 0 && run.pipes[2] < 0) || g_get_monotonic_time() > drainUntil;
        },
        100);
    for (int stream : {1, 2})
        if (run.pipes[stream] >= 0) {
            g_source_remove(run.watches[stream]);
            close(run.pipes[stream]);
        }
    return run.status;
}

std::variant<CheckAnswer, CannotTell> checkBesideMainLoop(const Words& paths,
                                                          const std::function<void()>& fetching)
{
    std::variant<CheckAnswer, CannotTell> answer;
    std::atomic<bool> ended = false;
    std::atomic<bool> fetchingLists = false;
    bool told = false;
    // It touches no widget.
    std::thread check([&] {
        answer = checkPackages(paths, &fetchingLists);
        ended = true;
        g_main_context_wakeup(nullptr);
    });
    iterateUntil(
        [&] {
            if (fetchingLists && !told)
                fetching();
            told = told || fetchingLists;
            return ended.load();
        },
        100);
    check.join();
    return answer;
}
