#pragma once

#include <gtk/gtk.h>

// Creates the main window with the agreement page and shows it.
void initAndShowInstallWindow();

// "clicked" of the acceptance check button: Install is sensitive exactly while the
// box is ticked, and ticking moves the focus to it.
void checkButtonClicked(GtkWidget* widget, gpointer data);
