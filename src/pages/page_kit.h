#pragma once

#include <gtk/gtk.h>

// The page geometry, in pixels at 96 dots per inch; px() scales each size to the desktop.
// The window that holds the pages: 500 by 420 pixels, not resizable, with a border of 15
// around each page's content area.
inline constexpr int kWindowWidth = 500;
inline constexpr int kWindowHeight = 420;
inline constexpr int kWindowBorder = 15;

// The agreement area gives up height to a long notice or a wrapped check button label
// down to this; below it, the window grows rather than hide the text the user is asked
// to accept.
inline constexpr int kMinAgreementHeight = 60;

// A button row: the gap above its push button, the least width of that button, and the
// gap between the acceptance check button and Install.
inline constexpr int kButtonRowTop = 15;
inline constexpr int kMinButtonWidth = 50;
inline constexpr int kButtonGap = 10;

// `pixels` at 96 dpi scaled by the desktop's font resolution (Xft.dpi, as GDK reports it)
// over 96, taken in quarters and never below 1, then rounded: in a desktop whose fonts
// are larger for a screen of more dots per inch, the pages keep their looks.
int px(int pixels);

// The window's size, scaled, but no larger than the screen's work area, and the content
// area's: the window less its border on each side.
int windowWidth();
int windowHeight();
int contentWidth();
int contentHeight();

// Where a widget `width` pixels wide stands in the content area when a left-to-right page
// would put it `x` pixels from the left edge: mirrored when the toolkit's direction is
// right-to-left, as GTK mirrors its own boxes (a GtkFixed does not).
int mirrored(int x, int width);

// Fonts are "12" parsed by Pango (12 points in the theme's family) with the size set to `points`.
void setFont(GtkWidget* widget, int points);

// Makes `label` wrap at word boundaries within `width` pixels, breaking a word wider than
// that between characters rather than letting it run past the edge, its lines set as
// `justify` says, and asks for the width of its widest line.
void wrapLabel(GtkWidget* label, int width, GtkJustification justify = GTK_JUSTIFY_LEFT);

// Creates a button row packed below the other children of `box` and places `button` in
// it, 15 pixels from the row's top with its right edge at the content's right edge (its
// left at the left edge, right-to-left). The
// button is widened to at least 50 pixels; one wider than the content gets the content's
// width and its label wraps. `box` must already be inside the window: only there does
// GTK+ 2 measure the button in the theme and font it is drawn with. Returns the row (a
// GtkFixed) and the button's final size.
GtkWidget* packButtonRow(GtkWidget* box, GtkWidget* button, GtkRequisition& size);

// Sets the window to its size, or taller when a page's content needs more height than
// the content area has.
void fitWindowTo(int contentHeight);

// Tells screen readers that `widget` has `relation` to `other`, which has `reverse` to it.
void relate(GtkWidget* widget, AtkRelationType relation, GtkWidget* other, AtkRelationType reverse);
