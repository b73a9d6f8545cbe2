#include "pages/busy_cover.h"

#include "installer.h"
#include "pages/run_area.h"

#include <gdk/gdkkeysyms.h>

#include <string>

namespace {

bool isInput(GdkEventType type)
{
    switch (type) {
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_SCROLL:
        return true;
    default:
        return false;
    }
}

// Takes every event the X server holds for the program (gdk_flush is a round trip) and, by
// kind: handles the window's new size at once when `layOut`, drops clicks and keys when
// `dropInput`, and puts back all others, in their order, for the main loop.
void sortQueuedEvents(bool layOut, bool dropInput)
{
    gdk_flush();
    std::vector<GdkEvent*> kept;
    while (GdkEvent* event = gdk_event_get()) {
        if (layOut && event->type == GDK_CONFIGURE) {
            gtk_main_do_event(event);
            gdk_event_free(event);
        } else if (dropInput && isInput(event->type)) {
            gdk_event_free(event);
        } else {
            kept.push_back(event);
        }
    }
    for (GdkEvent* event : kept) {
        gdk_event_put(event);
        gdk_event_free(event);
    }
}

// A busy cursor over the whole window, on a pane that also keeps clicks from its widgets.
GdkWindow* coverWithBusyCursor()
{
    GtkWidget* window = installerState.window;
    GdkWindowAttr attributes{};
    attributes.wclass = GDK_INPUT_ONLY;
    attributes.window_type = GDK_WINDOW_CHILD;
    attributes.width = gdk_screen_get_width(gtk_widget_get_screen(window));
    attributes.height = gdk_screen_get_height(gtk_widget_get_screen(window));
    attributes.cursor = gdk_cursor_new_for_display(gtk_widget_get_display(window), GDK_WATCH);
    GdkWindow* cover = gdk_window_new(window->window, &attributes, GDK_WA_CURSOR);
    gdk_cursor_unref(attributes.cursor);
    gdk_window_show(cover);
    return cover;
}

// Whether `event` is for the details, which the user may unfold, scroll, select and read
// meanwhile, or moves the keyboard focus, which presses nothing.
bool mayPass(const GdkEvent* event)
{
    GtkWidget* details = installerState.details;
    const auto within = [details](gpointer widget) {
        return widget && (widget == details || gtk_widget_is_ancestor(GTK_WIDGET(widget), details));
    };
    if (event->type == GDK_KEY_PRESS || event->type == GDK_KEY_RELEASE)
        return event->key.keyval == GDK_Tab || event->key.keyval == GDK_ISO_Left_Tab
            || within(gtk_window_get_focus(GTK_WINDOW(installerState.window)));
    gpointer widget = nullptr;
    gdk_window_get_user_data(event->any.window, &widget);
    return within(widget);
}

// While the check or the command runs, clicks and keys are dropped as they come, but for
// the details: handled afterwards, they would press Install again or press Done on a page
// never seen. A close is held back until the run has ended: ending the program meanwhile
// would leave dpkg running unseen and the user without its result. While the command
// runs, the page says so.
void filterDuringRun(GdkEvent* event, gpointer data)
{
    auto* busy = static_cast<Busy*>(data);
    if (event->type == GDK_DELETE && !busy->close) {
        busy->close = gdk_event_copy(event);
        if (busy->running)
            showAgreementMessage(std::string(gtk_label_get_text(GTK_LABEL(installerState.message)))
                                 + " " + installerState.str_closingMessage);
    } else if ((!isInput(event->type) || mayPass(event)) && event->type != GDK_DELETE) {
        gtk_main_do_event(event);
    }
}

// The cover leaves the details uncovered, wherever they stand.
void uncoverDetails(GtkWidget* details, GtkAllocation* where, gpointer cover)
{
    const GdkRectangle whole{0, 0, gdk_screen_get_width(gtk_widget_get_screen(details)),
                             gdk_screen_get_height(gtk_widget_get_screen(details))};
    GdkRegion* region = gdk_region_rectangle(&whole);
    if (gtk_widget_get_visible(details)) {
        GdkRegion* hole = gdk_region_rectangle(where);
        gdk_region_subtract(region, hole);
        gdk_region_destroy(hole);
    }
    gdk_window_input_shape_combine_region(GDK_WINDOW(cover), region, 0, 0);
    gdk_region_destroy(region);
}

void handleAsUsual(GdkEvent* event, gpointer /*data*/)
{
    gtk_main_do_event(event);
}

}  // namespace

void startBusy(Busy& busy)
{
    InstallerState& s = installerState;
    gtk_widget_set_sensitive(s.gButton, FALSE);
    busy.cover = coverWithBusyCursor();
    uncoverDetails(s.details, &s.details->allocation, busy.cover);
    busy.uncovering
        = g_signal_connect(s.details, "size-allocate", G_CALLBACK(uncoverDetails), busy.cover);
    showAgreementProgress(true);
    gdk_event_handler_set(filterDuringRun, &busy, nullptr);
}

void endBusy(Busy& busy, bool carryOutClose)
{
    gdk_event_handler_set(handleAsUsual, nullptr, nullptr);
    g_signal_handler_disconnect(installerState.details, busy.uncovering);
    showAgreementProgress(false);
    gdk_window_destroy(busy.cover);
    sortQueuedEvents(false, true);
    if (busy.close && carryOutClose)
        gdk_event_put(busy.close);
    if (busy.close)
        gdk_event_free(busy.close);
    busy.close = nullptr;
}

void drawNow()
{
    GtkContainer* window = GTK_CONTAINER(installerState.window);
    gtk_container_check_resize(window);
    sortQueuedEvents(true, false);
    gtk_container_check_resize(window);
    gdk_window_process_all_updates();
    gdk_flush();
}
