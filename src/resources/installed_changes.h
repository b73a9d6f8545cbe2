#pragma once

#include "resources/installed_system.h"
#include "resources/shipped_packages.h"

// What the shipped packages would do to installed ones, beyond what apt and the files say
// at first sight. Refusals go to `problems`; what dpkg would do without a word, but an
// administrator would want to know before, to `cautions`.
struct Judgement {
    std::vector<PackageProblem>& problems;
    std::vector<PackageProblem>& cautions;
};

// Says why apt would remove an installed package: a shipped package of its name for
// another architecture takes its place (a caution); it conflicts with or breaks a shipped
// package; or it needs a shipped package in another version, or a name that the shipped
// upgrade no longer provides. A conflict with a name that only shipped packages provide is
// said as one with those packages.
void explainRemovals(const Judgement& judgement, const std::vector<ShippedPackage>& packages,
                     const InstalledSystem& system);

// Installed packages (of `replaced`) all of whose files shipped packages that replace them
// bring: dpkg removes them, and an essential one is refused. dpkg-query lists their files.
void findReplacedWhole(const Judgement& judgement, const Words& replaced,
                       const std::vector<ShippedPackage>& packages, const InstalledSystem& system,
                       const std::string& scratch);

// Installed packages that the administrator holds at their version, and a shipped one
// upgrades: dpkg drops the hold.
void findDroppedHolds(const Judgement& judgement, const std::vector<ShippedPackage>& packages,
                      const InstalledSystem& system);

// Whether a shipped package upgrades an installed one whose configuration file the
// administrator changed (or that cannot be read to tell): dpkg would ask what to keep, on a
// terminal there is none of.
bool meetsChangedConfiguration(const std::vector<ShippedPackage>& packages,
                               const InstalledSystem& system);
