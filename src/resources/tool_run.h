#pragma once

#include <glib.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using Words = std::vector<std::string>;

// How a tool the check asked ended, and what it wrote.
struct ToolRun {
    enum End { Exited, NotStarted, Killed } end = NotStarted;
    int code = 0;  // the exit code, or the signal that ended it
    std::string output;  // standard output, then standard error
    [[nodiscard]] bool exitedWith(int exitCode) const { return end == Exited && code == exitCode; }
};

// Runs `args`, looked up on PATH, in `scratch`, with temporary files there, and in the C
// locale, whose messages are read; nothing else of this process's environment is passed,
// so no setting of the user's can change what the tools answer; but for the proxies to reach
// the network through, when the tool is to use it (`network`).
ToolRun runTool(const Words& args, const std::string& scratch, bool network = false);

// Why a tool's answer cannot be used, for a diagnostic line: "apt-get exited with 100",
// "dpkg-query could not be started", "dpkg was killed by signal 9".
std::string toolFailure(const Words& args, const ToolRun& run);

// The check's scratch directory, removed with all that the tools left in it.
struct ScratchRemover {
    void operator()(gchar* path) const;
};
using Scratch = std::unique_ptr<gchar, ScratchRemover>;

// A new scratch directory, by its real path; null, with `why` set, when none can be made.
Scratch makeScratch(std::string& why);

// Runs `work` for each index below `count` on a few threads: the tools each package needs
// run side by side, as the machine's cores allow.
template <typename Work> void inParallel(std::size_t count, Work work)
{
    std::atomic<std::size_t> next = 0;
    std::vector<std::thread> threads(
        std::min(count, std::size_t{2} * std::max(1U, std::thread::hardware_concurrency())));
    for (std::thread& thread : threads)
        thread = std::thread([&] {
            for (std::size_t i = next++; i < count; i = next++)
                work(i);
        });
    for (std::thread& thread : threads)
        thread.join();
}
