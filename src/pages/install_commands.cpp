#include "pages/install_commands.h"

#include "resources/package_discovery.h"
#include "resources/sources_plan.h"

#include <sys/wait.h>

namespace {

// Carries out a plan as root in one run: $1 is the architecture to accept first, "" for
// none, $2 the packages the user consented to (as apt-get -s names them, between spaces),
// and the packages follow. Its steps, and apt's status, go to its standard output; what
// apt and dpkg say, to its standard error. apt takes a file only by a name ending in
// ".deb", and may ask nothing: there is no terminal. Should apt, its lists updated, install
// or upgrade any other package, nothing is installed. What the run enabled is given up again
// when it does not succeed: the architecture, unless dpkg keeps it as a package of it was
// installed, and that architecture's lists, so that apt reads no more than before.
constexpr std::string_view kPlanScript = R"script(arch=$1 consented=" $2 "; shift 2
exec 3>&1 1>&2
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
n=0
for package; do n=$((n + 1)); ln -s "$package" "$dir/$n.deb" || exit 1; done
undo() {
    [ -n "$arch" ] && dpkg --remove-architecture "$arch" 2>/dev/null || return 0
    eval "$(apt-config shell lists Dir::State::lists/d)"
    rm -f "$lists"*_binary-"$arch"_* "$lists"*_Components-"$arch".* "$lists"*_Contents-"$arch"*
    apt-cache gencaches >/dev/null 2>&1
}
set -- -q -o APT::Install-Recommends=false --no-remove \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold install "$dir"/*.deb
if [ -n "$arch" ]; then
    echo step:architecture >&3
    dpkg --add-architecture "$arch" || exit 1
    echo step:lists >&3
    apt-get update -q -o APT::Update::Error-Mode=any -o APT::Status-Fd=3 || { undo; exit 75; }
fi
LC_ALL=C apt-get -s "$@" >"$dir/plan" || { undo; exit 76; }
for name in $(sed -n 's/^Inst \([^ ]*\) .*/\1/p' "$dir/plan"); do
    case $consented in *" $name "*) ;; *) echo "not consented to: $name"; undo; exit 76 ;; esac
done
echo step:install >&3
DEBIAN_FRONTEND=noninteractive apt-get -y -o APT::Status-Fd=3 "$@" </dev/null
status=$?
[ $status = 0 ] || undo
exit $status)script";

// How the script ends when the package lists could not be updated, and when apt's plan is
// no more the one the user consented to.
constexpr int kListsNotUpdated = 75;
constexpr int kPlanChanged = 76;

// The plan is carried out with the options it was worked out with.
static_assert(kPlanScript.find(kPlanOptions) != std::string_view::npos);
static_assert(kPlanScript.find("exit 75;") != std::string_view::npos);
static_assert(kPlanScript.find("exit 76;") != std::string_view::npos);
static_assert(kPlanScript.find(kStepArchitecture) != std::string_view::npos
              && kPlanScript.find(kStepLists) != std::string_view::npos
              && kPlanScript.find(kStepInstall) != std::string_view::npos);

// pkexec ends with 126 when the user dismissed the authorisation or was refused it, and
// with 127 when it could not ask (no authentication agent), as the shell does when it
// finds no pkexec.
constexpr int kRefused = 126;
constexpr int kNoRights = 127;

}  // namespace

std::string installCommand(const Words& paths, bool keepConfiguration)
{
    std::string command
        = keepConfiguration ? "pkexec dpkg --force-confdef --force-confold -i " : "pkexec dpkg -i ";
    for (const std::string& path : paths)
        appendQuoted(command, path);
    return command;
}

std::string planCommand(const std::string& architecture, const Words& consented, const Words& paths)
{
    std::string command = "pkexec /bin/sh -c ";
    appendQuoted(command, kPlanScript);
    command += "sh ";
    appendQuoted(command, architecture);
    std::string names;
    for (const std::string& name : consented)
        names.append(names.empty() ? "" : " ").append(name);
    appendQuoted(command, names);
    for (const std::string& path : paths)
        appendQuoted(command, path);
    return command;
}

RunOutcome outcomeOf(int status, bool planned)
{
    const int code = WIFEXITED(status) ? WEXITSTATUS(status)
        : WIFSIGNALED(status)          ? 128 + WTERMSIG(status)
                                       : status;
    if (status == 0)
        return {RunOutcome::Succeeded, 0};
    if (status == kRefused << 8)
        return {RunOutcome::Refused, code};
    if (status == kNoRights << 8)
        return {RunOutcome::NoRights, code};
    if (planned && status == kListsNotUpdated << 8)
        return {RunOutcome::ListsNotUpdated, code};
    if (planned && status == kPlanChanged << 8)
        return {RunOutcome::PlanChanged, code};
    return {RunOutcome::Failed, code};
}
