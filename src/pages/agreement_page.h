#pragma once

#include <gtk/gtk.h>

#include <string>

// Creates the main window with the agreement page and shows it.
void initAndShowInstallWindow();

// "clicked" of the acceptance check button: Install is sensitive exactly while the
// box is ticked, and ticking moves the focus to it.
void checkButtonClicked(GtkWidget* widget, gpointer data);

// Shows `text` in the message area between the agreement and the button row, in place of
// what it showed before; the agreement gives up the room it takes.
void showAgreementMessage(const std::string& text);

// Shows the progress bar below the message area, or hides it again.
void showAgreementProgress(bool shown);
