// Times the check the installer makes before it asks for administrator rights, on the
// packages in the working directory, as many times as the first argument says (default
// 21), and prints the median in milliseconds. Ends with 1 unless the check accepts the
// packages, or with a second argument "plan", unless it answers with a plan.

#include "installer.h"
#include "resources/package_check.h"
#include "resources/package_discovery.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string_view>
#include <vector>

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::atoi(argv[1]) : 21;
    const bool plan = argc > 2 && std::string_view(argv[2]) == "plan";
    initRPMPath();
    std::vector<double> times;
    for (int run = 0; run < runs; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const auto answer = checkPackages(installerState.rpmPath);
        const std::chrono::duration<double, std::milli> time
            = std::chrono::steady_clock::now() - start;
        times.push_back(time.count());
        const auto* checked = std::get_if<CheckAnswer>(&answer);
        if (!checked || (plan ? !checked->plan : !checked->problems.empty()))
            return std::fputs("the check did not answer as expected\n", stderr), 1;
    }
    std::nth_element(times.begin(), times.begin() + runs / 2, times.end());
    std::printf("%.1f\n", times[static_cast<std::size_t>(runs / 2)]);
    return 0;
}
