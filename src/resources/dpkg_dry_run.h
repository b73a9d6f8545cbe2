#pragma once

#include "resources/shipped_packages.h"

// Asks `dpkg --dry-run -i` about `packages` (all of them, or only those with
// pre-dependencies, which one run of dpkg cannot always meet, unless `all`) and adds what
// it refuses to `problems`. Returns false, with `why` set, when dpkg gave no answer.
bool askDpkgDryRun(const std::vector<ShippedPackage>& packages, bool all,
                   const std::string& scratch, std::vector<PackageProblem>& problems,
                   std::string& why);
