#include "pages/run_monitor.h"

#include "installer.h"
#include "pages/beside_main_loop.h"
#include "pages/run_area.h"
#include "pages/run_messages.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// dpkg writes each step to its log, which any user may read, in the same words in every
// language.
constexpr const char* kDpkgLog = "/var/log/dpkg.log";

// Splits what comes in pieces into lines.
struct Lines {
    std::string partial;
    template <typename Take> void add(std::string_view bytes, Take take)
    {
        partial.append(bytes);
        for (std::size_t end = partial.find('\n'); end != std::string::npos;
             end = partial.find('\n')) {
            std::string line = partial.substr(0, end);
            partial.erase(0, end + 1);
            if (line.ends_with('\r'))
                line.pop_back();
            take(line);
        }
    }
};

struct Monitor {
    RunResult result{-1, {}, {}};
    std::string architecture;
    const Busy* busy = nullptr;
    int log = -1;  // dpkg's log, read from where it ended when the run began
    Lines logLines;
    Lines streams[3];
    std::string said;  // the message shown
};

void openLog(Monitor& monitor, bool atStart)
{
    monitor.log = open(kDpkgLog, O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (monitor.log >= 0 && atStart)
        lseek(monitor.log, 0, SEEK_END);
}

void readLog(Monitor& monitor)
{
    if (monitor.log < 0)
        openLog(monitor, false);
    char bytes[4096];
    for (ssize_t count = 0;
         monitor.log >= 0 && (count = read(monitor.log, bytes, sizeof bytes)) > 0;)
        monitor.logLines.add(
            {bytes, static_cast<std::size_t>(count)},
            [&](const std::string& line) { readDpkgLog(monitor.result.progress, line); });
}

// The step, when its sentence changed or a close was asked, as a message screen readers
// speak; the package and how far the run has come on the bar.
void show(Monitor& monitor)
{
    const RunProgress& progress = monitor.result.progress;
    std::string message = stepMessage(progress, monitor.architecture);
    if (monitor.busy->close)
        message.append(" ").append(installerState.str_closingMessage);
    if (message != monitor.said)
        showAgreementMessage(monitor.said = message);
    // Until the password is given and dpkg or apt has begun, the bar moves to and fro.
    if (progress.step != RunProgress::Starting || progress.dpkgBegan)
        setAgreementProgress(progress.fraction, progressText(progress));
}

gboolean tick(gpointer data)
{
    auto* monitor = static_cast<Monitor*>(data);
    readLog(*monitor);
    show(*monitor);
    return TRUE;
}

// What the command wrote: the plan's status channel on its standard output, read; all
// else kept, shown in the details and passed on, on the plan's road all to standard output.
void take(Monitor& monitor, int stream, std::string_view bytes)
{
    RunResult& result = monitor.result;
    if (result.progress.planned && stream == 1) {
        monitor.streams[1].add(
            bytes, [&](const std::string& line) { readRunStatus(result.progress, line); });
        return;
    }
    const int to = result.progress.planned ? STDOUT_FILENO : stream;
    [[maybe_unused]] const ssize_t written = write(to, bytes.data(), bytes.size());
    monitor.streams[stream].add(bytes, [&](const std::string& line) {
        result.output.push_back(line);
        appendAgreementDetails(line);
    });
}

}  // namespace

RunResult runShowingProgress(const std::string& command, bool planned,
                             const std::string& architecture, int packages, const Busy& busy)
{
    Monitor monitor;
    monitor.architecture = architecture;
    monitor.busy = &busy;
    monitor.result.progress.planned = planned;
    monitor.result.progress.packages = packages;
    openLog(monitor, true);
    show(monitor);
    drawNow();
    const guint ticking = g_timeout_add(100, tick, &monitor);
    monitor.result.status = runThroughShell(
        command, [&](int stream, std::string_view bytes) { take(monitor, stream, bytes); });
    g_source_remove(ticking);
    for (const int stream : {1, 2})
        if ((!planned || stream != 1) && !monitor.streams[stream].partial.empty())
            monitor.streams[stream].add("\n", [&](const std::string& line) {
                monitor.result.output.push_back(line);
                appendAgreementDetails(line);
            });
    readLog(monitor);
    if (monitor.log >= 0)
        close(monitor.log);
    return monitor.result;
}
