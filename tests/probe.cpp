// The test's eyes and hands inside the X server named by DISPLAY.
//   probe                builds the agreement page from what is in the working directory,
//                        as the installer started there would, in the desktop font of this
//                        environment; checks it, ticks the box and presses Install through
//                        the accessibility action (GTK_MODULES=gail), as a screen reader's
//                        user would (again when that showed a plan), checks the page that
//                        follows, its details unfolded too, then the finished page. Prints
//                        the centres of the check box and of Install, the window's size, the
//                        agreement's height and the check box's indicator size, what the
//                        installer prints, what screen readers are told ("said: "), each
//                        value of the progress bar ("progress: "), and the message shown
//                        after each press; reports each fault it finds on standard error,
//                        and then ends with 1. A warning ends it at once.
//   probe close WINDOW   asks WINDOW to close, the way a window manager does
//   probe ping WINDOW    ends with 1 unless WINDOW answers a window manager's ping within
//                        half a second
//
// A fault: a widget outside the content area, two that overlap, a text cut, a button
// narrower than its minimum, a push button off the row's end edge (the right, or the left
// in a right-to-left language) or a check box off its start edge, an agreement not all
// there, an agreement area below its minimum or smaller than it could be, a window grown
// without need, a finish text not centred, a Tab order against the reading order (even
// where Install's centre rounds to above the box's), and what screen readers would miss:
// the notice as the agreement's label, its caret at its start and moving line by line, the
// message announced as it appears, the details labelled, and the finish text as Done's
// description.

#include "installer.h"
#include "pages/agreement_page.h"
#include "pages/finished_page.h"
#include "pages/installation_run.h"
#include "pages/page_kit.h"
#include "resources/locale_resources.h"
#include "resources/package_discovery.h"

#include <gdk/gdkkeysyms.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <X11/Xlib.h>  // last: its macros (None, Status) clash with names above

namespace {

int faults = 0;

void fault(const char* what, GtkWidget* widget, GtkWidget* other = nullptr)
{
    ++faults;
    std::fprintf(stderr, "%s: %s %s\n", what, G_OBJECT_TYPE_NAME(widget),
                 other ? G_OBJECT_TYPE_NAME(other) : "");
}

void settle()
{
    for (int round = 0; round < 5; ++round, gdk_flush(), g_usleep(10000))
        while (gtk_events_pending())
            gtk_main_iteration();
}

// Checks the widgets of the page shown, once laid out; returns the window's height.
int check(std::initializer_list<GtkWidget*> widgets)
{
    settle();
    const GtkAllocation window = installerState.window->allocation;
    const int border = px(kWindowBorder);
    GdkRectangle content{border, border, contentWidth(), window.height - 2 * border};
    GdkRectangle seen;
    for (auto widget = widgets.begin(); widget != widgets.end(); ++widget) {
        if (!gtk_widget_get_mapped(*widget))
            continue;
        GdkRectangle box = (*widget)->allocation;
        gdk_rectangle_union(&box, &content, &seen);
        if (seen.width != content.width || seen.height != content.height)
            fault("outside the content area", *widget);
        for (auto before = widgets.begin(); before != widget; ++before)
            if (gtk_widget_get_mapped(*before) && !gtk_widget_is_ancestor(*widget, *before)
                && gdk_rectangle_intersect(&box, &(*before)->allocation, &seen))
                fault("overlap", *widget, *before);
        GtkWidget* text = GTK_IS_BIN(*widget) ? gtk_bin_get_child(GTK_BIN(*widget)) : *widget;
        int width = 0;
        int height = 0;
        if (GTK_IS_LABEL(text))
            pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(text)), &width, &height);
        if (width > text->allocation.width || height > text->allocation.height)
            fault("text cut", *widget);
        if (GTK_IS_BUTTON(*widget) && !GTK_IS_CHECK_BUTTON(*widget)
            && box.width < px(kMinButtonWidth))
            fault("narrower than a button may be", *widget);
        // From the content's start edge, and whether a push button ends at its end edge.
        int start = box.x - border;
        if (gtk_widget_get_default_direction() == GTK_TEXT_DIR_RTL)
            start = contentWidth() - start - box.width;
        if (GTK_IS_CHECK_BUTTON(*widget)
                ? start != 0
                : GTK_IS_BUTTON(*widget) && start + box.width != contentWidth())
            fault("off its edge", *widget);
    }
    return window.height;
}

