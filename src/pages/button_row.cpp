#include "pages/button_row.h"

namespace {
constexpr int kMinButtonWidth = 50;
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
    }
    gtk_fixed_move(GTK_FIXED(row), button, kContentWidth - size.width, kButtonRowTop);
    return row;
}
