#include "pages/installation_run.h"

#include "installer.h"
#include "pages/agreement_page.h"
#include "pages/finished_page.h"
#include "resources/package_check.h"
#include "resources/package_discovery.h"
#include "resources/utf8_text.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::string_view kInstallCommand = "pkexec dpkg -i ";

// How planScript ends when the package lists could not be updated.
constexpr int kListsNotUpdated = 75;

// Carries out a plan as root in one run: $1 is the architecture to accept first, "" for
// none, and the packages follow. apt takes a file only by a name ending in ".deb", and may
// ask nothing: there is no terminal. An architecture that the run accepted is given up
// again when the installation fails; dpkg keeps it when a package of it was installed.
std::string planScript()
{
    return R"(arch=$1; shift
dir=$(mktemp -d) || exit 1
trap 'rm -rf "$dir"' EXIT
n=0
for package; do n=$((n + 1)); ln -s "$package" "$dir/$n.deb" || exit 1; done
if [ -n "$arch" ]; then
    dpkg --add-architecture "$arch" || exit 1
    apt-get update -q -o APT::Update::Error-Mode=any ||
        { dpkg --remove-architecture "$arch"; exit 75; }
fi
DEBIAN_FRONTEND=noninteractive apt-get install -y -q )"
        + std::string(kPlanOptions) + R"( \
    -o Dpkg::Options::=--force-confdef -o Dpkg::Options::=--force-confold "$dir"/*.deb </dev/null
status=$?
[ $status = 0 ] || [ -z "$arch" ] || dpkg --remove-architecture "$arch" 2>/dev/null
exit $status)";
}

// Runs the main loop until `ended` is true: the window is drawn and answers the window
// manager and screen readers meanwhile. Whatever sets `ended` wakes the loop.
void iterateUntil(const std::atomic<bool>& ended)
{
    while (!ended)
        gtk_main_iteration();
}

struct CommandWait {
    std::atomic<bool> ended = false;
    int status = -1;
};

void commandEnded(GPid /*pid*/, gint status, gpointer data)
{
    auto* wait = static_cast<CommandWait*>(data);
    wait->status = status;
    wait->ended = true;
}

// Runs `command` through /bin/sh and waits for it, like system(), whose raw wait status it
// returns, but with the main loop running. Unlike system(), the shell starts with the
// default handling of SIGPIPE, which GTK ignores in this process: an ignored signal stays
// ignored across exec.
int runThroughShell(const std::string& command)
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGPIPE);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF);
    const char* const argv[] = {"sh", "-c", "--", command.c_str(), nullptr};
    pid_t child = 0;
    // As with system(), a shell that cannot be started reads as its exit code 127.
    int status = 127 << 8;
    if (posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv),
                    environ)
        == 0) {
        CommandWait wait;
        g_child_watch_add(child, commandEnded, &wait);
        iterateUntil(wait.ended);
        status = wait.status;
    }
    posix_spawnattr_destroy(&attributes);
    return status;
}

// The check takes a moment or two (apt reads the whole package database): it runs beside
// the main loop. It touches no widget.
std::optional<CheckAnswer> checkBesideMainLoop(const std::string& list)
{
    std::optional<CheckAnswer> answer;
    std::atomic<bool> ended = false;
    std::thread check([&] {
        answer = checkPackages(list);
        ended = true;
        g_main_context_wakeup(nullptr);
    });
    iterateUntil(ended);
    check.join();
    return answer;
}

bool isInput(GdkEventType type)
{
    switch (type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_SCROLL:
        return true;
    default:
        return false;
    }
}

