#include "pages/installation_run.h"

#include "installer.h"
#include "pages/finished_page.h"

#include <cstdio>
#include <cstdlib>

namespace {
constexpr char kInstallCommand[] = "pkexec dpkg -i %s";
}

void buttonClicked(GtkWidget* /*widget*/, gpointer /*data*/)
{
    // Room for the whole package list: a command cut inside an entry would install
    // less than the list promises, or a different file.
    char command[sizeof kInstallCommand + kTextBufferSize];
    std::snprintf(command, sizeof command, kInstallCommand, installerState.rpmPath);
    // The shell runs the command by design (its status is the result); every package
    // path in the list is quoted for it.
    const int status = std::system(command);  // NOLINT(cert-env33-c)
    g_print("system return %d\n", status);
    if (status == 0) {
        deallocInstallWindow();
        initAndshowInstallSucceededWindow();
    }
}

void deallocInstallWindow()
{
    InstallerState& s = installerState;
    gtk_widget_hide(s.vbox);
    gtk_container_remove(GTK_CONTAINER(s.window), s.vbox);
}
