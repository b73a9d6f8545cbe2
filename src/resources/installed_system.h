#pragma once

#include "resources/package_problem.h"
#include "resources/tool_run.h"

#include <optional>

// The architectures dpkg accepts: the system's own first, then the foreign ones and "all";
// nothing, with `why` set, when dpkg cannot tell.
std::optional<Words> acceptedArchitectures(const std::string& scratch, std::string& why);

// The packages dpkg has not fully installed (unpacked, half configured, awaiting triggers,
// or needing to be installed again), joined by ", ": until an administrator repairs them,
// dpkg and apt would judge them with every new package.
std::string notFullyInstalled(const std::string& scratch);

// An installed package that apt would remove, but no shipped package conflicts with or
// breaks, goes because it needs a shipped package (of `shipped`) in another version: its
// own relation to it says so, and its problem becomes that need.
void explainRemovals(std::vector<PackageProblem>& problems, const Words& shipped,
                     const std::string& scratch);
