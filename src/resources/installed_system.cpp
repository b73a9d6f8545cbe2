#include "resources/installed_system.h"

#include "resources/control_text.h"

std::optional<Words> acceptedArchitectures(const std::string& scratch, std::string& why)
{
    std::string answers;
    for (const Words& query :
         {Words{"dpkg", "--print-architecture"}, Words{"dpkg", "--print-foreign-architectures"}}) {
        const ToolRun run = runTool(query, scratch);
        if (!run.exitedWith(0)) {
            why = toolFailure(query, run);
            return std::nullopt;
        }
        answers += run.output;
    }
    return lines(answers + "all");
}

std::string notFullyInstalled(const std::string& scratch)
{
    const ToolRun run
        = runTool({"dpkg-query", "-W", "-f", "${db:Status-Abbrev}${binary:Package}\n"}, scratch);
    if (!run.exitedWith(0))
        return {};
    std::string names;
    for (const std::string& line : lines(run.output))
        if (line.size() > 3
            && (std::string_view("inc").find(line[1]) == std::string::npos || line[2] == 'R'))
            names.append(names.empty() ? "" : ", ").append(printable(line.substr(3)));
    return names;
}

void explainRemovals(std::vector<PackageProblem>& problems, const Words& shipped,
                     const std::string& scratch)
{
    Words query = {"dpkg-query", "-W", "-f", "${Package}\t${Depends}, ${Pre-Depends}\n"};
    for (const PackageProblem& problem : problems)
        if (problem.kind == PackageProblem::WouldBeRemoved)
            query.push_back(problem.name);
    if (query.size() == 4)
        return;
    const ToolRun run = runTool(query, scratch);
    if (!run.exitedWith(0))
        return;
    for (const std::string& line : lines(run.output)) {
        const std::size_t tab = line.find('\t');
        const auto problem = std::find_if(problems.begin(), problems.end(), [&](const auto& p) {
            return p.kind == PackageProblem::WouldBeRemoved && p.name == line.substr(0, tab);
        });
        for (std::size_t start = tab + 1; problem != problems.end() && start < line.size();) {
            const std::size_t end = std::min(line.find(", ", start), line.size());
            const std::string_view relation = std::string_view(line).substr(start, end - start);
            if (contains(shipped, packageOf(relation)))
                *problem = {PackageProblem::Needs, problem->name, printable(relation), "", true};
            start = end + 2;
        }
    }
}
