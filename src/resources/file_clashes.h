#pragma once

#include "resources/installed_system.h"
#include "resources/shipped_packages.h"

#include <string_view>

// The dpkg-query command that names the installed packages owning, and the diversions of,
// the paths of `packages` that may clash: their files, and their directories where this
// system has something else than a directory. Nothing when there are none.
Words ownerQuery(const std::vector<ShippedPackage>& packages);

// What the shipped packages' files meet, as dpkg would judge it.
struct FileClashes {
    std::vector<PackageProblem> problems;  // what dpkg refuses
    std::vector<PackageProblem> cautions;  // what dpkg does silently to the administrator's files
    Words replaced;  // installed packages whose files a shipped one replaces
};

// A path that two shipped packages contain, or a shipped one and an installed one (as
// `owners`, the answer of ownerQuery, says), stops dpkg, unless the package that brings it
// replaces the other: a file, or a folder where the other has a file. Directories are
// shared, a symbolic link where an installed package has a directory leaves it be, packages
// of one name for two architectures must contain the same files, and a diversion spares the
// package that made it. A local diversion, or a symbolic link on the way, leads a file to
// overwrite what stands there.
FileClashes findFileClashes(const std::vector<ShippedPackage>& packages, std::string_view owners);
