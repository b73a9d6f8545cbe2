#pragma once

#include "pages/busy_cover.h"
#include "pages/run_progress.h"
#include "resources/tool_run.h"

#include <string>

// What a run of the installation command came to.
struct RunResult {
    int status;  // the raw wait status
    RunProgress progress;
    Words output;  // the lines it printed, both streams, in the order they came
};

// Runs `command` (the plan's, accepting `architecture` when set, when `planned`; else
// dpkg -i), which installs about `packages` packages, and shows on the page meanwhile its
// step, how far it has come and, in the details, what it prints, which goes on to standard
// output and standard error too.
RunResult runShowingProgress(const std::string& command, bool planned,
                             const std::string& architecture, int packages, const Busy& busy);