// The text stands in the middle of its label, across and down.
void checkCentred(GtkWidget* label)
{
    int x = 0;
    int y = 0;
    PangoRectangle text;
    gtk_label_get_layout_offsets(GTK_LABEL(label), &x, &y);
    pango_layout_get_pixel_extents(gtk_label_get_layout(GTK_LABEL(label)), nullptr, &text);
    const GtkAllocation& box = label->allocation;
    if (std::abs(2 * (x + text.x) + text.width - 2 * box.x - box.width) > 2
        || std::abs(2 * (y + text.y) + text.height - 2 * box.y - box.height) > 2)
        fault("text not centred", label);
}

// For screen readers, `widget` has the relation `type` to the label `target`, and when that
// describes it, the label's text is its description.
void checkRelation(GtkWidget* widget, AtkRelationType type, GtkWidget* target)
{
    AtkObject* accessible = gtk_widget_get_accessible(widget);
    AtkRelationSet* relations = atk_object_ref_relation_set(accessible);
    if (!atk_relation_set_contains_target(relations, type, gtk_widget_get_accessible(target))
        || (type == ATK_RELATION_DESCRIBED_BY
            && g_strcmp0(atk_object_get_description(accessible),
                         gtk_label_get_text(GTK_LABEL(target)))))
        fault("not related for screen readers", widget, target);
    g_object_unref(relations);
}

void checkAgreementPage()
{
    const InstallerState& s = installerState;
    const int height = check({s.label, s.scrolled_window, s.message, s.details,
                              gtk_expander_get_label_widget(GTK_EXPANDER(s.details)),
                              gtk_bin_get_child(GTK_BIN(s.details)), s.check_button, s.gButton});
    const int agreement = s.scrolled_window->allocation.height;
    if (agreement < px(kMinAgreementHeight)
        || (agreement > px(kMinAgreementHeight) && height != windowHeight()))
        fault("agreement area of the wrong height", s.scrolled_window);
    const std::string_view text = agreementText();
    if (gtk_text_buffer_get_char_count(s.text_buffer)
        != g_utf8_strlen(text.data(), static_cast<gssize>(text.size())))
        fault("agreement not all there", s.text_view);
    checkRelation(s.text_view, ATK_RELATION_LABELLED_BY, s.label);
    if (atk_text_get_caret_offset(ATK_TEXT(gtk_widget_get_accessible(s.text_view))) != 0)
        fault("caret not at the agreement's start", s.text_view);
}

// The message drawn over a busy cursor while the stand-in pkexec had not run yet; it
// writes its runs to the file named by STUB_RUNS.
std::string drawnBeforeCommand;

gboolean noteDrawn(GtkWidget* message, GdkEventExpose* /*event*/, gpointer /*data*/)
{
    bool busy = false;
    for (GList* child = gdk_window_peek_children(installerState.window->window); child;
         child = child->next) {
        GdkCursor* cursor = gdk_window_get_cursor(GDK_WINDOW(child->data));
        busy = busy
            || (cursor && gdk_cursor_get_cursor_type(cursor) == GDK_WATCH
                && gdk_window_is_visible(GDK_WINDOW(child->data)));
    }
    if (busy && !g_file_test(g_getenv("STUB_RUNS"), G_FILE_TEST_EXISTS))
        drawnBeforeCommand = gtk_label_get_text(GTK_LABEL(message));
    return FALSE;
}

// The last message screen readers were told of: a notification, shown anew with each.
std::string announced;

