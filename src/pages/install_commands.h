#pragma once

#include "resources/tool_run.h"

#include <string>
#include <string_view>

// The command line that installs the packages at `paths`, in that order, as shipped:
// "pkexec dpkg -i" and each path quoted for the shell; with dpkg keeping every configuration
// file the administrator changed when `keepConfiguration`, as it cannot ask.
std::string installCommand(const Words& paths, bool keepConfiguration = false);

// The command line that carries out a plan as root, with one authorisation: accepts
// `architecture` first, unless it is empty, and updates the package lists, then installs
// the packages at `paths` with what they need from the package sources, as long as apt
// installs or upgrades no package but those `consented` to.
std::string planCommand(const std::string& architecture, const Words& consented,
                        const Words& paths);

// The steps the plan's command reports on its standard output, among apt's status lines.
inline constexpr std::string_view kStepArchitecture = "step:architecture";
inline constexpr std::string_view kStepLists = "step:lists";
inline constexpr std::string_view kStepInstall = "step:install";

// What became of a run of one of these commands.
struct RunOutcome {
    enum Kind {
        Succeeded,
        Refused,  // the user dismissed the authorisation, or was refused it
        NoRights,  // no authentication agent could ask, or there is no pkexec
        ListsNotUpdated,  // the plan's package lists could not be updated
        PlanChanged,  // apt's plan, with the lists updated, is not the one consented to
        Failed,  // dpkg or apt failed, with `code`
    } kind;
    int code;  // the exit code, or 128 and the signal that ended the command
};

// The outcome of a run of the install command, or of the plan's command when `planned`,
// that ended with the raw wait status `status`.
RunOutcome outcomeOf(int status, bool planned);
