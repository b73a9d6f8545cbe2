#pragma once

#include <gtk/gtk.h>

#include <vector>

// The window while a press of Install is under way: Install insensitive, a busy cursor
// over the window, a moving progress bar, and clicks and keys dropped.
struct Busy {
    GdkWindow* cover;
    guint pulsing;
    std::vector<GdkEvent*> held;  // a close asked meanwhile
};

void startBusy(Busy& busy);

// Input that reached the program up to the end of the run is dropped too; a close asked
// meanwhile is handed back to the main loop.
void endBusy(Busy& busy);

// Lays out and draws what the user is to see now, before a command starts, so that it
// stands there before any password dialog: a window that grows is laid out once the X
// server has answered.
void drawNow();
