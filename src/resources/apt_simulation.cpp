#include "resources/apt_simulation.h"

#include "resources/control_text.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// apt names a package of an architecture other than the system's own as NAME:ARCH.
void checkArchitecture(std::string_view name, std::string_view architecture, const Words& accepted,
                       std::vector<PackageProblem>& problems)
{
    name = name.substr(0, name.find(':'));
    if (!architecture.empty() && !contains(accepted, architecture))
        addProblem(problems,
                   {PackageProblem::Architecture, printable(name), printable(architecture)});
}

// A reason stays short: alternatives past this many are left out.
constexpr int kAlternativesShown = 3;

// One dependency in apt's list of unmet ones, with its alternatives, which stand on lines of
// their own after an " or".
struct Unmet {
    std::string subject;
    std::string type;
    std::string targets;
    std::string last;  // the last alternative, and why apt cannot take it
    std::string why;
    int alternatives = 0;
    bool onlyConsequences = true;
};

// The problem an unmet dependency whose last alternative has been read stands for.
void addUnmet(const Unmet& unmet, const AptInput& set, std::vector<PackageProblem>& problems)
{
    const bool shippedSubject = contains(set.shipped, unmet.subject);
    const bool shippedTarget = contains(set.shipped, packageOf(unmet.last));
    std::string_view version(unmet.why);
    const bool versioned
        = version.ends_with(" is to be installed") || version.ends_with(" is installed");
    version = version.substr(0, version.find(" is "));
    if (unmet.type == "Conflicts" || unmet.type == "Breaks")
        addProblem(problems,
                   {unmet.type == "Breaks" ? PackageProblem::Breaks : PackageProblem::ConflictsWith,
                    unmet.subject, unmet.targets, "", !shippedSubject,
                    shippedSubject && !shippedTarget});
    else if (unmet.onlyConsequences)
        ;  // the reason stands on the line of the package not going to be installed
    else if (!shippedSubject)
        addProblem(problems, {PackageProblem::Needs, unmet.subject, unmet.targets, "", true});
    else if (unmet.alternatives == 1 && versioned)
        addProblem(problems,
                   {shippedTarget ? PackageProblem::ShippedVersion : PackageProblem::TooOld,
                    unmet.targets, printable(version)});
    else if (unmet.why.empty() || unmet.targets.find(":any") != std::string::npos)
        addProblem(problems, {PackageProblem::Unsatisfied, unmet.targets});
    else
        addProblem(problems, {PackageProblem::Missing, unmet.targets});
}

void readUnmetLine(std::string_view line, const AptInput& set, Unmet& unmet,
                   std::vector<PackageProblem>& problems)
{
    line.remove_prefix(std::min(line.find_first_not_of(' '), line.size()));
    if (const std::size_t subject = line.find(" : "); subject != std::string_view::npos) {
        const std::string_view name = line.substr(0, subject);
        const std::size_t colon = name.find(':');
        checkArchitecture(name, colon == std::string_view::npos ? "" : name.substr(colon + 1),
                          set.accepted, problems);
        unmet.subject = printable(name.substr(0, colon));
        line.remove_prefix(subject + 3);
    }
    for (const std::string_view type : {"PreDepends: ", "Depends: ", "Conflicts: ", "Breaks: "}) {
        if (line.starts_with(type)) {
            unmet.type = type.substr(0, type.size() - 2);
            line.remove_prefix(type.size());
        }
    }
    const bool more = line.ends_with(" or");
    line = line.substr(0, line.size() - (more ? 3 : 0));
    const std::size_t but = std::min(line.find(" but "), line.size());
    unmet.last = line.substr(0, but);
    unmet.why = line.substr(std::min(but + 5, line.size()));
    if (unmet.alternatives < kAlternativesShown)
        unmet.targets.append(unmet.alternatives ? " | " : "").append(debianRelations(unmet.last));
    else if (unmet.alternatives == kAlternativesShown)
        unmet.targets += " | \u2026";
    ++unmet.alternatives;
    // A shipped package that cannot be installed itself: its own line says why.
    unmet.onlyConsequences
        = unmet.onlyConsequences && unmet.why == "it is not going to be installed";
    if (more)
        return;
    addUnmet(unmet, set, problems);
    // Further dependencies of the same package follow on lines without its name.
    std::string subject = std::move(unmet.subject);
    unmet = {};
    unmet.subject = std::move(subject);
}

}  // namespace

