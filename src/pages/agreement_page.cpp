#include "pages/agreement_page.h"

#include "installer.h"
#include "pages/button_row.h"
#include "pages/installation_run.h"
#include "resources/utf8_text.h"

#include <algorithm>
#include <cstddef>
#include <string_view>

namespace {

constexpr int kWindowWidth = 500;
constexpr int kWindowHeight = 420;
constexpr int kWindowBorder = 15;
constexpr int kNoticeGap = 15;
// The notice, the agreement and the button row share 390 pixels; 360 of them are the
// notice's text, the agreement and the Install button.
constexpr int kRowsShare = 360;
// A notice so long that it would leave no room for the agreement makes the window
// grow rather than hide the text the user is asked to accept.
constexpr int kMinAgreementHeight = 60;

void createWindow()
{
    InstallerState& s = installerState;
    s.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(s.window), s.str_processName);
    gtk_widget_set_size_request(s.window, kWindowWidth, kWindowHeight);
    gtk_window_set_resizable(GTK_WINDOW(s.window), FALSE);
    gtk_window_set_position(GTK_WINDOW(s.window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(s.window), kWindowBorder);
    g_signal_connect(s.window, "delete_event", G_CALLBACK(delete_event), nullptr);
    g_signal_connect(s.window, "destroy", G_CALLBACK(destroy), nullptr);
}

// Returns the notice's height as drawn, without the gap below it.
int packNotice()
{
    InstallerState& s = installerState;
    s.label = gtk_label_new(s.str_noticeLabel);
    gtk_box_pack_start(GTK_BOX(s.vbox), s.label, FALSE, TRUE, 0);
    gtk_widget_set_size_request(s.label, kContentWidth, -1);
    gtk_misc_set_alignment(GTK_MISC(s.label), 0.0, 0.0);
    PangoFontDescription* font = pango_font_description_from_string("12");
    gtk_widget_modify_font(s.label, font);
    pango_font_description_free(font);
    gtk_label_set_line_wrap(GTK_LABEL(s.label), TRUE);
    gtk_label_set_line_wrap_mode(GTK_LABEL(s.label), PANGO_WRAP_WORD);
    GtkRequisition size;
    gtk_widget_size_request(s.label, &size);
    gtk_widget_set_size_request(s.label, size.width, size.height + kNoticeGap);
    return size.height;
}

// GTK+ 2 takes about ten milliseconds a megabyte to put text into a buffer, so a long
// agreement would hold the window back. The view gets the first slice at once and the
// rest in slices while the main loop is idle, once the window has been drawn.
constexpr std::size_t kAgreementSlice = std::size_t{256} * 1024;

struct AgreementFeed {
    GtkTextBuffer* buffer;  // a reference of its own: the page may go first
    std::size_t offset;
};

// Length of the slice of the agreement that starts at `offset`, cut between characters.
std::size_t agreementSlice(std::size_t offset)
{
    const InstallerState& s = installerState;
    const std::string_view agreement(s.licenseData.get(), static_cast<std::size_t>(s.licenseDataSize));
    return characterBoundary(agreement, std::min(agreement.size(), offset + kAgreementSlice)) - offset;
}

gboolean feedAgreement(gpointer data)
{
    auto* feed = static_cast<AgreementFeed*>(data);
    const std::size_t length = agreementSlice(feed->offset);
    GtkTextIter end;
    gtk_text_buffer_get_end_iter(feed->buffer, &end);
    gtk_text_buffer_insert(feed->buffer, &end, installerState.licenseData.get() + feed->offset,
                           static_cast<gint>(length));
    feed->offset += length;
    return feed->offset < static_cast<std::size_t>(installerState.licenseDataSize);
}

void endAgreementFeed(gpointer data)
{
    auto* feed = static_cast<AgreementFeed*>(data);
    g_object_unref(feed->buffer);
    delete feed;
}

void packAgreementText()
{
    InstallerState& s = installerState;
    s.scrolled_window = gtk_scrolled_window_new(nullptr, nullptr);
    gtk_box_pack_start(GTK_BOX(s.vbox), s.scrolled_window, FALSE, TRUE, 0);
    s.text_view = gtk_text_view_new();
    gtk_text_view_set_editable(GTK_TEXT_VIEW(s.text_view), FALSE);
    gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(s.text_view), FALSE);
    s.text_buffer = gtk_text_view_get_buffer(GTK_TEXT_VIEW(s.text_view));
    if (s.licenseData) {
        const std::size_t first = agreementSlice(0);
        gtk_text_buffer_set_text(s.text_buffer, s.licenseData.get(), static_cast<gint>(first));
        if (first < static_cast<std::size_t>(s.licenseDataSize))
            g_idle_add_full(G_PRIORITY_LOW, feedAgreement,
                            new AgreementFeed{GTK_TEXT_BUFFER(g_object_ref(s.text_buffer)), first}, endAgreementFeed);
    }
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(s.scrolled_window), GTK_SHADOW_IN);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(s.text_view), GTK_WRAP_WORD);
    gtk_container_add(GTK_CONTAINER(s.scrolled_window), s.text_view);
}

// Returns the Install button's size.
GtkRequisition packInstallRow()
{
    InstallerState& s = installerState;
    s.gButton = gtk_button_new_with_label(s.str_installButton);
    g_signal_connect(s.gButton, "clicked", G_CALLBACK(buttonClicked), nullptr);
    GtkRequisition size;
    s.fixed = packButtonRow(s.vbox, s.gButton, size);
    gtk_widget_set_sensitive(s.gButton, FALSE);
    return size;
}

// The check button shares the button row's container, vertically centred on Install
// (to within a pixel) at the row's left edge: a child placed outside its own
// container's allocation would be neither drawn nor reliably clickable.
void placeCheckButton(const GtkRequisition& install)
{
    InstallerState& s = installerState;
    s.check_button = gtk_check_button_new_with_label(s.str_checkButton);
    gtk_button_set_focus_on_click(GTK_BUTTON(s.check_button), FALSE);
    g_signal_connect(s.check_button, "clicked", G_CALLBACK(checkButtonClicked), nullptr);
    gtk_fixed_put(GTK_FIXED(s.fixed), s.check_button, 0, 0);
    GtkRequisition check;
    gtk_widget_size_request(s.check_button, &check);
    const int top = kButtonRowTop + install.height - check.height + (check.height - install.height) / 2;
    gtk_fixed_move(GTK_FIXED(s.fixed), s.check_button, 0, top);
}

}  // namespace

void initAndShowInstallWindow()
{
    InstallerState& s = installerState;
    createWindow();
    // Rows are measured in place: outside a window GTK+ 2 sizes a widget in the default
    // font and theme, so the 12-point notice would be measured too short and clipped.
    s.vbox = gtk_vbox_new(FALSE, 0);
    gtk_container_add(GTK_CONTAINER(s.window), s.vbox);
    const int noticeHeight = packNotice();
    packAgreementText();
    const GtkRequisition install = packInstallRow();
    placeCheckButton(install);
    gtk_widget_set_size_request(s.scrolled_window, kContentWidth,
                                std::max(kRowsShare - noticeHeight - install.height, kMinAgreementHeight));
    gtk_widget_show_all(s.window);
}

void checkButtonClicked(GtkWidget* /*widget*/, gpointer /*data*/)
{
    InstallerState& s = installerState;
    const gboolean ticked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(s.check_button));
    gtk_widget_set_sensitive(s.gButton, ticked);
    if (ticked)
        gtk_widget_grab_focus(s.gButton);
}
