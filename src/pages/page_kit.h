#pragma once

#include <gtk/gtk.h>

// The window that holds the pages: 500 by 420 pixels, not resizable, with a border of 15
// around each page's content area.
inline constexpr int kWindowWidth = 500;
inline constexpr int kWindowHeight = 420;
inline constexpr int kWindowBorder = 15;
inline constexpr int kContentWidth = kWindowWidth - 2 * kWindowBorder;
inline constexpr int kContentHeight = kWindowHeight - 2 * kWindowBorder;

// The agreement area gives up height to a long notice or a wrapped check button label
// down to this; below it, the window grows rather than hide the text the user is asked
// to accept.
inline constexpr int kMinAgreementHeight = 60;

// A button row: the gap above its push button, the least width of that button, and the
// gap between the acceptance check button and Install.
inline constexpr int kButtonRowTop = 15;
inline constexpr int kMinButtonWidth = 50;
inline constexpr int kButtonGap = 10;

// Fonts are "12" parsed by Pango (12 points in the theme's family) with the size set to `points`.
void setFont(GtkWidget* widget, int points);

// Makes `label` wrap at word boundaries within `width` pixels, breaking a word wider than
// that between characters rather than letting it run past the edge, its lines set as
// `justify` says, and asks for the width of its widest line.
void wrapLabel(GtkWidget* label, int width, GtkJustification justify = GTK_JUSTIFY_LEFT);

// Creates a button row packed below the other children of `box` and places `button` in
// it, 15 pixels from the row's top with its right edge at the content's right edge. The
// button is widened to at least 50 pixels; one wider than the content gets the content's
// width and its label wraps. `box` must already be inside the window: only there does
// GTK+ 2 measure the button in the theme and font it is drawn with. Returns the row (a
// GtkFixed) and the button's final size.
GtkWidget* packButtonRow(GtkWidget* box, GtkWidget* button, GtkRequisition& size);

// Sets the window to its 500 by 420 pixels, or taller when a page's content needs more
// than the 390 pixels of height it has there.
void fitWindowTo(int contentHeight);
