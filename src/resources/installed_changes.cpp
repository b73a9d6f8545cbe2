#include "resources/installed_changes.h"

#include "resources/control_text.h"

#include <sys/stat.h>

#include <set>

namespace {

const ShippedPackage* shippedNamed(const std::vector<ShippedPackage>& packages,
                                   std::string_view name)
{
    const auto package = std::find_if(packages.begin(), packages.end(),
                                      [&](const ShippedPackage& p) { return p.name == name; });
    return package == packages.end() ? nullptr : &*package;
}

bool isShipped(const std::vector<ShippedPackage>& packages, std::string_view name)
{
    return shippedNamed(packages, name) != nullptr;
}

// Names that an upgrade of an installed package no longer provides.
bool noLongerProvided(std::string_view name, const std::vector<ShippedPackage>& packages,
                      const InstalledSystem& system)
{
    return std::any_of(packages.begin(), packages.end(), [&](const ShippedPackage& package) {
        const InstalledPackage* installed = findInstalled(system, package.name);
        return installed && contains(namesIn(installed->provides), name)
            && !contains(namesIn(package.fields.at("Provides")), name);
    });
}

// The problem an installed package that apt would remove stands for, or nothing.
std::optional<PackageProblem> whyRemoved(const InstalledPackage& installed,
                                         const std::vector<ShippedPackage>& packages,
                                         const InstalledSystem& system)
{
    const std::string name = printable(installed.name);
    for (const auto& [field, kind] :
         {std::pair{&installed.conflicts, PackageProblem::ConflictsWith},
          std::pair{&installed.breaks, PackageProblem::Breaks}}) {
        const Words others = namesIn(*field);
        const auto other = std::find_if(others.begin(), others.end(), [&](const std::string& o) {
            return isShipped(packages, o);
        });
        if (other != others.end())
            return PackageProblem{kind, name, printable(*other), "", true};
    }
    for (const std::string& relation : lines(installed.needs, ',')) {
        std::string_view trimmed(relation);
        trimmed.remove_prefix(std::min(trimmed.find_first_not_of(' '), trimmed.size()));
        const std::string_view target = packageOf(trimmed);
        if (!target.empty()
            && (isShipped(packages, target) || noLongerProvided(target, packages, system)))
            return PackageProblem{PackageProblem::Needs, name, printable(trimmed), "", true};
    }
    return std::nullopt;
}

// A conflict apt reports with a name that no installed package has but shipped ones
// provide is one with those packages, said once for each pair.
void explainVirtualConflicts(std::vector<PackageProblem>& problems,
                             const std::vector<ShippedPackage>& packages,
                             const InstalledSystem& system)
{
    std::vector<PackageProblem> kept;
    for (const PackageProblem& problem : problems) {
        const std::string_view target = packageOf(problem.detail);
        Words providers;
        if ((problem.kind == PackageProblem::ConflictsWith
             || problem.kind == PackageProblem::Breaks)
            && problem.detailInstalled && !findInstalled(system, target))
            for (const ShippedPackage& package : packages)
                if (printable(package.name) != problem.name
                    && contains(namesIn(package.fields.at("Provides")), target))
                    providers.push_back(printable(package.name));
        if (providers.empty())
            addProblem(kept, problem);
        for (const std::string& provider : providers)
            if (std::find(kept.begin(), kept.end(),
                          PackageProblem{problem.kind, provider, problem.name})
                == kept.end())
                addProblem(kept, {problem.kind, problem.name, provider});
    }
    problems = std::move(kept);
}

bool isDirectory(const std::string& path)
{
    struct stat file = {};
    return lstat(path.c_str(), &file) == 0 && S_ISDIR(file.st_mode);
}

}  // namespace

void explainRemovals(const Judgement& judgement, const std::vector<ShippedPackage>& packages,
                     const InstalledSystem& system)
{
    std::vector<PackageProblem>& problems = judgement.problems;
    for (auto problem = problems.begin(); problem != problems.end();) {
        if (problem->kind != PackageProblem::WouldBeRemoved) {
            ++problem;
            continue;
        }
        const InstalledPackage* installed = findInstalled(system, problem->name);
        if (const ShippedPackage* shipped = shippedNamed(packages, problem->name);
            shipped && installed) {
            addProblem(judgement.cautions,
                       {PackageProblem::Crossgrade,
                        printable(shipped->name + ":" + shipped->fields.at("Architecture")),
                        printable(installed->name + ":" + installed->architecture), "", false,
                        true});
            problem = problems.erase(problem);
            continue;
        }
        if (installed)
            if (auto why = whyRemoved(*installed, packages, system))
                *problem = std::move(*why);
        ++problem;
    }
    explainVirtualConflicts(problems, packages, system);
}

void findReplacedWhole(const Judgement& judgement, const Words& replaced,
                       const std::vector<ShippedPackage>& packages, const InstalledSystem& system,
                       const std::string& scratch)
{
    for (const std::string& name : replaced) {
        const InstalledPackage* installed = findInstalled(system, name);
        const Words query = {"dpkg-query", "-L", name};
        const ToolRun run = runTool(query, scratch);
        if (!installed || !run.exitedWith(0))
            continue;
        std::set<std::string, std::less<>> brought;
        std::string replacer;
        for (const ShippedPackage& package : packages)
            if (replaces(package, name)) {
                replacer = replacer.empty() ? printable(package.name) : replacer;
                for (const PackageFile& file : package.files)
                    brought.insert(file.path);
            }
        const Words files = lines(run.output);
        if (std::all_of(files.begin(), files.end(), [&](const std::string& file) {
                return !file.starts_with('/') || brought.contains(file) || isDirectory(file);
            }))
            addProblem(installed->essential ? judgement.problems : judgement.cautions,
                       {installed->essential ? PackageProblem::ReplacedEssential
                                             : PackageProblem::Disappears,
                        replacer, printable(name), "", false, true});
    }
}

void findDroppedHolds(const Judgement& judgement, const std::vector<ShippedPackage>& packages,
                      const InstalledSystem& system)
{
    for (const ShippedPackage& package : packages)
        if (const InstalledPackage* installed = findInstalled(system, package.name);
            installed && installed->status.starts_with('h'))
            addProblem(judgement.cautions,
                       {PackageProblem::HoldDropped, printable(installed->shown), "", "", true});
}

bool meetsChangedConfiguration(const std::vector<ShippedPackage>& packages,
                               const InstalledSystem& system)
{
    return std::any_of(packages.begin(), packages.end(), [&](const ShippedPackage& package) {
        const InstalledPackage* installed = findInstalled(system, package.name);
        return installed
            && std::any_of(installed->conffiles.begin(), installed->conffiles.end(),
                           [](const auto& conffile) {
                               const auto& [path, md5] = conffile;
                               struct stat file = {};
                               return lstat(path.c_str(), &file) == 0 && installedMd5(path) != md5;
                           });
    });
}