void noteAnnounced(AtkObject* message, const gchar* /*state*/, gboolean shown, gpointer)
{
    if (shown && atk_object_get_role(message) == ATK_ROLE_NOTIFICATION) {
        announced = atk_object_get_name(message);
        std::printf("said: %s\n", announced.c_str());
    }
}

void noteProgress(GtkProgressBar* bar, GParamSpec* /*property*/, gpointer /*data*/)
{
    const gchar* text = gtk_progress_bar_get_text(bar);
    std::printf("progress: %.3f %s\n", gtk_progress_bar_get_fraction(bar), text ? text : "");
}

// Down moves the agreement's caret, which a screen reader follows, to the next line, twice,
// and Ctrl+Home back to the start.
void checkCaretMoves()
{
    GtkWidget* view = installerState.text_view;
    GtkTextIter start;
    gtk_text_buffer_get_start_iter(installerState.text_buffer, &start);
    GtkTextIter second = start;
    GtkTextIter third;
    if (!gtk_text_view_forward_display_line(GTK_TEXT_VIEW(view), &second)
        || !gtk_text_view_forward_display_line(GTK_TEXT_VIEW(view), &(third = second)))
        return;
    gtk_widget_grab_focus(view);
    for (const auto& [key, line] :
         {std::pair{GDK_Down, &second}, std::pair{GDK_Down, &third}, std::pair{GDK_Home, &start}}) {
        GdkEvent* press = gdk_event_new(GDK_KEY_PRESS);
        press->key.window = GDK_WINDOW(g_object_ref(view->window));
        press->key.keyval = key;
        press->key.state = key == GDK_Home ? GDK_CONTROL_MASK : 0;
        GdkKeymapKey* keys = nullptr;
        gint count = 0;
        gdk_keymap_get_entries_for_keyval(nullptr, key, &keys, &count);
        press->key.hardware_keycode = count ? keys[0].keycode : 0;
        g_free(keys);
        gtk_widget_event(view, press);
        gdk_event_free(press);
        settle();
        if (atk_text_get_caret_offset(ATK_TEXT(gtk_widget_get_accessible(view)))
            != gtk_text_iter_get_offset(line))
            fault("caret not moved from line to line", view);
    }
}

Display* display;

