#include "pages/installation_run.h"

#include "installer.h"
#include "pages/agreement_page.h"
#include "pages/finished_page.h"
#include "resources/package_check.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <string>
#include <vector>

namespace {

constexpr std::string_view kInstallCommand = "pkexec dpkg -i ";

// Runs `command` through /bin/sh and waits for it, like system(), whose raw wait status it
// returns. Unlike system(), the shell starts with the default handling of SIGPIPE, which
// GTK ignores in this process: an ignored signal stays ignored across exec.
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
    // As with system(), a shell that cannot be started reads as its exit code 127, and a
    // child that cannot be waited for as -1.
    int status = 127 << 8;
    if (posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv),
                    environ)
        == 0) {
        while (waitpid(child, &status, 0) < 0) {
            if (errno != EINTR) {
                status = -1;
                break;
            }
        }
    }
    posix_spawnattr_destroy(&attributes);
    return status;
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

// The command blocks the main loop, so what the user is to see meanwhile is laid out and
// drawn now: a window that grows is laid out once the X server has answered.
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

// The window does not answer while the check or the command runs, but the X server keeps
// the clicks and keys given meanwhile for it: handled afterwards, they would press Install
// again or press Done on a page never seen. They are dropped.
void endBusy(GdkWindow* cover)
{
    gdk_window_destroy(cover);
    sortQueuedEvents(false, true);
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

// The problems in the user's words, as many as are worth reading.
std::string reasonFor(const std::vector<PackageProblem>& problems)
{
    const InstallerState& s = installerState;
    const char* const words[] = {s.str_reasonNoPackage, s.str_reasonArchitecture,
                                 s.str_reasonMissing, s.str_reasonTooOld, s.str_reasonConflict};
    std::string reason;
    for (std::size_t i = 0; i < problems.size() && i < kMaxProblems; ++i)
        reason += (i ? "; " : "")
            + fillIn(words[problems[i].kind], {problems[i].name, problems[i].detail});
    if (problems.size() > kMaxProblems)
        reason += "; " + fillIn(s.str_reasonMore, {std::to_string(problems.size() - kMaxProblems)});
    return reason;
}

// pkexec ends with 126 when the user dismissed the authorisation or was refused it, with
// 127 when it could not ask (no authentication agent), as the shell does when it finds no
// pkexec; any other failure is dpkg's.
std::string failureMessage(int status)
{
    const InstallerState& s = installerState;
    if (status == 126 << 8)
        return s.str_cancelledMessage;
    if (status == 127 << 8)
        return s.str_noRightsMessage;
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

// Whether the packages cannot be installed as one set: then the reason is reported and
// nothing runs with administrator rights. dpkg would install what it could and leave the
// rest unpacked but not configured, and apt would refuse all work until that is repaired.
bool refused()
{
    const InstallerState& s = installerState;
    const auto problems = checkPackages(s.rpmPath);
    if (!problems || problems->empty())
        return false;
    const std::string reason = reasonFor(*problems);
    reportLine("cannot install: " + reason);
    showAgreementMessage(fillIn(s.str_refusedMessage, {reason}));
    return true;
}

}  // namespace

void buttonClicked(GtkWidget* /*widget*/, gpointer /*data*/)
{
    InstallerState& s = installerState;
    const std::string command = std::string(kInstallCommand) + s.rpmPath;
    if (command.size() > kMaxCommandLength) {
        reportLine("package list too long for one command, nothing installed");
        showAgreementMessage(s.str_tooLongMessage);
        return;
    }
    gtk_widget_set_sensitive(s.gButton, FALSE);
    GdkWindow* cover = coverWithBusyCursor();
    drawNow();
    int status = -1;
    if (!refused()) {
        showAgreementMessage(s.str_installingMessage);
        drawNow();
        // The shell runs the command by design (its status is the result); every package
        // path in the list is quoted for it.
        status = runThroughShell(command);
        reportLine("system return " + std::to_string(status));
        if (status != 0)
            showAgreementMessage(failureMessage(status));
    }
    endBusy(cover);
    if (status == 0) {
        // Install outlives its page until the press is handled to its end: pressed by a
        // screen reader, it is told next that the pointer left it.
        g_idle_add(release, g_object_ref(s.gButton));
        deallocInstallWindow();
        initAndshowInstallSucceededWindow();
        return;
    }
    gtk_widget_set_sensitive(s.gButton, TRUE);
    gtk_widget_grab_focus(s.gButton);
}

void deallocInstallWindow()
{
    InstallerState& s = installerState;
    gtk_widget_hide(s.vbox);
    gtk_container_remove(GTK_CONTAINER(s.window), s.vbox);
    // The page's widgets are destroyed with it.
    s.label = s.text_view = s.scrolled_window = s.message = s.gButton = s.fixed = s.check_button
        = s.vbox = nullptr;
    s.text_buffer = nullptr;
}
