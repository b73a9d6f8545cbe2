#include "pages/finished_page.h"

#include "installer.h"
#include "pages/button_row.h"

namespace {
constexpr int kFinishFontPoints = 26;
// The finish text and the button row share 390 pixels: 375 of them are the text and
// the Done button, 15 the gap above Done.
constexpr int kTextAndButtonShare = 375;
}  // namespace

void initAndshowInstallSucceededWindow()
{
    InstallerState& s = installerState;
    // Packed into the window before measuring, as on the agreement page.
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(s.window), vbox);

    GtkWidget* label = gtk_label_new(s.str_finishLabel);
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, TRUE, 0);
    PangoFontDescription* font = pango_font_description_from_string("12");
    pango_font_description_set_size(font, kFinishFontPoints * PANGO_SCALE);
    gtk_widget_modify_font(label, font);
    pango_font_description_free(font);
    gtk_misc_set_alignment(GTK_MISC(label), 0.5, 0.5);

    GtkWidget* done = gtk_button_new_with_label(s.str_doneButton);
    g_signal_connect(done, "clicked", G_CALLBACK(destroy), nullptr);
    GtkRequisition size;
    packButtonRow(vbox, done, size);
    gtk_widget_set_size_request(label, kContentWidth, kTextAndButtonShare - size.height);

    gtk_widget_show_all(vbox);
    gtk_widget_grab_focus(done);
}
