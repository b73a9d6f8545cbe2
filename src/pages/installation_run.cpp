#include "pages/installation_run.h"

#include "installer.h"
#include "pages/finished_page.h"

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
    if (posix_spawn(&child, "/bin/sh", nullptr, &attributes, const_cast<char* const*>(argv), environ) == 0) {
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

// The window does not answer while the command runs, but the X server keeps the clicks
// and keys given meanwhile for it: handled afterwards, they would press Install again or
// press Done on a page never seen. They are dropped; every other event is kept.
void dropQueuedInput()
{
    gdk_flush();  // a round trip: all the server holds for this window is now queued here
    std::vector<GdkEvent*> kept;
    while (GdkEvent* event = gdk_event_get()) {
        if (isInput(event->type))
            gdk_event_free(event);
        else
            kept.push_back(event);
    }
    for (GdkEvent* event : kept) {
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

}  // namespace

void buttonClicked(GtkWidget* /*widget*/, gpointer /*data*/)
{
    InstallerState& s = installerState;
    const std::string command = std::string(kInstallCommand) + s.rpmPath;
    if (command.size() > kMaxCommandLength) {
        reportLine("package list too long for one command, nothing installed");
        return;
    }
    gtk_widget_set_sensitive(s.gButton, FALSE);
    // Drawn insensitive now: the window does not repaint until the command has ended.
    gdk_window_process_all_updates();
    gdk_flush();
    // The shell runs the command by design (its status is the result); every package
    // path in the list is quoted for it.
    const int status = runThroughShell(command);
    reportLine("system return " + std::to_string(status));
    dropQueuedInput();
    if (status == 0) {
        deallocInstallWindow();
        initAndshowInstallSucceededWindow();
    } else {
        gtk_widget_set_sensitive(s.gButton, TRUE);
        gtk_widget_grab_focus(s.gButton);
    }
}

void deallocInstallWindow()
{
    InstallerState& s = installerState;
    gtk_widget_hide(s.vbox);
    gtk_container_remove(GTK_CONTAINER(s.window), s.vbox);
    // The page's widgets are destroyed with it.
    s.label = s.text_view = s.scrolled_window = s.gButton = s.fixed = s.check_button = s.vbox = nullptr;
    s.text_buffer = nullptr;
}
