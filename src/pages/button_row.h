#pragma once

#include <gtk/gtk.h>

// Width of a page's content area: the 500-pixel window less its border of 15 each side.
inline constexpr int kContentWidth = 470;
// Gap above the push button of a button row.
inline constexpr int kButtonRowTop = 15;

// Creates a button row packed below the other children of `box` and places `button` in it, right edge
// at x 470, 15 pixels from the row's top, widened to at least 50 pixels. `box` must
// already be inside the window: only there does GTK+ 2 measure the button in the theme
// and font it is drawn with. Returns the row (a GtkFixed) and the button's final size.
GtkWidget* packButtonRow(GtkWidget* box, GtkWidget* button, GtkRequisition& size);
