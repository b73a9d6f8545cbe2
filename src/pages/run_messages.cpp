#include "pages/run_messages.h"

#include "installer.h"
#include "resources/utf8_text.h"

#include <iterator>

namespace {

// `text`, or as much of it as fits in about `bytes` bytes, cut between characters.
std::string shortened(std::string_view text, std::size_t bytes)
{
    return text.size() <= bytes
        ? std::string(text)
        : std::string(text.substr(0, characterBoundary(text, bytes))) + "\u2026";
}

// A name in a reason or a plan is shortened past this many bytes; each reason stays within
// about 200 bytes: a name, a relation or dpkg's words, a path.
constexpr std::size_t kLongestName = 60;
constexpr std::size_t kLongestDetail = 120;
constexpr std::size_t kLongestPath = 80;

// The first kMaxProblems of `count` items, `item(i)` each, joined by `separator`, then how
// many more there are.
template <typename Item>
std::string firstFew(std::size_t count, std::string_view separator, Item item)
{
    std::string joined;
    for (std::size_t i = 0; i < count && i < kMaxProblems; ++i)
        joined.append(i ? separator : "").append(item(i));
    if (count > kMaxProblems)
        joined.append(separator).append(
            fillIn(installerState.str_reasonMore, {std::to_string(count - kMaxProblems)}));
    return joined;
}

}  // namespace

std::string fillIn(std::string_view text, std::initializer_list<std::string_view> values)
{
    std::string filled;
    for (const std::string_view value : values) {
        const std::size_t at = text.find("%s");
        if (at == std::string_view::npos)
            break;
        filled.append(text.substr(0, at)).append(value);
        text.remove_prefix(at + 2);
    }
    return filled.append(text);
}

std::string refusalReasons(const std::vector<PackageProblem>& problems)
{
    const std::string_view installedPackage = installerState.str_reasonInstalledPackage;
    const auto named = [&](const std::string& name, bool installed, std::size_t longest) {
        const std::string shown = shortened(name, longest);
        return installed ? fillIn(installedPackage, {shown}) : shown;
    };
    return firstFew(problems.size(), "; ", [&](std::size_t i) {
        const PackageProblem& problem = problems[i];
        return fillIn(installerState.str_reasons[problem.kind],
                      {named(problem.name, problem.nameInstalled, kLongestName),
                       named(problem.detail, problem.detailInstalled, kLongestDetail),
                       shortened(problem.extra, kLongestPath)});
    });
}

std::string planSentences(const SourcesPlan& plan)
{
    const InstallerState& s = installerState;
    Words sentences;
    if (!plan.architecture.empty())
        sentences.push_back(fillIn(s.str_planArchitecture, {plan.architecture}));
    const std::string count = std::to_string(plan.installed.size());
    const std::string forArchitecture = std::to_string(plan.forArchitecture);
    if (plan.forArchitecture)
        sentences.push_back(
            fillIn(s.str_planCountArchitecture, {count, forArchitecture, plan.architecture}));
    else
        sentences.push_back(fillIn(s.str_planCount, {count}));
    const auto upgraded = [&](std::size_t i) { return shortened(plan.upgraded[i], kLongestName); };
    if (!plan.upgraded.empty())
        sentences.push_back(
            fillIn(s.str_planUpgrades, {firstFew(plan.upgraded.size(), ", ", upgraded)}));
    if (!plan.download.empty() && !plan.diskSpace.empty())
        sentences.push_back(fillIn(s.str_planSizes, {plan.download, plan.diskSpace}));
    std::string joined;
    for (const std::string& sentence : sentences)
        joined.append(joined.empty() ? "" : " ").append(sentence);
    return joined;
}

Words planLists(const SourcesPlan& plan)
{
    Words lists;
    for (const auto& [heading, names] :
         {std::pair{installerState.str_planInstallList, &plan.installed},
          std::pair{installerState.str_planUpgradeList, &plan.upgraded}}) {
        if (!names->empty())
            lists.emplace_back(heading);
        std::transform(names->begin(), names->end(), std::back_inserter(lists),
                       [](const std::string& name) { return "  " + name; });
    }
    return lists;
}

std::string stepMessage(const RunProgress& progress, const std::string& architecture)
{
    const InstallerState& s = installerState;
    switch (progress.step) {
    case RunProgress::AcceptingArchitecture:
        return fillIn(s.str_stepArchitecture, {architecture});
    case RunProgress::UpdatingLists:
        return s.str_stepLists;
    case RunProgress::Downloading:
        return s.str_stepDownloading;
    case RunProgress::Starting:
    case RunProgress::Installing:
        return s.str_installingMessage;
    }
    return {};
}

std::string progressText(const RunProgress& progress)
{
    const InstallerState& s = installerState;
    if (progress.package.empty() || progress.step != RunProgress::Installing)
        return {};
    return fillIn(progress.settingUp ? s.str_progressSettingUp : s.str_progressInstalling,
                  {shortened(progress.package, kLongestName), std::to_string(progress.number),
                   std::to_string(progress.packages)});
}

std::string failureMessage(const RunOutcome& outcome, const RunFailure& failure,
                           const std::optional<LockHolder>& lockTaken)
{
    const InstallerState& s = installerState;
    const std::string code = std::to_string(outcome.code);
    if (lockTaken)
        return fillIn(s.str_lockTakenMessage, {lockTaken->program});
    switch (outcome.kind) {
    case RunOutcome::Succeeded:
        return {};
    case RunOutcome::Refused:
        return s.str_cancelledMessage;
    case RunOutcome::NoRights:
        return s.str_noRightsMessage;
    case RunOutcome::ListsNotUpdated:
        return s.str_listsFailedMessage;
    case RunOutcome::PlanChanged:
        return fillIn(s.str_planChangedMessage, {""});
    case RunOutcome::Failed:
        break;
    }
    const std::string words = shortened(failure.words, kLongestDetail);
    const std::string package = shortened(failure.package, kLongestName);
    switch (failure.kind) {
    case RunFailure::SetUp:
        if (!words.empty())
            return fillIn(s.str_setUpFailedMessage, {package, words, code});
        break;
    case RunFailure::Unpack:
        if (!words.empty())
            return fillIn(s.str_unpackFailedMessage, {package, words, code});
        break;
    case RunFailure::Apt:
        return fillIn(s.str_aptFailedMessage, {words, code});
    case RunFailure::Unknown:
        break;
    }
    return fillIn(s.str_failedMessage, {code});
}
