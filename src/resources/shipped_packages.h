#pragma once

#include "resources/package_archive.h"
#include "resources/package_problem.h"
#include "resources/tool_run.h"

#include <map>
#include <optional>
#include <string>

// A package of the directory, as dpkg reads it.
struct ShippedPackage {
    std::string path;  // as listed
    std::string real;  // its real path: what the tools are given
    std::string shown;  // its file name, printable
    std::string name;  // its Package field
    std::string control;  // its control file
    std::map<std::string, std::string, std::less<>> fields;
    std::vector<PackageFile> files;  // what it installs
    std::optional<PackageProblem> problem;
};

// Reads the control fields and file lists of the packages at `paths`, with the contents'
// MD5 sums of those that may be installed for several architectures at once. An entry that
// is no readable Debian package, or that dpkg refuses, is a problem added to `problems`, and
// so is a package shipped more than once; the others are returned, in the order of `paths`.
std::vector<ShippedPackage> readShippedPackages(const Words& paths, const std::string& scratch,
                                                std::vector<PackageProblem>& problems);

// Whether `package` declares that it replaces the package named `other`.
bool replaces(const ShippedPackage& package, std::string_view other);

// A shipped package's Conflicts or Breaks on a package it names.
struct Relation {
    std::string package;  // the shipped package's name, printable
    PackageProblem::Kind kind;  // ConflictsWith or Breaks
    std::string other;  // the name it gives, printable
};

// Every package each of `packages` conflicts with or breaks, by name.
std::vector<Relation> conflictsAndBreaks(const std::vector<ShippedPackage>& packages);
