#pragma once

#include "resources/package_problem.h"
#include "resources/tool_run.h"

#include <optional>
#include <utility>

// A package dpkg knows of, as its database has it.
struct InstalledPackage {
    std::string shown;  // NAME, or NAME:ARCH where the architecture tells it apart
    std::string name;
    std::string architecture;
    std::string version;
    std::string status;  // the selection, the state and the error flag: "ii ", "hi ", "iU "
    bool essential = false;
    bool multiArchSame = false;
    std::string provides;
    std::string needs;  // its Depends and Pre-Depends
    std::string conflicts;
    std::string breaks;
    std::vector<std::pair<std::string, std::string>> conffiles;  // path and MD5 sum
};
using InstalledSystem = std::vector<InstalledPackage>;

// The architectures dpkg accepts: the system's own first, then the foreign ones and "all";
// nothing, with `why` set, when dpkg cannot tell.
std::optional<Words> acceptedArchitectures(const std::string& scratch, std::string& why);

// Every package dpkg knows of; nothing, with `why` set, when dpkg-query cannot tell.
std::optional<InstalledSystem> installedSystem(const std::string& scratch, std::string& why);

// The packages dpkg has not fully installed (unpacked, half configured, or needing to be
// installed again), joined by ", ": until an administrator repairs them, dpkg and apt would
// judge them with every new package. A trigger waiting to run does no such harm: dpkg runs
// it with the next package.
std::string notFullyInstalled(const InstalledSystem& system);

// The installed package named `name` (NAME or NAME:ARCH), if there is one.
const InstalledPackage* findInstalled(const InstalledSystem& system, std::string_view name);

// The MD5 sum of what stands at `path`, as dpkg compares it with what a package brings; ""
// when it cannot be read.
std::string installedMd5(const std::string& path);
