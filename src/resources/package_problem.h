#pragma once

#include <cstddef>
#include <string>
#include <vector>

// Something that keeps dpkg from installing the shipped packages as one set. Names of
// packages and files are printable; `nameInstalled` and `detailInstalled` say that `name`
// or `detail` is an installed package, not one of the set.
struct PackageProblem {
    // A new kind is added here and in reasonText(), which gives its sentence; the
    // compiler names every switch that does not handle it yet.
    enum Kind {
        NotAPackage,  // `name`: an entry that is no readable Debian package
        Architecture,  // `name`: a package built for `detail`, an architecture not accepted
        Missing,  // `name`: a dependency (alternatives joined by " | ") not installed
        TooOld,  // `name`: a dependency with the version needed; `detail`: the one installed
        WouldBeRemoved,  // `name`: an installed package that would have to go
        ConflictsWith,  // `name` conflicts with `detail`
        Breaks,  // `name` breaks `detail` (a package with the versions it breaks)
        Needs,  // `name` needs `detail`, which the set would take away or not bring
        ShippedVersion,  // `name`: a dependency; `detail`: the version of it that is shipped
        Unsatisfied,  // `name`: a dependency that what is installed does not satisfy
        SameFile,  // `name` and `detail` both contain the file `extra`
        Dpkg,  // dpkg refuses the package `name`, saying `detail`
        PreDepends,  // `name` pre-depends on `detail`, which one dpkg run cannot install first
        Broken,  // `name`: installed packages that are not fully installed, joined by ", "
        ShippedTwice,  // `name` is shipped more than once, in the versions `detail`
        MultiArchDiffers,  // `name` and `detail`, one package of two architectures, differ in
                           // `extra`
        ReplacedEssential,  // `name` replaces all files of `detail`, which is essential
        // What dpkg does without a word, but which an administrator would want to know:
        Disappears,  // `name` replaces all files of `detail`, which dpkg then removes
        Crossgrade,  // `name` takes the place of the installed `detail` of another architecture
        HoldDropped,  // `name`, which the administrator holds, is upgraded
        ThroughLocalDiversion,  // `name` overwrites `detail`, where a local diversion sends `extra`
        ThroughSymlink,  // `name` overwrites `detail`, where a symbolic link takes `extra`
        kLastKind = ThroughSymlink
    } kind;
    std::string name;
    // Initialised, so that GCC does not warn of problems written without them.
    std::string detail{};  // NOLINT(readability-redundant-member-init)
    std::string extra{};  // NOLINT(readability-redundant-member-init)
    bool nameInstalled = false;
    bool detailInstalled = false;
    bool operator==(const PackageProblem&) const = default;
};

inline constexpr std::size_t kProblemKinds = PackageProblem::kLastKind + 1;

// A text of the strings file: its key, and the English text used when it is absent.
struct LocalText {
    const char* key;
    const char* builtIn;
};

// The sentence that says a problem of `kind`; "%s" stands for `name`, `detail` and `extra`
// in turn.
LocalText reasonText(PackageProblem::Kind kind);

// Adds `problem` to `problems` unless it is there already.
void addProblem(std::vector<PackageProblem>& problems, PackageProblem problem);
