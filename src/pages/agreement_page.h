#pragma once

#include <gtk/gtk.h>

// Creates the main window with the agreement page and shows it.
void initAndShowInstallWindow();

// "clicked" of the acceptance check button: Install is sensitive exactly while the
// box is ticked, and ticking moves the focus to it.
void checkButtonClicked(GtkWidget* widget, gpointer data);

// The notice, what the run area shows, and the button row take the height they need; the
// agreement gets what is left, down to its minimum, below which the window grows.
void shareAgreementHeight();
