// The floor for the installer's start-up: a GTK+ 2 program of the same shape (a fixed
// 500-by-420 window with a 12-point wrapped notice, the agreement in a scrolled text
// view, a check button and a push button in a fixed row) that reads no files. Its texts
// are the demo's English ones, compiled in; given a file, it shows that as the agreement
// instead, handing GTK the whole text at once.
//
//   bare_window [AGREEMENT]

#include "agreement_text.h"
#include "pages/page_kit.h"

#include <gtk/gtk.h>

int main(int argc, char* argv[])
{
    gtk_init(&argc, &argv);

    GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(window), "Kestrel Scan Utilities Setup");
    gtk_widget_set_size_request(window, kWindowWidth, kWindowHeight);
    gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
    gtk_window_set_position(GTK_WINDOW(window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(window), kWindowBorder);
    g_signal_connect(window, "delete_event", G_CALLBACK(+[] { return FALSE; }), nullptr);
    g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(window), vbox);

    GtkWidget* label
        = gtk_label_new("Please read the following license agreement carefully before installing.");
    gtk_misc_set_alignment(GTK_MISC(label), 0.0, 0.0);
    PangoFontDescription* font = pango_font_description_from_string("12");
    gtk_widget_modify_font(label, font);
    pango_font_description_free(font);
    gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
    gtk_widget_set_size_request(label, kWindowWidth - 2 * kWindowBorder, 55);
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, TRUE, 0);

    GtkWidget* scrolled = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(scrolled), GTK_SHADOW_IN);
    GtkWidget* view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), FALSE);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(view), GTK_WRAP_WORD);
    gchar* text = nullptr;
    gsize size = 0;
    if (argc > 1 && g_file_get_contents(argv[1], &text, &size, nullptr))
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), text,
                                 static_cast<gint>(size));
    else
        gtk_text_buffer_set_text(gtk_text_view_get_buffer(GTK_TEXT_VIEW(view)), kAgreement,
                                 sizeof kAgreement);
    g_free(text);
    gtk_container_add(GTK_CONTAINER(scrolled), view);
    gtk_widget_set_size_request(scrolled, kWindowWidth - 2 * kWindowBorder, 278);
    gtk_box_pack_start(GTK_BOX(vbox), scrolled, FALSE, TRUE, 0);

    GtkWidget* row = gtk_fixed_new();
    GtkWidget* install = gtk_button_new_with_label("Install");
    gtk_widget_set_sensitive(install, FALSE);
    gtk_fixed_put(GTK_FIXED(row), install, 415, kButtonRowTop);
    GtkWidget* check
        = gtk_check_button_new_with_label("I accept the terms of the license agreement");
    gtk_fixed_put(GTK_FIXED(row), check, 0, 18);
    gtk_box_pack_start(GTK_BOX(vbox), row, FALSE, TRUE, 0);

    gtk_widget_show_all(window);
    gtk_main();
    return 0;
}
