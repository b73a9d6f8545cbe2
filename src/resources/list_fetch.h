#pragma once

#include "resources/tool_run.h"

#include <optional>
#include <string>

// Where apt keeps what the plan needs of the system, as apt's configuration says.
struct AptPlaces {
    std::string lists;  // the package lists, with a trailing "/"
    std::string sourceCache;  // the cache apt builds of them
    std::string archives;  // downloaded packages, with a trailing "/"
    std::string extendedStates;  // which packages were installed automatically
};

// The places, or nothing, with `why` set, when apt-config cannot tell them.
std::optional<AptPlaces> aptPlaces(const std::string& scratch, std::string& why);

// Fetches, as the user, the package lists of the system's sources for the architectures
// `accepted` and `architecture` into "lists/" in `scratch`, where the system's own lists
// stand as links until a fresh copy replaces them: nothing of the system changes and no
// lock is taken. Returns apt's options that read them, or nothing, with `why` set, when a
// list could not be fetched (no network, a source out of reach).
std::optional<Words> fetchLists(const AptPlaces& places, const Words& accepted,
                                const std::string& architecture, const std::string& scratch,
                                std::string& why);