// A window manager's message to `window`.
XEvent clientMessage(Window window, const char* protocol)
{
    XEvent event{};
    event.xclient = {ClientMessage,
                     0,
                     False,
                     display,
                     window,
                     XInternAtom(display, "WM_PROTOCOLS", False),
                     32,
                     {}};
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, protocol, False));
    event.xclient.data.l[2] = static_cast<long>(window);
    return event;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && (display = XOpenDisplay(nullptr))) {
        const bool ping = std::string(argv[1]) == "ping";
        XEvent message
            = clientMessage(std::stoul(argv[2]), ping ? "_NET_WM_PING" : "WM_DELETE_WINDOW");
        // The answer to a ping goes to the root window, the one client message sent there.
        XSelectInput(display, DefaultRootWindow(display), SubstructureNotifyMask);
        XSendEvent(display, message.xclient.window, False, NoEventMask, &message);
        bool answered = !ping;
        for (int tries = 0; tries < 50 && !answered; ++tries)
            for (g_usleep(10000); XPending(display) && !answered;)
                answered = (XNextEvent(display, &message), message.type == ClientMessage);
        XCloseDisplay(display);
        return answered ? 0 : 1;
    }
    gtk_init(&argc, &argv);
    g_log_set_always_fatal(static_cast<GLogLevelFlags>(G_LOG_LEVEL_WARNING | G_LOG_LEVEL_CRITICAL));
    InstallerState& s = installerState;
    initialzeLocalStrings();
    initRPMPath();
    initAndShowInstallWindow();
    checkAgreementPage();
    checkCaretMoves();
    const GtkAllocation &box = s.check_button->allocation, &button = s.gButton->allocation;
    gint indicator = 0;
    gtk_widget_style_get(s.check_button, "indicator-size", &indicator, nullptr);
    std::printf("check %d %d\ninstall %d %d\nwindow %dx%d, agreement %d, indicator %d\n",
                box.x + box.width / 2, box.y + box.height / 2, button.x + button.width / 2,
                button.y + button.height / 2, s.window->allocation.width,
                s.window->allocation.height, s.scrolled_window->allocation.height, indicator);

    if (gtk_widget_get_visible(s.message))
        fault("a message before Install was pressed", s.message);
    g_signal_connect(s.message, "expose-event", G_CALLBACK(noteDrawn), nullptr);
    gtk_button_clicked(GTK_BUTTON(s.check_button));
    // Tab keeps the reading order even where Install's centre rounds to above the box's.
    const int installY = button.y - s.fixed->allocation.y;
    gtk_fixed_move(GTK_FIXED(s.fixed), s.gButton, button.x - s.fixed->allocation.x, 0);
    settle();
    gtk_widget_grab_focus(s.text_view);
    for (GtkWidget* next : {s.check_button, s.gButton}) {
        gtk_widget_child_focus(s.window, GTK_DIR_TAB_FORWARD);
        if (gtk_window_get_focus(GTK_WINDOW(s.window)) != next)
            fault("Tab does not go next to", next);
    }
    gtk_fixed_move(GTK_FIXED(s.fixed), s.gButton, button.x - s.fixed->allocation.x, installY);
    g_signal_connect(gtk_widget_get_accessible(s.message), "state-change::showing",
                     G_CALLBACK(noteAnnounced), nullptr);
    g_signal_connect(s.progress, "notify::fraction", G_CALLBACK(noteProgress), nullptr);
    // A plan shown is carried out by a second press.
    for (int presses = 0; presses < 2 && s.vbox && (!presses || !s.plannedCommand.empty());
         ++presses) {
        AtkObject* press = gtk_widget_get_accessible(s.gButton);
        if (!ATK_IS_ACTION(press) || !atk_action_do_action(ATK_ACTION(press), 0))
            fault("no accessibility action", s.gButton);
        settle();
        if (g_file_test(g_getenv("STUB_RUNS"), G_FILE_TEST_EXISTS)
            && drawnBeforeCommand != s.str_installingMessage)
            fault("no message and busy cursor before the command", s.window);
        if (announced
            != (s.vbox ? gtk_label_get_text(GTK_LABEL(s.message)) : s.str_installingMessage))
            fault("message not announced to screen readers", s.gButton);
        if (!s.vbox)
            break;
        checkAgreementPage();
        if (gtk_widget_get_visible(s.details)) {
            gtk_expander_set_expanded(GTK_EXPANDER(s.details), TRUE);
            checkAgreementPage();
            gtk_expander_set_expanded(GTK_EXPANDER(s.details), FALSE);
            checkRelation(s.details_view, ATK_RELATION_LABELLED_BY,
                          gtk_expander_get_label_widget(GTK_EXPANDER(s.details)));
        }
        if (!gtk_widget_is_sensitive(s.gButton) || !gtk_widget_has_focus(s.gButton))
            fault("Install not ready for another press", s.gButton);
        std::printf("shown: %s\n", gtk_label_get_text(GTK_LABEL(s.message)));
    }
    if (s.vbox) {
        deallocInstallWindow();
        initAndshowInstallSucceededWindow();
    }
    GtkWidget* page = gtk_bin_get_child(GTK_BIN(s.window));
    GtkWidget* finish = static_cast<GtkBoxChild*>(GTK_BOX(page)->children->data)->widget;
    int textHeight = 0;
    pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(finish)), nullptr, &textHeight);
    GtkWidget* done = gtk_window_get_focus(GTK_WINDOW(s.window));
    if (check({finish, done}) != windowHeight() && finish->allocation.height != textHeight)
        fault("window grown without need", finish);
    checkRelation(done, ATK_RELATION_DESCRIBED_BY, finish);
    checkCentred(finish);
    return faults ? 1 : 0;
}
