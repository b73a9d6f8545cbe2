#include "pages/agreement_page.h"

#include "installer.h"
#include "pages/installation_run.h"
#include "pages/page_kit.h"
#include "pages/run_area.h"
#include "resources/utf8_text.h"

#include <gdk/gdkkeysyms.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace {

constexpr int kNoticePoints = 12;
constexpr int kNoticeGap = 15;
// Beside Install, the check button's label wraps within what is left of the row; with
// less room than this, it stands on its own line above Install instead.
constexpr int kMinCheckLabelWidth = 120;

void createWindow()
{
    InstallerState& s = installerState;
    s.window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    gtk_window_set_title(GTK_WINDOW(s.window), s.str_processName);
    gtk_widget_set_size_request(s.window, windowWidth(), windowHeight());
    gtk_window_set_resizable(GTK_WINDOW(s.window), FALSE);
    gtk_window_set_position(GTK_WINDOW(s.window), GTK_WIN_POS_CENTER);
    gtk_container_set_border_width(GTK_CONTAINER(s.window), px(kWindowBorder));
    g_signal_connect(s.window, "delete_event", G_CALLBACK(delete_event), nullptr);
    g_signal_connect(s.window, "destroy", G_CALLBACK(destroy), nullptr);
}

// Makes `label` wrap within the content's width and `gap` pixels taller than its text.
void wrapWithGap(GtkWidget* label, int gap)
{
    wrapLabel(label, contentWidth());
    GtkRequisition size;
    gtk_widget_size_request(label, &size);
    gtk_widget_set_size_request(label, size.width, size.height + gap);
}

void packNotice()
{
    InstallerState& s = installerState;
    s.label = gtk_label_new(s.str_noticeLabel);
    gtk_box_pack_start(GTK_BOX(s.vbox), s.label, FALSE, TRUE, 0);
    gtk_misc_set_alignment(GTK_MISC(s.label), 0.0, 0.0);
    setFont(s.label, kNoticePoints);
    wrapWithGap(s.label, px(kNoticeGap));
}

}  // namespace

void shareAgreementHeight()
{
    InstallerState& s = installerState;
    int rows = 0;
    for (GtkWidget* row : {s.label, s.message, s.progress, s.details, s.fixed}) {
        GtkRequisition size;
        gtk_widget_size_request(row, &size);
        rows += gtk_widget_get_visible(row) ? size.height : 0;
    }
    const int agreementHeight = std::max(contentHeight() - rows, px(kMinAgreementHeight));
    gtk_widget_set_size_request(s.scrolled_window, contentWidth(), agreementHeight);
    fitWindowTo(rows + agreementHeight);
}