// Takes every event the X server holds for the program (gdk_flush is a round trip) and, by
// kind: handles the window's new size at once when `layOut`, drops clicks and keys when
// `dropInput`, and puts back all others, in their order, for the main loop.
void sortQueuedEvents(bool layOut, bool dropInput)
{
    gdk_flush();
    std::vector<GdkEvent*> kept;
    while (GdkEvent* event = gdk_event_get()) {
        if (layOut && event->type == GDK_CONFIGURE) {
            gtk_main_do_event(event);
            gdk_event_free(event);
        } else if (dropInput && isInput(event->type)) {
            gdk_event_free(event);
        } else {
            kept.push_back(event);
        }
    }
    for (GdkEvent* event : kept) {
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

// What the user is to see while the command runs is laid out and drawn before it starts,
// so that it stands there before any password dialog: a window that grows is laid out
// once the X server has answered.
void drawNow()
{
    GtkContainer* window = GTK_CONTAINER(installerState.window);
    gtk_container_check_resize(window);
    sortQueuedEvents(true, false);
    gtk_container_check_resize(window);
    gdk_window_process_all_updates();
    gdk_flush();
}

// A busy cursor over the whole window, on a pane that also keeps clicks from its widgets.
GdkWindow* coverWithBusyCursor()
{
    GtkWidget* window = installerState.window;
    GdkWindowAttr attributes{};
    attributes.wclass = GDK_INPUT_ONLY;
    attributes.window_type = GDK_WINDOW_CHILD;
    attributes.width = gdk_screen_get_width(gtk_widget_get_screen(window));
    attributes.height = gdk_screen_get_height(gtk_widget_get_screen(window));
    attributes.cursor = gdk_cursor_new_for_display(gtk_widget_get_display(window), GDK_WATCH);
    GdkWindow* cover = gdk_window_new(window->window, &attributes, GDK_WA_CURSOR);
    gdk_cursor_unref(attributes.cursor);
    gdk_window_show(cover);
    return cover;
}

// While the check or the command runs, clicks and keys are dropped as they come: handled
// afterwards, they would press Install again or press Done on a page never seen. A close
// is held back until the run has ended, and then carried out: ending the program meanwhile
// would leave dpkg running unseen and the user without its result.
void filterDuringRun(GdkEvent* event, gpointer held)
{
    if (event->type == GDK_DELETE)
        static_cast<std::vector<GdkEvent*>*>(held)->push_back(gdk_event_copy(event));
    else if (!isInput(event->type))
        gtk_main_do_event(event);
}

void handleAsUsual(GdkEvent* event, gpointer /*data*/)
{
    gtk_main_do_event(event);
}

gboolean pulse(gpointer bar)
{
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
    return TRUE;
}

struct Busy {
    GdkWindow* cover;
    guint pulsing;
    std::vector<GdkEvent*> held;
};

// Install insensitive, a busy cursor and a moving progress bar, and input dropped.
void startBusy(Busy& busy)
{
    InstallerState& s = installerState;
    gtk_widget_set_sensitive(s.gButton, FALSE);
    busy.cover = coverWithBusyCursor();
    showAgreementProgress(true);
    busy.pulsing = g_timeout_add(100, pulse, s.progress);
    gdk_event_handler_set(filterDuringRun, &busy.held, nullptr);
}

// Input that reached the program up to the end of the run is dropped too; a close given
// meanwhile is handed back to the main loop.
void endBusy(Busy& busy)
{
    gdk_event_handler_set(handleAsUsual, nullptr, nullptr);
    g_source_remove(busy.pulsing);
    showAgreementProgress(false);
    gdk_window_destroy(busy.cover);
    sortQueuedEvents(false, true);
    for (GdkEvent* event : busy.held) {
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

// `text` with each "%s" in turn replaced by the next of `values`.
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

// `text`, or as much of it as fits in about `bytes` bytes, cut between characters.
std::string shortened(std::string_view text, std::size_t bytes)
{
    return text.size() <= bytes
        ? std::string(text)
        : std::string(text.substr(0, characterBoundary(text, bytes))) + "\u2026";
}

// A name in a reason or a plan is shortened past this many bytes.
constexpr std::size_t kLongestName = 60;

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

// The problems in the user's words, as many as are worth reading, each short enough to read.
std::string reasonFor(const std::vector<PackageProblem>& problems)
{
    const InstallerState& s = installerState;
    const char* const words[]
        = {s.str_reasonNoPackage,   s.str_reasonArchitecture, s.str_reasonMissing,
           s.str_reasonTooOld,      s.str_reasonConflict,     s.str_reasonIncompatible,
           s.str_reasonBreaks,      s.str_reasonNeeds,        s.str_reasonShippedVersion,
           s.str_reasonUnsatisfied, s.str_reasonSameFile,     s.str_reasonDpkg,
           s.str_reasonPreDepends,  s.str_reasonBroken};
    // Each reason stays within about 200 bytes: a name, a relation or dpkg's words, a path.
    constexpr std::size_t kLongestDetail = 120;
    constexpr std::size_t kLongestPath = 80;
    const auto named = [&](const std::string& name, bool installed, std::size_t longest) {
        const std::string shown = shortened(name, longest);
        return installed ? fillIn(s.str_reasonInstalledPackage, {shown}) : shown;
    };
    return firstFew(problems.size(), "; ", [&](std::size_t i) {
        const PackageProblem& problem = problems[i];
        return fillIn(words[problem.kind],
                      {named(problem.name, problem.nameInstalled, kLongestName),
                       named(problem.detail, problem.detailInstalled, kLongestDetail),
                       shortened(problem.extra, kLongestPath)});
    });
}

// pkexec ends with 126 when the user dismissed the authorisation or was refused it, with
// 127 when it could not ask (no authentication agent), as the shell does when it finds no
// pkexec; any other failure is dpkg's, or a plan's.
std::string failureMessage(int status, bool planned)
{
    const InstallerState& s = installerState;
    if (status == 126 << 8)
        return s.str_cancelledMessage;
    if (status == 127 << 8)
        return s.str_noRightsMessage;
    if (planned && status == kListsNotUpdated << 8)
        return s.str_listsFailedMessage;
    const int code = WIFEXITED(status) ? WEXITSTATUS(status)
        : WIFSIGNALED(status)          ? 128 + WTERMSIG(status)
                                       : status;
    return fillIn(s.str_failedMessage, {std::to_string(code)});
}

gboolean release(gpointer object)
{
    g_object_unref(object);
    return FALSE;
}

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
    const SourcesPlan& plan = *answer.plan;
    std::string command = "pkexec /bin/sh -c ";
    appendQuotedPath(command, planScript());
    command += "sh ";
    appendQuotedPath(command, plan.architecture);
    for (const std::string& path : answer.order)
        appendQuotedPath(command, path);
    if (tooLong(command))
        return;
    std::string parts = plan.architecture.empty()
        ? std::string()
        : fillIn(s.str_planArchitecture, {plan.architecture});
    if (!plan.packages.empty()) {
        const std::string names = firstFew(plan.packages.size(), ", ", [&](std::size_t i) {
            return shortened(plan.packages[i], kLongestName);
        });
        parts += (parts.empty() ? "" : " ") + fillIn(s.str_planSources, {names});
    }
    reportLine("plan: " + parts);
    showAgreementMessage(fillIn(s.str_planMessage, {parts}));
    s.plannedCommand = command;
}

// Whether nothing is to run now. The packages may not be installable as one set: then the
// reason is reported and nothing runs with administrator rights. dpkg would install what
// it could and leave the rest unpacked but not configured, and apt would refuse all work
// until that is repaired. Or the package sources make up what they lack: then the plan is
// shown, for a second press to carry out. Otherwise `command` gets the packages in the
// order in which dpkg can install them.
bool heldBack(std::string& command)
{
    const InstallerState& s = installerState;
    const auto answer = checkBesideMainLoop(s.rpmPath);
    if (answer && answer->plan) {
        showPlan(*answer);
        return true;
    }
    if (answer && answer->problems.empty() && !answer->order.empty()) {
        command = kInstallCommand;
        for (const std::string& path : answer->order)
            appendQuotedPath(command, path);
    }
    if (!answer || answer->problems.empty())
        return false;
    const std::string reason = reasonFor(answer->problems);
    reportLine("cannot install: " + reason);
    showAgreementMessage(fillIn(s.str_refusedMessage, {reason}));
    return true;
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
    std::string command = planned ? s.plannedCommand : std::string(kInstallCommand) + s.rpmPath;
    if (tooLong(command))
        return;
    s.installing = true;
    Busy busy{};
    startBusy(busy);
    drawNow();
    int status = -1;
    if (planned || !heldBack(command)) {
        showAgreementMessage(s.str_installingMessage);
        drawNow();
        // The shell runs the command by design (its status is the result); every package
        // path in the list is quoted for it.
        status = runThroughShell(command);
        reportLine("system return " + std::to_string(status));
        if (status != 0)
            showAgreementMessage(failureMessage(status, planned));
    }
    endBusy(busy);
    s.installing = false;
    if (status == 0) {
        // Install outlives its page until the press is handled to its end: pressed by a
        // screen reader, it is told next that the pointer left it.
        g_idle_add(release, g_object_ref(s.gButton));
        deallocInstallWindow();
        initAndshowInstallSucceededWindow();
        return;
    }
    gtk_widget_set_sensitive(s.gButton,
                             gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(s.check_button)));
    gtk_widget_grab_focus(s.gButton);
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
