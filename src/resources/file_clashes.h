#pragma once

#include "resources/shipped_packages.h"

#include <string_view>

// The dpkg-query command that names the installed packages owning any file `packages`
// contain, and the diversions of those files; nothing when they contain no file.
Words ownerQuery(const std::vector<ShippedPackage>& packages);

// A file that two shipped packages contain, or that an installed package contains (as
// `owners`, the answer of ownerQuery, says), stops dpkg, unless the package that brings it
// replaces the other. Directories are shared, a diverted file goes elsewhere, and a
// package may replace an older version of itself. Adds a problem for each.
void findSameFiles(const std::vector<ShippedPackage>& packages, std::string_view owners,
                   std::vector<PackageProblem>& problems);