namespace {

// GTK+ 2 takes its time to put a long text into a buffer, which would hold the window
// back. The view gets the first slice at once and the rest in slices while the main loop
// is idle, once the window has been drawn.
constexpr std::size_t kAgreementSlice = std::size_t{256} * 1024;
// A first paragraph longer than a slice is shown at first by this much of it, which fills
// the view many times over; GTK lays a larger piece out slower than it is worth.
constexpr std::size_t kFirstPiece = std::size_t{64} * 1024;

// Where the slice that starts at `offset` ends. GTK lays a whole paragraph out again each
// time text is added to it, so slices end after a line break: within the slice's size
// where there is one; else the first slice, which must be ready quickly, is the first
// piece of the paragraph, cut between characters, and a later one runs on to the next
// line break. So no paragraph is added to more than once.
std::size_t agreementSliceEnd(std::size_t offset)
{
    const std::string_view text = agreementText();
    if (text.size() - offset <= kAgreementSlice)
        return text.size();
    const std::size_t lastBreak = text.substr(offset, kAgreementSlice).rfind('\n');
    if (lastBreak != std::string_view::npos)
        return offset + lastBreak + 1;
    if (offset == 0)
        return characterBoundary(text, kFirstPiece);
    const std::size_t nextBreak = text.find('\n', offset + kAgreementSlice);
    return nextBreak == std::string_view::npos ? text.size() : nextBreak + 1;
}

struct AgreementFeed {
    GtkTextBuffer* buffer;  // a reference of its own: the page may go first
    std::size_t offset;
};

gboolean feedAgreement(gpointer data)
{
    auto* feed = static_cast<AgreementFeed*>(data);
    if (feed->buffer != installerState.text_buffer)
        return FALSE;  // the page is gone
    const std::string_view text = agreementText();
    const std::size_t end = agreementSliceEnd(feed->offset);
    GtkTextIter iter;
    gtk_text_buffer_get_end_iter(feed->buffer, &iter);
    gtk_text_buffer_insert(feed->buffer, &iter, text.data() + feed->offset,
                           static_cast<gint>(end - feed->offset));
    feed->offset = end;
    return end < text.size();
}

void endAgreementFeed(gpointer data)
{
    auto* feed = static_cast<AgreementFeed*>(data);
    g_object_unref(feed->buffer);
    delete feed;
}

// The rest follows once the view has been drawn: added while the window is still being
// mapped, it would hold the first picture back.
gboolean startAgreementFeed(GtkWidget* view, GdkEventExpose* /*event*/, gpointer offset)
{
    g_signal_handlers_disconnect_by_func(view, reinterpret_cast<gpointer>(startAgreementFeed),
                                         offset);
    g_idle_add_full(G_PRIORITY_LOW, feedAgreement,
                    new AgreementFeed{GTK_TEXT_BUFFER(g_object_ref(installerState.text_buffer)),
                                      GPOINTER_TO_SIZE(offset)},
                    endAgreementFeed);
    return FALSE;
}

bool movesCaret(guint key)
{
    constexpr std::array<guint, 16> kMoving{
        GDK_Up,         GDK_Down,         GDK_Left,    GDK_Right,   GDK_Page_Up, GDK_Page_Down,
        GDK_Home,       GDK_End,          GDK_KP_Up,   GDK_KP_Down, GDK_KP_Left, GDK_KP_Right,
        GDK_KP_Page_Up, GDK_KP_Page_Down, GDK_KP_Home, GDK_KP_End};
    return std::ranges::find(kMoving, key) != kMoving.end();
}

// Typed into the read-only agreement, a space or a letter would scroll it to the caret.
// The caret is hidden until the user moves it: GTK then moves it line by line, page by
// page, and a screen reader reads the line it reaches; a hidden one would only scroll.
gboolean ignoreTyping(GtkWidget* view, GdkEventKey* event, gpointer /*data*/)
{
    if (movesCaret(event->keyval))
        gtk_text_view_set_cursor_visible(GTK_TEXT_VIEW(view), TRUE);
    const gunichar typed = gdk_keyval_to_unicode(event->keyval);
    return (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0
        && (g_unichar_isprint(typed) || typed == '\r');
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
    const std::string_view text = agreementText();
    if (!text.empty()) {
        const std::size_t first = agreementSliceEnd(0);
        gtk_text_buffer_set_text(s.text_buffer, text.data(), static_cast<gint>(first));
        // A screen reader reads from the caret, which set_text leaves at the end; slices
        // added later go in after it.
        GtkTextIter start;
        gtk_text_buffer_get_start_iter(s.text_buffer, &start);
        gtk_text_buffer_place_cursor(s.text_buffer, &start);
        if (first < text.size())
            g_signal_connect_after(s.text_view, "expose-event", G_CALLBACK(startAgreementFeed),
                                   GSIZE_TO_POINTER(first));
    }
    gtk_scrolled_window_set_shadow_type(GTK_SCROLLED_WINDOW(s.scrolled_window), GTK_SHADOW_IN);
    gtk_text_view_set_wrap_mode(GTK_TEXT_VIEW(s.text_view), GTK_WRAP_WORD);
    gtk_container_add(GTK_CONTAINER(s.scrolled_window), s.text_view);
    g_signal_connect(s.text_view, "key-press-event", G_CALLBACK(ignoreTyping), nullptr);
    relate(s.text_view, ATK_RELATION_LABELLED_BY, s.label, ATK_RELATION_LABEL_FOR);
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

// The check box's indicator has the theme's size at 96 dpi: it grows with the page.
void scaleIndicator(GtkWidget* check)
{
    gint size = 0;
    gtk_widget_style_get(check, "indicator-size", &size, nullptr);
    if (px(size) == size)
        return;
    const std::string rc = R"(style "scaled" { GtkCheckButton::indicator-size = )"
        + std::to_string(px(size)) + R"( } class "GtkCheckButton" style "scaled")";
    gtk_rc_parse_string(rc.c_str());
    gtk_widget_reset_rc_styles(check);
}

// The check button shares the button row's container, at its left edge: a child placed
// outside its own container's allocation would be neither drawn nor reliably clickable.
// Beside Install, the shorter of the two is centred on the taller (to within a pixel); a
// label too long for the room left of Install wraps there, and where that room is too
// narrow the check button takes a line of its own above Install. Right-to-left, the row
// is mirrored.
void placeCheckButton(const GtkRequisition& install)
{
    InstallerState& s = installerState;
    s.check_button = gtk_check_button_new_with_label(s.str_checkButton);
    gtk_button_set_focus_on_click(GTK_BUTTON(s.check_button), FALSE);
    g_signal_connect(s.check_button, "clicked", G_CALLBACK(checkButtonClicked), nullptr);
    gtk_fixed_put(GTK_FIXED(s.fixed), s.check_button, 0, px(kButtonRowTop));
    scaleIndicator(s.check_button);
    GtkRequisition check;
    GtkRequisition text;
    gtk_widget_size_request(s.check_button, &check);
    GtkWidget* label = gtk_bin_get_child(GTK_BIN(s.check_button));
    gtk_widget_size_request(label, &text);
    const int besideInstall = contentWidth() - install.width - px(kButtonGap);
    const int indicator = check.width - text.width;
    const bool stacked
        = check.width > besideInstall && besideInstall - indicator < px(kMinCheckLabelWidth);
    const int room = stacked ? contentWidth() : besideInstall;
    if (check.width > room) {
        wrapLabel(label, room - indicator);
        gtk_widget_size_request(s.check_button, &check);
    }
    // Tab goes to the check box, then to Install, whatever pixel their centres round to.
    GList* chain = g_list_append(g_list_append(nullptr, s.check_button), s.gButton);
    gtk_container_set_focus_chain(GTK_CONTAINER(s.fixed), chain);
    g_list_free(chain);
    const int installX = mirrored(contentWidth() - install.width, install.width);
    const int top = px(kButtonRowTop);
    gtk_fixed_move(GTK_FIXED(s.fixed), s.check_button, mirrored(0, check.width), top);
    if (stacked) {
        gtk_fixed_move(GTK_FIXED(s.fixed), s.gButton, installX,
                       top + check.height + px(kButtonGap));
        return;
    }
    const int height = std::max(check.height, install.height);
    gtk_fixed_move(GTK_FIXED(s.fixed), s.check_button, mirrored(0, check.width),
                   top + (height - check.height + 1) / 2);
    gtk_fixed_move(GTK_FIXED(s.fixed), s.gButton, installX,
                   top + (height - install.height + 1) / 2);
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
    packNotice();
    packAgreementText();
    packRunArea();
    placeCheckButton(packInstallRow());
    // Shown first: a GtkFixed measures only the children that are shown.
    gtk_widget_show_all(s.vbox);
    shareAgreementHeight();
    gtk_widget_show(s.window);
}

void checkButtonClicked(GtkWidget* /*widget*/, gpointer /*data*/)
{
    InstallerState& s = installerState;
    const gboolean ticked = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(s.check_button));
    gtk_widget_set_sensitive(s.gButton, ticked);
    if (ticked)
        gtk_widget_grab_focus(s.gButton);
}
