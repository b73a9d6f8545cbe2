#include "pages/finished_page.h"

#include "installer.h"
#include "pages/page_kit.h"

#include <algorithm>

namespace {
constexpr int kFinishPoints = 26;
}  // namespace

void initAndshowInstallSucceededWindow()
{
    InstallerState& s = installerState;
    // Packed into the window before measuring, as on the agreement page.
    GtkWidget* vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(s.window), vbox);

    GtkWidget* label = gtk_label_new(s.str_finishLabel);
    gtk_box_pack_start(GTK_BOX(vbox), label, FALSE, TRUE, 0);
    setFont(label, kFinishPoints);
    gtk_misc_set_alignment(GTK_MISC(label), 0.5, 0.5);
    gtk_label_set_justify(GTK_LABEL(label), GTK_JUSTIFY_CENTER);
    GtkRequisition text;
    gtk_widget_size_request(label, &text);
    if (text.width > contentWidth()) {
        wrapLabel(label, contentWidth(), GTK_JUSTIFY_CENTER);
        gtk_widget_size_request(label, &text);
    }

    GtkWidget* done = gtk_button_new_with_label(s.str_doneButton);
    g_signal_connect(done, "clicked", G_CALLBACK(destroy), nullptr);
    GtkRequisition button;
    packButtonRow(vbox, done, button);
    // The finish text takes what the content area leaves the button row.
    const int textHeight
        = std::max(contentHeight() - px(kButtonRowTop) - button.height, text.height);
    gtk_widget_set_size_request(label, text.width, textHeight);
    fitWindowTo(textHeight + px(kButtonRowTop) + button.height);
    // Read out when Done gets the focus.
    atk_object_set_description(gtk_widget_get_accessible(done), s.str_finishLabel);
    relate(done, ATK_RELATION_DESCRIBED_BY, label, ATK_RELATION_DESCRIPTION_FOR);

    gtk_widget_show_all(vbox);
    gtk_widget_grab_focus(done);
}
