#include "pages/page_kit.h"

#include "installer.h"

#include <algorithm>

void setFont(GtkWidget* widget, int points)
{
    PangoFontDescription* font = pango_font_description_from_string("12");
    pango_font_description_set_size(font, points * PANGO_SCALE);
    gtk_widget_modify_font(widget, font);
    pango_font_description_free(font);
}

void wrapLabel(GtkWidget* label, int width, GtkJustification justify)
{
    gtk_label_set_justify(GTK_LABEL(label), justify);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(label), PANGO_WRAP_WORD_CHAR);
    gtk_widget_set_size_request(label, width, -1);
    // GTK+ 2 places a wrapped label's text by the label's requested width, not by its
    // lines': asked for no more than the widest line, it aligns the lines as set within
    // the room the label gets. They wrap just the same within that width.
    GtkRequisition size;
    gtk_widget_size_request(label, &size);
    PangoRectangle lines;
    pango_layout_get_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &lines);
    gtk_widget_set_size_request(label, std::min(PANGO_PIXELS_CEIL(lines.width), width), -1);
}

GtkWidget* packButtonRow(GtkWidget* box, GtkWidget* button, GtkRequisition& size)
{
    GtkWidget* row = gtk_fixed_new();
    gtk_box_pack_start(GTK_BOX(box), row, FALSE, TRUE, 0);
    gtk_fixed_put(GTK_FIXED(row), button, 0, kButtonRowTop);
    gtk_widget_size_request(button, &size);
    if (size.width < kMinButtonWidth) {
        gtk_widget_set_size_request(button, kMinButtonWidth, -1);
        size.width = kMinButtonWidth;
    } else if (size.width > kContentWidth) {
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
        GtkRequisition text;
        gtk_widget_size_request(label, &text);
        wrapLabel(label, kContentWidth - (size.width - text.width), GTK_JUSTIFY_CENTER);
        gtk_widget_size_request(button, &size);
    }
    gtk_fixed_move(GTK_FIXED(row), button, kContentWidth - size.width, kButtonRowTop);
    return row;
}

void fitWindowTo(int contentHeight)
{
    gtk_widget_set_size_request(installerState.window, kWindowWidth,
                                std::max(kWindowHeight, contentHeight + 2 * kWindowBorder));
}
