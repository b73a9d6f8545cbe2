#pragma once

#include <gtk/gtk.h>

// The window while a press of Install is under way: Install insensitive, a busy cursor
// over the window, a progress bar, and clicks and keys dropped but for the details. A close
// asked meanwhile is held: while the command runs, the page says that the window closes
// once it has ended.
struct Busy {
    GdkWindow* cover;
    gulong uncovering;  // keeps the details uncovered as they move
    GdkEvent* close;  // a close asked meanwhile
    bool running;  // the command runs
};

void startBusy(Busy& busy);

// The page again as it was but for its message, with Install insensitive still. Input that
// reached the program meanwhile is dropped too; a close asked meanwhile is carried out
// when `carryOutClose`, else forgotten.
void endBusy(Busy& busy, bool carryOutClose);

// Lays out and draws what the user is to see now, before a command starts, so that it
// stands there before any password dialog: a window that grows is laid out once the X
// server has answered.
void drawNow();
