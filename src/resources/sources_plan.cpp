#include "resources/sources_plan.h"

#include "resources/control_text.h"

std::optional<std::string> onlyWanting(const std::vector<PackageProblem>& problems,
                                       std::string_view native)
{
    // Only i386 beside amd64 is certain to run; other pairs depend on the processor.
    std::string architecture;
    for (const PackageProblem& problem : problems) {
        if (problem.kind == PackageProblem::Architecture && native == "amd64"
            && problem.detail == "i386")
            architecture = problem.detail;
        else if (problem.kind != PackageProblem::Missing && problem.kind != PackageProblem::TooOld
                 && problem.kind != PackageProblem::Unsatisfied)
            return std::nullopt;
    }
    return architecture;
}

std::optional<SourcesPlan> planFromSources(const AptInput& set, const Words& links,
                                           const std::string& architecture,
                                           const std::string& directory)
{
    Words apt = aptSimulation(directory, true);
    Words accepted = set.accepted;
    if (!architecture.empty()) {
        accepted.push_back(architecture);
        for (const std::string& name : accepted)
            if (name != "all")
                apt.insert(apt.end(), {"-o", "APT::Architectures::=" + name});
    }
    const Words options = lines(kPlanOptions, ' ');
    apt.insert(apt.end(), options.begin(), options.end());
    apt.emplace_back("install");
    apt.insert(apt.end(), links.begin(), links.end());
    const ToolRun run = runTool(apt, directory);
    std::vector<PackageProblem> problems;
    Words planned;
    if (run.end != ToolRun::Exited
        || !readAptAnswer(run.output, run.code == 0, {accepted, set.shipped, set.relations},
                          problems, planned))
        return std::nullopt;
    SourcesPlan plan{architecture, {}};
    for (const PackageProblem& problem : problems) {
        // The lists of an architecture not yet accepted come only with an update: until
        // then, what it needs is not installable.
        if (architecture.empty() || problem.kind != PackageProblem::Missing
            || problem.name.find(":" + architecture) == std::string::npos)
            return std::nullopt;
        plan.packages.push_back(problem.name.substr(0, problem.name.find(" (")));
    }
    // apt names what it would install only when nothing is missing.
    for (const std::string& name : planned)
        if (!contains(set.shipped, packageOf(name)))
            plan.packages.push_back(printable(name));
    std::sort(plan.packages.begin(), plan.packages.end());
    return plan;
}
