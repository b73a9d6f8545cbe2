#include "pages/busy_cover.h"

#include "installer.h"
#include "pages/agreement_page.h"

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

// While the check or the command runs, clicks and keys are dropped as they come: handled
// afterwards, they would press Install again or press Done on a page never seen. A close
// is held back until the run has ended, and then carried out: ending the program meanwhile
// would leave dpkg running unseen and the user without its result.
void filterDuringRun(GdkEvent* event, gpointer held)
{
    if (event->type == GDK_DELETE)
        static_cast<std::vector<GdkEvent*>*>(held)->push_back(gdk_event_copy(event));
    else if (!isInput(event->type))
        gtk_main_do_event(event);
}

void handleAsUsual(GdkEvent* event, gpointer /*data*/)
{
    gtk_main_do_event(event);
}

gboolean pulse(gpointer bar)
{
    gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
    return TRUE;
}

}  // namespace

void startBusy(Busy& busy)
{
    InstallerState& s = installerState;
    gtk_widget_set_sensitive(s.gButton, FALSE);
    busy.cover = coverWithBusyCursor();
    showAgreementProgress(true);
    busy.pulsing = g_timeout_add(100, pulse, s.progress);
    gdk_event_handler_set(filterDuringRun, &busy.held, nullptr);
}

void endBusy(Busy& busy)
{
    gdk_event_handler_set(handleAsUsual, nullptr, nullptr);
    g_source_remove(busy.pulsing);
    showAgreementProgress(false);
    gdk_window_destroy(busy.cover);
    sortQueuedEvents(false, true);
    for (GdkEvent* event : busy.held) {
        gdk_event_put(event);
        gdk_event_free(event);
    }
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
