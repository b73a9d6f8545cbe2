#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Something that keeps dpkg from installing the shipped packages as one set. Names of
// packages and files are printable; `nameInstalled` and `detailInstalled` say that `name`
// or `detail` is an installed package, not one of the set.
struct PackageProblem {
    enum Kind {
        NotAPackage,  // `name`: an entry that is no readable Debian package
        Architecture,  // `name`: a package built for `detail`, an architecture not accepted
        Missing,  // `name`: a dependency (alternatives joined by " | ") not installed
        TooOld,  // `name`: a dependency with the version needed; `detail`: the one installed
        Conflict,  // `name`: an installed package that would have to go
        Conflicts,  // `name` conflicts with `detail`
        Breaks,  // `name` breaks `detail` (a package with the versions it breaks)
        Needs,  // `name` needs `detail`, which the set would take away or not bring
        ShippedVersion,  // `name`: a dependency; `detail`: the version of it that is shipped
        Unsatisfied,  // `name`: a dependency that what is installed does not satisfy
        SameFile,  // `name` and `detail` both contain the file `extra`
        Dpkg,  // dpkg refuses the package `name`, saying `detail`
        PreDepends,  // `name` pre-depends on `detail`, which one dpkg run cannot install first
        Broken,  // `name`: installed packages that are not fully installed, joined by ", "
    } kind;
    std::string name;
    // Initialised, so that GCC does not warn of problems written without them.
    std::string detail{};  // NOLINT(readability-redundant-member-init)
    std::string extra{};  // NOLINT(readability-redundant-member-init)
    bool nameInstalled = false;
    bool detailInstalled = false;
    bool operator==(const PackageProblem&) const = default;
};

// What the system's package sources can make up for a set that the installed packages
// alone cannot take: an architecture to accept first (its package lists then updated), and
// the packages they bring, as apt names them. Where the architecture's lists are not there
// yet, the packages are the dependencies apt could not find without them.
struct SourcesPlan {
    std::string architecture;
    std::vector<std::string> packages;
    bool operator==(const SourcesPlan&) const = default;
};

// What the check found: the problems, none when the set can be installed, and then the
// packages' paths in the order that apt would install them, which dpkg can take. A plan
// when the problems are only missing or old dependencies, or an architecture this machine
// runs but does not accept, and the package sources provide what is missing.
struct CheckAnswer {
    std::vector<PackageProblem> problems;
    std::vector<std::string> order;
    std::optional<SourcesPlan> plan;
};

// Finds out, without privileges, whether `dpkg -i` can install every package of `list` (a
// package list as initRPMPath builds it) as one set on this system: the system has no
// package that is not fully installed; each entry is a Debian package whose control file
// dpkg takes, of an architecture dpkg accepts, whose dependencies are met by what is
// installed and the other packages, which needs no installed package removed, and which
// contains no file that another package of the set or an installed one contains, unless it
// replaces that package; and dpkg, asked to try, finds nothing to refuse. apt, dpkg-deb,
// dpkg-query and dpkg work it out from the installed packages alone, never taking dpkg's
// lock, and whatever they write goes to a scratch directory removed afterwards. When only
// dependencies or the architecture stand in the way, apt is asked the same with the
// system's package sources and their lists as they are, for a plan: nothing is downloaded.
// Returns every problem found, or nothing when that cannot be told (tools missing, an
// answer not understood).
std::optional<CheckAnswer> checkPackages(const std::string& list);

// A refusal names this many problems, and a plan this many packages, then says how many
// more there are.
inline constexpr std::size_t kMaxProblems = 6;

// What apt-get -s install answered (its output, standard error last, and its exit status)
// for the packages named `shipped`, on a system whose dpkg accepts the architectures
// `accepted`; `conflicts` holds, for each shipped package, "NAME Conflicts: OTHER" and
// "NAME Breaks: OTHER" for the packages its control fields name. Adds the problems found to
// `problems` and the packages apt would install, as NAME or NAME:ARCH, to `order`. Returns
// whether that is an answer: a plan, or a refusal with a reason.
bool readAptAnswer(std::string_view output, int status, const std::vector<std::string>& accepted,
                   const std::vector<std::string>& shipped,
                   const std::vector<std::string>& conflicts, std::vector<PackageProblem>& problems,
                   std::vector<std::string>& order);

// A file or package name as text to show on one line: its bytes as valid UTF-8, with each
// control character (a newline in a file name) as "?".
std::string printable(std::string_view name);

// The options of apt-get install with which a plan is worked out and carried out: no
// recommended packages, and no installed package removed.
inline constexpr std::string_view kPlanOptions = "-o APT::Install-Recommends=false --no-remove";
