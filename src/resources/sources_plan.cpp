#include "resources/sources_plan.h"

#include "resources/control_text.h"

#include <unistd.h>

namespace {

// The packages apt-get -s would install ("Inst NAME (...)") or upgrade ("Inst NAME [OLD]
// (...)"), into `plan`.
void readInstalls(std::string_view output, SourcesPlan& plan)
{
    for (const std::string& line : lines(output)) {
        if (!line.starts_with("Inst "))
            continue;
        const Words words = lines(line, ' ');
        if (words.size() < 3)
            continue;
        const std::string name = printable(words[1]);
        if (words[2].starts_with('['))
            plan.upgraded.push_back(name);
        else
            plan.installed.push_back(name);
        if (!plan.architecture.empty() && name.ends_with(":" + plan.architecture))
            ++plan.forArchitecture;
    }
    std::sort(plan.installed.begin(), plan.installed.end());
    std::sort(plan.upgraded.begin(), plan.upgraded.end());
}

// `text` between `before` and `after` on a line of `output`, "" when no line has them.
std::string between(std::string_view output, std::string_view before, std::string_view after)
{
    const Words all = lines(output);
    const auto line = std::find_if(all.begin(), all.end(), [&](const std::string& text) {
        return text.starts_with(before) && text.ends_with(after)
            && text.size() >= before.size() + after.size();
    });
    if (line == all.end())
        return "";
    const std::size_t length = line->size() - before.size() - after.size();
    return printable(std::string_view(*line).substr(before.size(), length));
}

// apt's figures as apt-get install states them before it would download: "Need to get
// 2,048 kB/46.3 MB of archives." (what is not downloaded already, of all) and "After this
// operation, 70.3 MB of additional disk space will be used."
void readSizes(std::string_view output, SourcesPlan& plan)
{
    std::string download = between(output, "Need to get ", " of archives.");
    plan.download = download.substr(0, download.find('/'));
    plan.diskSpace
        = between(output, "After this operation, ", " of additional disk space will be used.");
}

// apt's options for the plan: the lists of `architecture` fetched first, when it is set, or
// else the system's lists, with the cache apt keeps of them; either cache built once and read
// by each apt call. What apt would write of the system's goes to `directory` too.
std::optional<Words> planOptions(const AptInput& set, const std::string& architecture,
                                 const std::string& directory, std::atomic<bool>* fetching,
                                 std::string& why)
{
    const auto places = aptPlaces(directory, why);
    if (!places)
        return std::nullopt;
    const std::string states = directory + "/extended_states";
    const std::string cache = directory + "/srcpkgcache.bin";
    // A system may keep no cache of its lists.
    const bool systemCache = architecture.empty() && !places->sourceCache.empty();
    if (symlink(places->extendedStates.c_str(), states.c_str()) != 0
        || (systemCache && symlink(places->sourceCache.c_str(), cache.c_str()) != 0)) {
        why = "cannot link in " + directory;
        return std::nullopt;
    }
    Words options = {"-o", "Dir::State::extended_states=" + states, "-o",
                     "Dir::Cache::Archives=" + places->archives};
    if (architecture.empty())
        return options;
    if (fetching)
        *fetching = true;
    auto fetched = fetchLists(*places, set.accepted, architecture, directory, why);
    if (fetching)
        *fetching = false;
    if (!fetched)
        return std::nullopt;
    options.insert(options.end(), fetched->begin(), fetched->end());
    return options;
}

}  // namespace

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

SourcesAnswer planFromSources(const AptInput& set, const Words& links,
                              const std::string& architecture, const std::string& directory,
                              std::atomic<bool>* fetching)
{
    SourcesAnswer answer;
    const auto options = planOptions(set, architecture, directory, fetching, answer.unknown);
    if (!options)
        return answer;
    Words apt = aptSimulation(directory, true);
    apt.insert(apt.end(), options->begin(), options->end());
    // apt's cache of the lists is built once; then the plan and its sizes are asked side by
    // side: as a simulation, which names each package, and as a real installation that only
    // names what it would download, and so states the sizes first.
    Words cache = apt;
    cache[0] = "apt-cache";
    cache[1] = "gencaches";
    const ToolRun built = runTool(cache, directory);
    if (!built.exitedWith(0)) {
        answer.unknown = toolFailure(cache, built);
        return answer;
    }
    const Words install = lines(kPlanOptions, ' ');
    apt.insert(apt.end(), install.begin(), install.end());
    apt.emplace_back("install");
    apt.insert(apt.end(), links.begin(), links.end());
    Words uris = apt;
    std::replace(uris.begin(), uris.end(), std::string("-s"), std::string("--print-uris"));
    ToolRun run;
    ToolRun sizes;
    inParallel(2, [&](std::size_t i) { (i ? sizes : run) = runTool(i ? uris : apt, directory); });
    Words accepted = set.accepted;
    if (!architecture.empty())
        accepted.push_back(architecture);
    Words order;
    if (run.end != ToolRun::Exited
        || !readAptAnswer(run.output, run.code == 0, {accepted, set.shipped, set.relations},
                          answer.problems, order)
        || !answer.problems.empty())
        return answer;
    SourcesPlan plan;
    plan.architecture = architecture;
    readInstalls(run.output, plan);
    readSizes(sizes.output, plan);
    answer.plan = std::move(plan);
    return answer;
}

Words consented(const SourcesPlan& plan)
{
    Words names = plan.installed;
    names.insert(names.end(), plan.upgraded.begin(), plan.upgraded.end());
    std::sort(names.begin(), names.end());
    return names;
}
