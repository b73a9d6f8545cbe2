#include "resources/dpkg_dry_run.h"

#include "resources/control_text.h"

namespace {

// What `dpkg --dry-run -i` refuses: "dpkg: error processing archive PATH (--install):" and
// indented lines saying why, after a pre-dependency problem " NAME pre-depends on OTHER".
void readDryRun(std::string_view output, const std::vector<ShippedPackage>& packages,
                std::vector<PackageProblem>& problems)
{
    constexpr std::string_view kError = "dpkg: error processing archive ";
    const Words all = lines(output);
    std::string preDepends;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const std::string& line = all[i];
        if (const std::size_t on = line.find(" pre-depends on "); on != std::string::npos) {
            preDepends = line;
            addProblem(problems,
                       {PackageProblem::PreDepends, printable(packageOf(line.substr(1))),
                        debianRelations(line.substr(on + 16))});
        }
        if (!line.starts_with(kError))
            continue;
        const std::string path = line.substr(kError.size(), line.rfind(" (") - kError.size());
        const auto package = std::find_if(packages.begin(), packages.end(),
                                          [&](const ShippedPackage& p) { return p.real == path; });
        std::string why;
        for (std::size_t next = i + 1;
             why.empty() && next < all.size() && all[next].starts_with(' '); ++next)
            if (!all[next].starts_with(" parsing file"))
                why = all[next].substr(1);
        // "installing app would break lib, and" goes on with what dpkg was not allowed to do.
        std::string_view reason(why);
        for (const std::string_view end : {" and", ",", ":"})
            if (reason.ends_with(end))
                reason.remove_suffix(end.size());
        // Conflicts and breaks depend on the order in which dpkg unpacks, which a dry run
        // does not follow: apt's plan, which dpkg gets, has the last word on them.
        if (preDepends.empty() && reason.find("conflicting packages") == std::string::npos
            && reason.find(" would break ") == std::string::npos)
            addProblem(problems,
                       {PackageProblem::Dpkg,
                        package == packages.end() ? printable(path) : package->shown,
                        printable(reason)});
        preDepends.clear();
    }
}

}  // namespace

bool askDpkgDryRun(const std::vector<ShippedPackage>& packages, bool all,
                   const std::string& scratch, std::vector<PackageProblem>& problems,
                   std::string& why)
{
    Words dryRun = {"dpkg", "--dry-run", "--log=/dev/null", "-i"};
    for (const ShippedPackage& package : packages) {
        const auto preDepends = package.fields.find("Pre-Depends");
        if (all || (preDepends != package.fields.end() && !preDepends->second.empty()))
            dryRun.push_back(package.real);
    }
    if (dryRun.size() == 4)
        return true;
    const ToolRun run = runTool(dryRun, scratch);
    if (run.end != ToolRun::Exited) {
        why = toolFailure(dryRun, run);
        return false;
    }
    readDryRun(run.output, packages, problems);
    return true;
}
