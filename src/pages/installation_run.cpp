#include "pages/installation_run.h"

#include "installer.h"
#include "pages/beside_main_loop.h"
#include "pages/busy_cover.h"
#include "pages/finished_page.h"
#include "pages/install_commands.h"
#include "pages/run_area.h"
#include "pages/run_messages.h"
#include "pages/run_monitor.h"

namespace {

// Whether `command` is too long to run; then that is reported.
bool tooLong(const std::string& command)
{
    if (command.size() <= kMaxCommandLength)
        return false;
    reportLine("package list too long for one command, nothing installed");
    showAgreementMessage(installerState.str_tooLongMessage);
    return true;
}

// Reports what the plan enables and brings, every package in the details, and keeps its
// command for the next press. `message` holds the sentences.
void showPlan(const CheckAnswer& answer, const char* message)
{
    InstallerState& s = installerState;
    const SourcesPlan& plan = *answer.plan;
    std::string command = planCommand(plan.architecture, consented(plan), answer.order);
    if (tooLong(command))
        return;
    const std::string sentences = planSentences(plan);
    // Every package, on a line that may be long.
    std::string line = "plan: " + sentences;
    const auto list = [&](const char* heading, const Words& names) {
        for (std::size_t i = 0; i < names.size(); ++i)
            line.append(i ? ", " : std::string(" ") + heading + " ").append(names[i]);
        line.append(names.empty() ? "" : ".");
    };
    list(s.str_planInstallList, plan.installed);
    list(s.str_planUpgradeList, plan.upgraded);
    reportLine(line);
    showAgreementMessage(fillIn(message, {sentences}));
    clearAgreementDetails();
    for (const std::string& entry : planLists(plan))
        appendAgreementDetails(entry);
    s.plannedCommand = std::move(command);
    s.plannedThroughApt = true;
    s.plannedArchitecture = plan.architecture;
    s.plannedPackages = static_cast<int>(plan.installed.size() + plan.upgraded.size());
}

// Reports what dpkg would do without a word, and keeps the command for the next press.
void showCautions(const CheckAnswer& answer)
{
    InstallerState& s = installerState;
    std::string command = installCommand(answer.order, answer.keepConfiguration);
    if (tooLong(command))
        return;
    const std::string reasons = refusalReasons(answer.cautions);
    reportLine("caution: " + reasons);
    showAgreementMessage(fillIn(s.str_cautionMessage, {reasons}));
    s.plannedCommand = std::move(command);
    s.plannedPackages = static_cast<int>(answer.order.size());
}

void showRefusal(const std::vector<PackageProblem>& problems)
{
    const std::string reasons = refusalReasons(problems);
    reportLine("cannot install: " + reasons);
    showAgreementMessage(fillIn(installerState.str_refusedMessage, {reasons}));
}

// Waits while another program installs software, which holds dpkg's or apt's lock: the
// page says which, and the bar moves. Returns false when a close was asked meanwhile.
bool waitForOtherInstallations(const Busy& busy)
{
    std::optional<LockHolder> holder = heldInstallLock();
    if (!holder)
        return true;
    reportLine("waiting for " + holder->program + ", which holds " + holder->lock);
    showAgreementMessage(fillIn(installerState.str_waitingMessage, {holder->program}));
    iterateUntil([&] { return busy.close || !heldInstallLock(); }, 500);
    return !busy.close;
}

// The command to run now, or nothing. The packages may not be installable as one set: then
// the reason is shown and nothing runs with administrator rights. dpkg would install what
// it could and leave the rest unpacked but not configured, and apt would refuse all work
// until that is repaired. Or the package sources make up what they lack: then the plan is
// shown in `planMessage`, for a second press to carry out. Otherwise the packages go to
// dpkg in the order in which it can install them, or as listed when the check cannot tell.
std::optional<std::string> commandAfterCheck(const Busy& busy, const char* planMessage)
{
    const InstallerState& s = installerState;
    std::variant<CheckAnswer, CannotTell> result;
    const auto fetching = [] { showAgreementMessage(installerState.str_planFetchingMessage); };
    do {
        if (!waitForOtherInstallations(busy))
            return std::nullopt;
        result = checkBesideMainLoop(s.rpmPath, fetching);
        if (busy.close)
            return std::nullopt;
        // Packages that another program is installing are not broken: it is waited for.
    } while (std::holds_alternative<CheckAnswer>(result)
             && !std::get<CheckAnswer>(result).problems.empty()
             && std::get<CheckAnswer>(result).problems.front().kind == PackageProblem::Broken
             && heldInstallLock());
    if (const auto* cannotTell = std::get_if<CannotTell>(&result)) {
        reportLine("cannot tell: " + cannotTell->why);
        return installCommand(s.rpmPath);
    }
    const auto& answer = std::get<CheckAnswer>(result);
    if (!answer.planUnknown.empty()) {
        reportLine("plan cannot be known: " + answer.planUnknown);
        showAgreementMessage(s.str_planUnknownMessage);
        return std::nullopt;
    }
    if (answer.plan) {
        showPlan(answer, planMessage);
        return std::nullopt;
    }
    if (!answer.problems.empty()) {
        showRefusal(answer.problems);
        return std::nullopt;
    }
    if (!answer.cautions.empty()) {
        showCautions(answer);
        return std::nullopt;
    }
    return installCommand(answer.order.empty() ? s.rpmPath : answer.order,
                          answer.keepConfiguration);
}

// Runs `command`, the page showing how it goes; returns its raw wait status.
int run(const std::string& command, bool planned, Busy& busy)
{
    const InstallerState& s = installerState;
    busy.running = true;
    const bool throughApt = planned && s.plannedThroughApt;
    const RunResult result = runShowingProgress(
        command, throughApt, s.plannedArchitecture,
        planned ? s.plannedPackages : static_cast<int>(s.rpmPath.size()), busy);
    if (result.status == 0)
        return 0;
    const RunOutcome outcome = outcomeOf(result.status, throughApt);
    // A plan that a retry cannot mend is not carried out again: the next press checks anew.
    if (outcome.kind != RunOutcome::Refused && outcome.kind != RunOutcome::NoRights
        && outcome.kind != RunOutcome::ListsNotUpdated)
        installerState.plannedCommand.clear();
    if (outcome.kind == RunOutcome::PlanChanged) {
        reportLine("plan changed, nothing installed");
        if (commandAfterCheck(busy, installerState.str_planChangedMessage))
            showAgreementMessage(fillIn(installerState.str_planChangedMessage, {""}));
        return result.status;
    }
    // dpkg or apt found its lock taken by another program since the check: nothing was done.
    const bool mayBeLock
        = outcome.kind == RunOutcome::Failed || outcome.kind == RunOutcome::ListsNotUpdated;
    const auto lockTaken
        = mayBeLock && !result.progress.dpkgBegan ? heldInstallLock() : std::nullopt;
    showAgreementMessage(
        failureMessage(outcome, readFailure(result.progress, result.output), lockTaken));
    return result.status;
}

gboolean release(gpointer object)
{
    g_object_unref(object);
    return FALSE;
}

void showFinishedPage()
{
    // Install outlives its page until the press is handled to its end: pressed by a screen
    // reader, it is told next that the pointer left it.
    g_idle_add(release, g_object_ref(installerState.gButton));
    deallocInstallWindow();
    initAndshowInstallSucceededWindow();
}

// Install is pressable again while the box is ticked, and has the focus.
void readyForAnotherPress()
{
    InstallerState& s = installerState;
    gtk_widget_set_sensitive(s.gButton,
                             gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(s.check_button)));
    gtk_widget_grab_focus(s.gButton);
}

}  // namespace

