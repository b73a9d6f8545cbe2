#include "pages/installation_run.h"

#include "installer.h"
#include "pages/agreement_page.h"
#include "pages/beside_main_loop.h"
#include "pages/busy_cover.h"
#include "pages/finished_page.h"
#include "pages/install_commands.h"
#include "pages/run_messages.h"

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

// Reports what the plan enables and brings, and keeps its command for the next press.
void showPlan(const CheckAnswer& answer)
{
    InstallerState& s = installerState;
    std::string command = planCommand(answer.plan->architecture, answer.order);
    if (tooLong(command))
        return;
    const std::string sentences = planSentences(*answer.plan);
    reportLine("plan: " + sentences);
    showAgreementMessage(fillIn(s.str_planMessage, {sentences}));
    s.plannedCommand = std::move(command);
}

void showRefusal(const std::vector<PackageProblem>& problems)
{
    const std::string reasons = refusalReasons(problems);
    reportLine("cannot install: " + reasons);
    showAgreementMessage(fillIn(installerState.str_refusedMessage, {reasons}));
}

// The command to run now, or nothing. The packages may not be installable as one set: then
// the reason is shown and nothing runs with administrator rights. dpkg would install what
// it could and leave the rest unpacked but not configured, and apt would refuse all work
// until that is repaired. Or the package sources make up what they lack: then the plan is
// shown, for a second press to carry out. Otherwise the packages go to dpkg in the order
// in which it can install them, or as listed when the check cannot tell.
std::optional<std::string> commandAfterCheck()
{
    const InstallerState& s = installerState;
    const auto result = checkBesideMainLoop(s.rpmPath);
    if (const auto* cannotTell = std::get_if<CannotTell>(&result)) {
        reportLine("cannot tell: " + cannotTell->why);
        return installCommand(s.rpmPath);
    }
    const auto& answer = std::get<CheckAnswer>(result);
    if (answer.plan) {
        showPlan(answer);
        return std::nullopt;
    }
    if (!answer.problems.empty()) {
        showRefusal(answer.problems);
        return std::nullopt;
    }
    return installCommand(answer.order.empty() ? s.rpmPath : answer.order);
}

// Runs `command` with the page saying so; returns its raw wait status.
int run(const std::string& command, bool planned)
{
    InstallerState& s = installerState;
    showAgreementMessage(s.str_installingMessage);
    drawNow();
    // The shell runs the command by design (its status is the result); every package path
    // in it is quoted for it.
    const int status = runThroughShell(command);
    reportLine("system return " + std::to_string(status));
    if (status != 0)
        showAgreementMessage(failureMessage(outcomeOf(status, planned)));
    return status;
}

void showFinishedPage()
{
    // Install outlives its page until the press is handled to its end: pressed by a screen
    // reader, it is told next that the pointer left it.
    g_idle_add(
        [](gpointer button) {
            g_object_unref(button);
            return FALSE;
        },
        g_object_ref(installerState.gButton));
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
    const bool planned = !s.plannedCommand.empty();
    if (tooLong(planned ? s.plannedCommand : installCommand(s.rpmPath)))
        return;
    s.installing = true;
    Busy busy{};
    startBusy(busy);
    drawNow();
    const auto command = planned ? s.plannedCommand : commandAfterCheck();
    const int status = command ? run(*command, planned) : -1;
    endBusy(busy);
    s.installing = false;
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
        = s.check_button = s.vbox = nullptr;
    s.text_buffer = nullptr;
}
