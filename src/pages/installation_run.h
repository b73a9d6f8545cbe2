#pragma once

#include <gtk/gtk.h>

// "clicked" of Install: runs "pkexec dpkg -i" on the package list and waits for it, or,
// once a plan from the package sources was shown, the plan's command. On status 0 the
// finished page replaces the agreement page; otherwise nothing changes.
void buttonClicked(GtkWidget* widget, gpointer data);

// Removes the agreement page from the window, destroying its widgets.
void deallocInstallWindow();
