#pragma once

#include "resources/apt_simulation.h"
#include "resources/list_fetch.h"

#include <atomic>
#include <string_view>

// What the system's package sources make up for a set that the installed packages alone
// cannot take, as apt would carry it out: an architecture to accept first (its package
// lists then updated), the packages to install and those to upgrade, as apt names them
// (NAME, or NAME:ARCH for another architecture than the system's), and apt's own figures
// for the download and the disk space, empty when apt did not give them.
struct SourcesPlan {
    std::string architecture;
    Words installed;
    Words upgraded;
    std::size_t forArchitecture = 0;  // how many of `installed` are of `architecture`
    std::string download;
    std::string diskSpace;
    bool operator==(const SourcesPlan&) const = default;
};

// What the sources can do for the set: a plan; or what they lack too (`problems`); or,
// when the lists of the architecture to accept could not be fetched, why not (`unknown`).
// None of them when apt's answer could not be read.
struct SourcesAnswer {
    std::optional<SourcesPlan> plan;
    std::vector<PackageProblem> problems;
    std::string unknown;
};

// The options of apt-get install with which a plan is worked out and carried out: no
// recommended packages, and no installed package removed.
inline constexpr std::string_view kPlanOptions = "-o APT::Install-Recommends=false --no-remove";

// When only dependencies stand in the way of `problems`, and perhaps an architecture that
// this machine (of the architecture `native`) runs: that architecture, or "" for none.
std::optional<std::string> onlyWanting(const std::vector<PackageProblem>& problems,
                                       std::string_view native);

// What apt would install from the package sources with the shipped packages (`links`),
// accepting `architecture` too when it is set: its lists are fetched first, into
// `directory`, and `fetching` is set meanwhile.
SourcesAnswer planFromSources(const AptInput& set, const Words& links,
                              const std::string& architecture, const std::string& directory,
                              std::atomic<bool>* fetching);

// Every package a plan installs or upgrades, as apt names them, sorted: what the user
// consented to.
Words consented(const SourcesPlan& plan);
