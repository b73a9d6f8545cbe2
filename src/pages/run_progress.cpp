#include "pages/run_progress.h"

#include "pages/install_commands.h"

#include <algorithm>
#include <charconv>

namespace {

// Where each step of the plan's command starts, as a fraction of the whole run; a set
// installed as shipped is all installing.
double stepStart(const RunProgress& progress, RunProgress::Step step)
{
    if (!progress.planned)
        return 0;
    switch (step) {
    case RunProgress::Starting:
    case RunProgress::AcceptingArchitecture:
        return 0;
    case RunProgress::UpdatingLists:
        return 0.02;
    case RunProgress::Downloading:
        return 0.2;
    case RunProgress::Installing:
        return 0.5;
    }
    return 0;
}

// The fraction `done` of the way through `step`.
void advance(RunProgress& progress, RunProgress::Step step, double done)
{
    progress.step = std::max(progress.step, step);
    const double start = stepStart(progress, step);
    const double end = step == RunProgress::Installing
        ? 1
        : stepStart(progress, static_cast<RunProgress::Step>(step + 1));
    progress.fraction
        = std::max(progress.fraction, start + (end - start) * std::clamp(done, 0.0, 1.0));
}

std::vector<std::string_view> fieldsOf(std::string_view line, char separator, std::size_t most)
{
    std::vector<std::string_view> fields;
    while (fields.size() + 1 < most) {
        const std::size_t end = line.find(separator);
        if (end == std::string_view::npos)
            break;
        fields.push_back(line.substr(0, end));
        line.remove_prefix(end + 1);
    }
    fields.push_back(line);
    return fields;
}

void forget(std::vector<std::string>& names, std::string_view name)
{
    std::erase(names, name);
}

}  // namespace

void readDpkgLog(RunProgress& progress, std::string_view line)
{
    const auto fields = fieldsOf(line, ' ', 6);
    if (fields.size() < 5)
        return;
    const bool status = fields[2] == "status";
    const std::string_view action = status ? fields[3] : fields[2];
    const std::string package(fields[status ? 4 : 3].substr(0, fields[status ? 4 : 3].find(':')));
    progress.dpkgBegan = true;
    if (action == "install" || action == "configure") {
        // dpkg unpacks every package first, then sets each up: numbers start again.
        const bool settingUp = action == "configure";
        progress.number = settingUp == progress.settingUp ? progress.number + 1 : 1;
        progress.settingUp = settingUp;
        progress.package = package;
        progress.packages = std::max(progress.packages, progress.number);
        if (!settingUp)
            progress.unpacking.push_back(package);
        const double steps = 2.0 * progress.packages;
        advance(progress, RunProgress::Installing,
                (progress.number - 1 + (settingUp ? progress.packages : 0)) / steps);
    } else if (action == "unpacked" || action == "installed") {
        const bool wasUnpacking
            = std::find(progress.unpacking.begin(), progress.unpacking.end(), package)
            != progress.unpacking.end();
        forget(progress.unpacking, package);
        // An upgrade whose unpacking failed goes back to the version installed.
        if (action == "installed" && wasUnpacking)
            progress.notUnpacked.push_back(package);
        if (action == "installed")
            forget(progress.notSetUp, package);
        const double steps = 2.0 * progress.packages;
        advance(progress, RunProgress::Installing,
                (progress.number + (progress.settingUp ? progress.packages : 0)) / steps);
    } else if (action == "half-configured") {
        if (std::find(progress.notSetUp.begin(), progress.notSetUp.end(), package)
            == progress.notSetUp.end())
            progress.notSetUp.push_back(package);
    } else if (action != "half-installed" && action != "triggers-pending"
               && action != "triggers-awaited"
               && std::find(progress.unpacking.begin(), progress.unpacking.end(), package)
                   != progress.unpacking.end()) {
        // Back to what it was before: the unpacking failed.
        forget(progress.unpacking, package);
        progress.notUnpacked.push_back(package);
    }
}

void readRunStatus(RunProgress& progress, std::string_view line)
{
    if (line == kStepArchitecture) {
        advance(progress, RunProgress::AcceptingArchitecture, 0);
        return;
    }
    if (line == kStepLists) {
        advance(progress, RunProgress::UpdatingLists, 0);
        return;
    }
    if (line == kStepInstall) {
        advance(progress, RunProgress::Downloading, 0);
        return;
    }
    const auto fields = fieldsOf(line, ':', 4);
    if (fields.size() < 4)
        return;
    double percent = 0;
    std::from_chars(fields[2].data(), fields[2].data() + fields[2].size(), percent);
    progress.percent = percent;
    if (fields[0] == "dlstatus")
        advance(progress,
                progress.step == RunProgress::UpdatingLists ? RunProgress::UpdatingLists
                                                            : RunProgress::Downloading,
                percent / 100);
    else if (fields[0] == "pmstatus")
        advance(progress, RunProgress::Installing, percent / 100);
}
