#pragma once

#include "resources/sources_plan.h"

#include <variant>

// What the check found: the problems, none when the set can be installed, and then the
// packages' paths in the order that apt would install them, which dpkg can take. A plan
// when the problems are only missing or old dependencies, or an architecture this machine
// runs but does not accept, and the package sources provide what is missing.
struct CheckAnswer {
    std::vector<PackageProblem> problems;
    Words order;
    std::optional<SourcesPlan> plan;
    // Why no plan can be known where one was looked for: the lists could not be fetched.
    std::string planUnknown;
    // What dpkg would do without a word to installed packages or the administrator's files.
    std::vector<PackageProblem> cautions;
    // An upgrade meets a configuration file the administrator changed: dpkg is to keep it.
    bool keepConfiguration = false;
};

// Why the check could not tell: a tool missing or failing, or an answer it cannot read.
struct CannotTell {
    std::string why;
};

// Finds out, without privileges, whether `dpkg -i` can install every package at `paths` as
// one set on this system: the system has no package that is not fully installed; each
// entry is a Debian package whose control file dpkg takes, of an architecture dpkg
// accepts, whose dependencies are met by what is installed and the other packages, which
// needs no installed package removed, and which contains no file that another package of
// the set or an installed one contains, unless it replaces that package; and dpkg, asked
// to try, finds nothing to refuse. apt, dpkg-deb, dpkg-query and dpkg work it out from the
// installed packages alone, never taking dpkg's lock, and whatever they write goes to a
// scratch directory removed afterwards. When only dependencies or the architecture stand
// in the way, apt is asked the same with the system's package sources, for a plan: with
// their lists as they are, or with the lists of the architecture to accept fetched into
// the scratch directory, `fetching` set meanwhile. What dpkg would do silently to installed
// packages or the administrator's files is found too. Returns every problem found, or why
// that cannot be told.
std::variant<CheckAnswer, CannotTell> checkPackages(const Words& paths,
                                                    std::atomic<bool>* fetching = nullptr);
