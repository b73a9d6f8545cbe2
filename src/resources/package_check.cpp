#include "resources/package_check.h"

#include "resources/control_text.h"
#include "resources/dpkg_dry_run.h"
#include "resources/file_clashes.h"
#include "resources/installed_changes.h"

#include <iterator>

namespace {

// What the check has learnt so far.
struct Check {
    Scratch scratch;
    std::string directory;  // the scratch directory
    Words accepted;  // the architectures dpkg accepts, the system's own first
    InstalledSystem system;
    std::vector<ShippedPackage> packages;  // those that are packages dpkg can read
    Words shipped;  // their names, printable
    std::vector<Relation> relations;  // their conflicts and breaks
    Words links;  // links to them, by names apt takes
    bool aptUnderstood = false;
    std::string aptFailure;  // why apt's answer could not be read
    CheckAnswer answer;
    std::string why;  // why the check cannot tell, once it cannot
};

bool prepare(Check& check)
{
    check.scratch = makeScratch(check.why);
    if (!check.scratch)
        return false;
    check.directory = check.scratch.get();
    auto accepted = acceptedArchitectures(check.directory, check.why);
    auto system = accepted ? installedSystem(check.directory, check.why) : std::nullopt;
    if (!system)
        return false;
    check.accepted = std::move(*accepted);
    check.system = std::move(*system);
    return true;
}

bool foundBrokenSystem(Check& check)
{
    std::string broken = notFullyInstalled(check.system);
    if (broken.empty())
        return false;
    check.answer.problems = {{PackageProblem::Broken, std::move(broken)}};
    return true;
}

// Whether any of `paths` is a package to ask the tools about.
bool foundPackages(Check& check, const Words& paths)
{
    check.packages = readShippedPackages(paths, check.directory, check.answer.problems);
    for (const ShippedPackage& package : check.packages)
        check.shipped.push_back(printable(package.name));
    check.relations = conflictsAndBreaks(check.packages);
    // With one package shipped twice, what apt and dpkg would say of it is not to be believed.
    return !check.packages.empty()
        && std::none_of(check.answer.problems.begin(), check.answer.problems.end(),
                        [](const PackageProblem& problem) {
                            return problem.kind == PackageProblem::ShippedTwice;
                        });
}

// The order of apt's plan (`planned`), which dpkg can take in one run; packages apt does
// not mention (a version installed already) keep theirs, after the others.
void takeAptOrder(Check& check, const Words& planned)
{
    const auto rank = [&](const ShippedPackage& package) {
        return std::find_if(planned.begin(), planned.end(),
                            [&](const std::string& name) {
                                return name.substr(0, name.find(':')) == package.name;
                            })
            - planned.begin();
    };
    std::stable_sort(
        check.packages.begin(), check.packages.end(),
        [&](const ShippedPackage& a, const ShippedPackage& b) { return rank(a) < rank(b); });
    std::transform(check.packages.begin(), check.packages.end(),
                   std::back_inserter(check.answer.order),
                   [](const ShippedPackage& package) { return package.path; });
}

// apt, knowing only the installed packages and these, and dpkg-query, naming the installed
// packages that own their files, asked side by side.
bool askAptAndOwners(Check& check)
{
    auto links = linksForApt(check.packages, check.directory, check.why);
    if (!links)
        return false;
    check.links = std::move(*links);
    const std::string sources = check.directory + "/sources.list";
    if (!g_file_set_contents(sources.c_str(), "", 0, nullptr)) {
        check.why = "cannot write " + sources;
        return false;
    }
    Words apt = aptSimulation(check.directory, false);
    apt.emplace_back("install");
    apt.insert(apt.end(), check.links.begin(), check.links.end());
    const Words query = ownerQuery(check.packages);
    ToolRun aptRun;
    ToolRun queryRun;
    inParallel(2, [&](std::size_t i) {
        if (i == 0)
            aptRun = runTool(apt, check.directory);
        else if (!query.empty())
            queryRun = runTool(query, check.directory);
    });
    // dpkg-query ends with 1 when some file belongs to no package.
    if (!query.empty() && (queryRun.end != ToolRun::Exited || queryRun.code > 1)) {
        check.why = toolFailure(query, queryRun);
        return false;
    }
    std::vector<PackageProblem>& problems = check.answer.problems;
    FileClashes clashes = findFileClashes(check.packages, queryRun.output);
    problems.insert(problems.end(), clashes.problems.begin(), clashes.problems.end());
    check.answer.cautions = std::move(clashes.cautions);
    Words planned;
    check.aptUnderstood
        = readAptAnswer(aptRun.output, aptRun.exitedWith(0),
                        {check.accepted, check.shipped, check.relations}, problems, planned);
    check.aptFailure
        = aptRun.exitedWith(0) ? "apt-get's answer could not be read" : toolFailure(apt, aptRun);
    const Judgement judgement{problems, check.answer.cautions};
    explainRemovals(judgement, check.packages, check.system);
    findReplacedWhole(judgement, clashes.replaced, check.packages, check.system, check.directory);
    findDroppedHolds(judgement, check.packages, check.system);
    check.answer.keepConfiguration = meetsChangedConfiguration(check.packages, check.system);
    takeAptOrder(check, planned);
    return true;
}

// A plan, when apt understood and only what the package sources may provide is wanting;
// or what they lack too, in place of what the installed packages lack.
void planWhereSourcesCan(Check& check, std::atomic<bool>* fetching)
{
    const auto architecture = onlyWanting(check.answer.problems, check.accepted.front());
    if (!check.aptUnderstood || !architecture)
        return;
    SourcesAnswer sources = planFromSources({check.accepted, check.shipped, check.relations},
                                            check.links, *architecture, check.directory, fetching);
    check.answer.plan = std::move(sources.plan);
    check.answer.planUnknown = std::move(sources.unknown);
    if (!sources.problems.empty())
        check.answer.problems = std::move(sources.problems);
}

}  // namespace

std::variant<CheckAnswer, CannotTell> checkPackages(const Words& paths, std::atomic<bool>* fetching)
{
    Check check;
    if (!prepare(check))
        return CannotTell{check.why};
    // Nothing more to ask on a system dpkg must have repaired first, or without a package.
    if (foundBrokenSystem(check) || !foundPackages(check, paths))
        return check.answer;
    if (!askAptAndOwners(check))
        return CannotTell{check.why};
    if (!check.answer.problems.empty()) {
        planWhereSourcesCan(check, fetching);
        return check.answer;
    }
    // dpkg's dry run costs some ten milliseconds a package: it is asked about the packages
    // with pre-dependencies, and about all of them when apt's answer could not be read.
    if (!askDpkgDryRun(check.packages, !check.aptUnderstood, check.directory, check.answer.problems,
                       check.why))
        return CannotTell{check.why};
    // A dry run's refusals for conflicts and breaks alone leave apt's answer standing.
    if (!check.aptUnderstood && check.answer.problems.empty())
        return CannotTell{check.aptFailure};
    return check.answer;
}