void buttonClicked(GtkWidget* /*widget*/, gpointer /*data*/)
{
    InstallerState& s = installerState;
    // The main loop runs meanwhile: a press that reaches Install then, as a screen reader's
    // action can, must not start a second run.
    if (s.installing)
        return;
    if (s.rpmPath.empty()) {
        reportLine("nothing to install");
        showAgreementMessage(s.str_nothingMessage);
        return;
    }
    const bool planned = !s.plannedCommand.empty();
    if (tooLong(planned ? s.plannedCommand : installCommand(s.rpmPath)))
        return;
    s.installing = true;
    Busy busy{};
    startBusy(busy);
    drawNow();
    const auto command = planned ? s.plannedCommand : commandAfterCheck(busy, s.str_planMessage);
    if (planned)
        clearAgreementDetails();
    const int status = command && !busy.close ? run(*command, planned, busy) : -1;
    // A close asked before the command ran, or during a run that succeeded, ends the
    // program now; after a failure, the window stays and says why.
    endBusy(busy, !busy.running || status == 0);
    s.installing = false;
    // Said once the window takes input again.
    if (busy.running)
        reportLine("system return " + std::to_string(status));
    if (status == 0)
        showFinishedPage();
    else
        readyForAnotherPress();
}

void deallocInstallWindow()
{
    InstallerState& s = installerState;
    gtk_widget_hide(s.vbox);
    gtk_container_remove(GTK_CONTAINER(s.window), s.vbox);
    // The page's widgets are destroyed with it.
    s.label = s.text_view = s.scrolled_window = s.message = s.progress = s.gButton = s.fixed
        = s.check_button = s.vbox = s.details = s.details_view = nullptr;
    s.text_buffer = nullptr;
}
