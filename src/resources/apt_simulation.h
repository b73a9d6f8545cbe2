#pragma once

#include "resources/shipped_packages.h"

#include <string_view>

// apt-get asked to simulate, never locking, writing only to `directory`: with the system's
// package sources, whose cache apt keeps in `directory`, when `sources`, else with the
// installed packages alone (`directory` then holds an empty "sources.list").
Words aptSimulation(const std::string& directory, bool sources);

// apt takes a package file only by a name ending in ".deb": links of such names in
// `directory` to each of `packages`, or nothing, with `why` set, when one cannot be made.
std::optional<Words> linksForApt(const std::vector<ShippedPackage>& packages,
                                 const std::string& directory, std::string& why);

// What apt is asked about: the architectures dpkg accepts, the names of the shipped
// packages and the packages they conflict with or break.
struct AptInput {
    const Words& accepted;
    const Words& shipped;
    const std::vector<Relation>& relations;
};

// Reads what apt-get -s install answered (its output, standard error last, and whether it
// succeeded) for the packages of `set`. Adds the problems found to `problems` and the
// packages apt would install, as NAME or NAME:ARCH, to `order`. Returns whether that is an
// answer: a plan, or a refusal with a reason.
bool readAptAnswer(std::string_view output, bool succeeded, const AptInput& set,
                   std::vector<PackageProblem>& problems, Words& order);
