#include "pages/page_kit.h"

#include "installer.h"

#include <algorithm>
#include <cmath>

namespace {

double scale()
{
    GdkScreen* screen = gdk_screen_get_default();
    gtk_settings_get_for_screen(screen);  // which sets the resolution GDK reports
    const double quarters = std::round(gdk_screen_get_resolution(screen) / 96 * 4);
    return std::max(quarters / 4, 1.0);
}

// The work area a window manager leaves (_NET_WORKAREA), or else the whole screen. Only
// asked for a window larger than at 96 dpi: it takes a round trip to the X server.
GdkRectangle workArea()
{
    GdkScreen* screen = gdk_screen_get_default();
    GdkRectangle area{0, 0, gdk_screen_get_width(screen), gdk_screen_get_height(screen)};
    GdkAtom type = GDK_NONE;
    gint format = 0;
    gint length = 0;
    guchar* data = nullptr;
    if (gdk_property_get(
            gdk_screen_get_root_window(screen), gdk_atom_intern_static_string("_NET_WORKAREA"),
            gdk_atom_intern_static_string("CARDINAL"), 0, 4, FALSE, &type, &format, &length, &data)
        && format == 32 && length >= static_cast<gint>(4 * sizeof(glong))) {
        const auto* values = reinterpret_cast<const glong*>(data);  // format 32 comes as longs
        area = {static_cast<int>(values[0]), static_cast<int>(values[1]),
                static_cast<int>(values[2]), static_cast<int>(values[3])};
    }
    g_free(data);
    return area;
}

}  // namespace

int px(int pixels)
{
    return static_cast<int>(std::lround(pixels * scale()));
}

int windowWidth()
{
    const int width = px(kWindowWidth);
    return width > kWindowWidth ? std::min(width, workArea().width) : width;
}

int windowHeight()
{
    const int height = px(kWindowHeight);
    return height > kWindowHeight ? std::min(height, workArea().height) : height;
}

int contentWidth()
{
    return windowWidth() - 2 * px(kWindowBorder);
}

int contentHeight()
{
    return windowHeight() - 2 * px(kWindowBorder);
}

int mirrored(int x, int width)
{
    return gtk_widget_get_default_direction() == GTK_TEXT_DIR_RTL ? contentWidth() - x - width : x;
}

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
    gtk_fixed_put(GTK_FIXED(row), button, 0, px(kButtonRowTop));
    gtk_widget_size_request(button, &size);
    if (size.width < px(kMinButtonWidth)) {
        gtk_widget_set_size_request(button, px(kMinButtonWidth), -1);
        size.width = px(kMinButtonWidth);
    } else if (size.width > contentWidth()) {
        GtkWidget* label = gtk_bin_get_child(GTK_BIN(button));
        GtkRequisition text;
        gtk_widget_size_request(label, &text);
        wrapLabel(label, contentWidth() - (size.width - text.width), GTK_JUSTIFY_CENTER);
        gtk_widget_size_request(button, &size);
    }
    gtk_fixed_move(GTK_FIXED(row), button, mirrored(contentWidth() - size.width, size.width),
                   px(kButtonRowTop));
    return row;
}

void fitWindowTo(int contentHeight)
{
    gtk_widget_set_size_request(installerState.window, windowWidth(),
                                std::max(windowHeight(), contentHeight + 2 * px(kWindowBorder)));
}

void relate(GtkWidget* widget, AtkRelationType relation, GtkWidget* other, AtkRelationType reverse)
{
    AtkObject* accessible = gtk_widget_get_accessible(widget);
    AtkObject* otherAccessible = gtk_widget_get_accessible(other);
    atk_object_add_relationship(accessible, relation, otherAccessible);
    atk_object_add_relationship(otherAccessible, reverse, accessible);
}