Words aptSimulation(const std::string& directory, bool sources)
{
    Words options = {"Debug::NoLocking=true", "Dir::Cache=" + directory, "Dir::Log=" + directory,
                     "Dir::Log::Planner="};
    // With the sources, apt builds its cache of their lists once, for each call to read.
    if (sources)
        options.insert(options.end(),
                       {"Dir::Cache::pkgcache=" + directory + "/pkgcache.bin",
                        "Dir::Cache::srcpkgcache=" + directory + "/srcpkgcache.bin"});
    else
        options.insert(options.end(),
                       {"Dir::Cache::pkgcache=", "Dir::Cache::srcpkgcache=",
                        "Dir::Etc::SourceList=" + directory + "/sources.list",
                        "Dir::Etc::SourceParts=" + directory, "Dir::State::Lists=" + directory});
    Words apt = {"apt-get", "-s", "-q"};
    for (const std::string& option : options)
        apt.insert(apt.end(), {"-o", option});
    return apt;
}

std::optional<Words> linksForApt(const std::vector<ShippedPackage>& packages,
                                 const std::string& directory, std::string& why)
{
    Words links;
    for (const ShippedPackage& package : packages) {
        std::string link = directory + "/" + std::to_string(links.size()) + ".deb";
        if (symlink(package.real.c_str(), link.c_str()) != 0) {
            why = "cannot link " + link + ": " + std::strerror(errno);
            return std::nullopt;
        }
        links.push_back(std::move(link));
    }
    return links;
}

bool readAptAnswer(std::string_view output, bool succeeded, const AptInput& set,
                   std::vector<PackageProblem>& problems, Words& order)
{
    // On a system broken already, apt judges every installed package, not just these.
    if (output.find("--fix-broken") != std::string_view::npos)
        return false;
    const std::size_t known = problems.size();
    Words removed;
    bool inUnmetList = false;
    Unmet unmet;
    for (const std::string& line : lines(output)) {
        if (line == "The following packages have unmet dependencies:") {
            inUnmetList = true;
        } else if (inUnmetList && line.starts_with(' ')) {
            readUnmetLine(line, set, unmet, problems);
        } else {
            inUnmetList = false;
            const std::string_view words(line);
            const std::string_view name
                = words.size() > 5 ? words.substr(5, words.find(' ', 5) - 5) : "";
            if (words.starts_with("Inst ")) {
                order.emplace_back(name);
                // "Inst NAME [OLD] (VERSION ORIGIN [ARCH]) [BROKEN ...]": the architecture is
                // the last bracket within the parentheses.
                const std::size_t end = words.rfind(')');
                const std::size_t open = words.rfind('[', end);
                const std::size_t close = words.find(']', open);
                if (end != std::string_view::npos && open != std::string_view::npos && close < end)
                    checkArchitecture(name, words.substr(open + 1, close - open - 1), set.accepted,
                                      problems);
            } else if (words.starts_with("Remv ")) {
                removed.push_back(printable(name.substr(0, name.find(':'))));
            }
        }
    }
    // apt removes first the installed packages that depend on the one a shipped package
    // conflicts with or breaks: that one is the cause, and the others go with it.
    bool named = false;
    for (const Relation& relation : set.relations) {
        if (contains(removed, relation.other)) {
            addProblem(problems,
                       {relation.kind, relation.package, relation.other, "", false, true});
            named = true;
        }
    }
    for (const std::string& package : removed)
        if (!named)
            addProblem(problems, {PackageProblem::WouldBeRemoved, package});
    return succeeded || problems.size() > known;
}
