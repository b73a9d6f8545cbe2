// The test's eyes and hands inside the X server named by DISPLAY.
//   probe                builds both pages from the texts in the working directory, in the
//                        desktop font of this environment, as the installer started here
//                        would; reports on standard error, and with status 1, any widget
//                        outside the content area (470 pixels wide, as high as the window
//                        less its border), two that overlap, a text cut, a button
//                        narrower than 50 pixels, an agreement not all there, an agreement
//                        area below its minimum or a window grown without need; prints the
//                        centres of the check button and of Install
//   probe close WINDOW   asks WINDOW to close, the way a window manager does

#include "installer.h"
#include "pages/agreement_page.h"
#include "pages/finished_page.h"
#include "pages/installation_run.h"
#include "pages/page_kit.h"
#include "resources/locale_resources.h"

#include <cstdio>
#include <string>

#include <X11/Xlib.h>  // last: its macros (None, Status) clash with names above

namespace {

int faults = 0;

void fault(const char* what, GtkWidget* widget, GtkWidget* other = nullptr)
{
    ++faults;
    std::fprintf(stderr, "%s: %s %s\n", what, G_OBJECT_TYPE_NAME(widget), other ? G_OBJECT_TYPE_NAME(other) : "");
}

// Shows the page and checks its widgets; returns the window's height.
int check(std::initializer_list<GtkWidget*> widgets)
{
    for (int round = 0; round < 5; ++round, gdk_flush(), g_usleep(10000))
        while (gtk_events_pending())
            gtk_main_iteration();
    const GtkAllocation window = installerState.window->allocation;
    GdkRectangle content{kWindowBorder, kWindowBorder, kContentWidth, window.height - 2 * kWindowBorder}, seen;
    for (auto widget = widgets.begin(); widget != widgets.end(); ++widget) {
        GdkRectangle box = (*widget)->allocation;
        if (!gdk_rectangle_intersect(&box, &content, &seen) || seen.width != box.width || seen.height != box.height)
            fault("outside the content area", *widget);
        for (auto before = widgets.begin(); before != widget; ++before)
            if (gdk_rectangle_intersect(&box, &(*before)->allocation, &seen))
                fault("overlap", *widget, *before);
        GtkWidget* text = GTK_IS_BIN(*widget) ? gtk_bin_get_child(GTK_BIN(*widget)) : *widget;
        int width = 0, height = 0;
        if (GTK_IS_LABEL(text))
            pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(text)), &width, &height);
        if (width > text->allocation.width || height > text->allocation.height)
            fault("text cut", *widget);
        if (GTK_IS_BUTTON(*widget) && !GTK_IS_CHECK_BUTTON(*widget) && box.width < kMinButtonWidth)
            fault("narrower than a button may be", *widget);
    }
    return window.height;
}

}  // namespace

int main(int argc, char** argv)
{
    gtk_init(&argc, &argv);
    if (argc == 3 && std::string(argv[1]) == "close") {
        Display* display = XOpenDisplay(nullptr);
        XEvent event{};
        event.xclient = {ClientMessage, 0, False, display, std::stoul(argv[2]), XInternAtom(display, "WM_PROTOCOLS", False), 32, {}};
        event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
        XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
        return XCloseDisplay(display);
    }
    initialzeLocalStrings();
    initAndShowInstallWindow();
    InstallerState& s = installerState;
    const int agreement = (check({s.label, s.scrolled_window, s.check_button, s.gButton}), s.scrolled_window->allocation.height);
    if (agreement < kMinAgreementHeight || (agreement > kMinAgreementHeight && s.window->allocation.height != kWindowHeight))
        fault("agreement area of the wrong height", s.scrolled_window);
    if (gtk_text_buffer_get_char_count(s.text_buffer) != g_utf8_strlen(agreementText().data(), agreementText().size()))
        fault("agreement not all there", s.text_view);
    for (GtkWidget* widget : {s.check_button, s.gButton})
        std::printf("%d %d\n", widget->allocation.x + widget->allocation.width / 2, widget->allocation.y + widget->allocation.height / 2);

    deallocInstallWindow();
    initAndshowInstallSucceededWindow();
    GtkWidget* finish = static_cast<GtkBoxChild*>(GTK_BOX(gtk_bin_get_child(GTK_BIN(s.window)))->children->data)->widget;
    int textHeight = 0;
    pango_layout_get_pixel_size(gtk_label_get_layout(GTK_LABEL(finish)), nullptr, &textHeight);
    if (check({finish, gtk_window_get_focus(GTK_WINDOW(s.window))}) != kWindowHeight && finish->allocation.height != textHeight)
        fault("window grown without need", finish);
    return faults ? 1 : 0;
}
