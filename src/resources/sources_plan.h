#pragma once

#include "resources/apt_simulation.h"

#include <string_view>

// What the system's package sources can make up for a set that the installed packages
// alone cannot take: an architecture to accept first (its package lists then updated), and
// the packages they bring, as apt names them. Where the architecture's lists are not there
// yet, the packages are the dependencies apt could not find without them.
struct SourcesPlan {
    std::string architecture;
    Words packages;
    bool operator==(const SourcesPlan&) const = default;
};

// The options of apt-get install with which a plan is worked out and carried out: no
// recommended packages, and no installed package removed.
inline constexpr std::string_view kPlanOptions = "-o APT::Install-Recommends=false --no-remove";

// When only dependencies stand in the way of `problems`, and perhaps an architecture that
// this machine (of the architecture `native`) runs: that architecture, or "" for none.
std::optional<std::string> onlyWanting(const std::vector<PackageProblem>& problems,
                                       std::string_view native);

// What apt would install from the package sources with the shipped packages (`links`),
// accepting `architecture` too when it is set, as the plan would run it; nothing when the
// sources cannot make up for what is missing.
std::optional<SourcesPlan> planFromSources(const AptInput& set, const Words& links,
                                           const std::string& architecture,
                                           const std::string& directory);
