// Times the check the installer makes before it asks for administrator rights, on the
// packages in the working directory, as many times as the first argument says (default
// 21), and prints the median in milliseconds, then the median of the time spent fetching
// package lists. Ends with 1 unless the check accepts the packages, or with a second
// argument "plan", unless it answers with a plan.

#include "installer.h"
#include "resources/package_check.h"
#include "resources/package_discovery.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Milliseconds = std::chrono::duration<double, std::milli>;

double median(std::vector<double> times)
{
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    return times[times.size() / 2];
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 21;
    const bool plan = argc > 2 && std::string_view(argv[2]) == "plan";
    initRPMPath();
    std::vector<double> times;
    std::vector<double> fetches;
    for (int run = 0; run < runs; ++run) {
        std::atomic<bool> fetching = false;
        std::atomic<bool> ended = false;
        double fetched = 0;
        // The check says when it fetches; a look every millisecond is close enough.
        std::thread watch([&] {
            for (auto last = Clock::now(); !ended; std::this_thread::sleep_for(
                     std::chrono::milliseconds(1))) {
                const auto now = Clock::now();
                fetched += fetching ? Milliseconds(now - last).count() : 0;
                last = now;
            }
        });
        const auto start = Clock::now();
        const auto answer = checkPackages(installerState.rpmPath, &fetching);
        times.push_back(Milliseconds(Clock::now() - start).count());
        ended = true;
        watch.join();
        fetches.push_back(fetched);
        const auto* checked = std::get_if<CheckAnswer>(&answer);
        if (!checked || (plan ? !checked->plan : !checked->problems.empty())) {
            const std::string why = !checked ? std::get<CannotTell>(answer).why
                : !checked->planUnknown.empty()
                ? checked->planUnknown
                : checked->problems.empty()
                ? "no plan"
                : checked->problems.front().name + " " + checked->problems.front().detail;
            return std::fprintf(stderr, "the check did not answer as expected: %s\n", why.c_str()),
                   1;
        }
    }
    std::printf("%.1f %.1f\n", median(times), median(fetches));
    return 0;
}
