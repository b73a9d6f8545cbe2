#pragma once

#include "pages/run_progress.h"
#include "resources/tool_run.h"

// Why a run failed, in dpkg's or apt's own words.
struct RunFailure {
    enum Kind {
        Unknown,  // nothing in the output says more than the exit status
        SetUp,  // `package` was unpacked, but its set-up script failed, saying `words`
        Unpack,  // `package` could not be unpacked (its installation script, or a file)
        Apt,  // apt stopped, saying `words`
    } kind
        = Unknown;
    std::string package;
    std::string words;
};

// Reads why a run failed from what dpkg logged (`progress`) and from the lines the command
// wrote (`output`): the first package that failed, and the last line its script wrote
// before dpkg's error about it, or else dpkg's own reason; or apt's first error.
RunFailure readFailure(const RunProgress& progress, const Words& output);
