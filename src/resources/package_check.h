#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Something that keeps dpkg from installing the shipped packages as one set.
struct PackageProblem {
    enum Kind {
        NotAPackage,  // `name`: an entry that is no readable Debian package
        Architecture,  // `name`: a package built for `detail`, an architecture not accepted
        Missing,  // `name`: a dependency (alternatives joined by " | ") not installed
        TooOld,  // `name`: a dependency with the version needed; `detail`: the one installed
        Conflict,  // `name`: an installed package that would have to go
    } kind;
    std::string name;
    // Initialised, so that GCC does not warn of problems written without it.
    std::string detail{};  // NOLINT(readability-redundant-member-init)
    bool operator==(const PackageProblem&) const = default;
};

// Finds out, without privileges, whether `dpkg -i` can install every package of `list` (a
// package list as initRPMPath builds it) as one set on this system: each is a Debian package
// of an architecture dpkg accepts, whose dependencies are met by what is installed and the
// other packages, and which needs no installed package removed. apt works it out from the
// installed packages alone, never taking dpkg's lock, and whatever it writes goes to a
// scratch directory removed afterwards. Returns the problems, none when the set can be
// installed; nothing when that cannot be told (no package, tools missing, an answer not
// understood). At most `kMaxProblems` are returned.
std::optional<std::vector<PackageProblem>> checkPackages(const std::string& list);

inline constexpr std::size_t kMaxProblems = 6;

// A file or package name as text to show on one line: its bytes as valid UTF-8, with each control
// character (a newline in a file name) as "?".
std::string printable(std::string_view name);
