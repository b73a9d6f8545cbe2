#pragma once

#include <X11/Xlib.h>

// Asks `window` to close the way a window manager does when the user closes it:
// a WM_PROTOCOLS client message carrying WM_DELETE_WINDOW.
inline void sendDeleteWindow(Display* display, Window window)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

// The same on a connection of its own.
inline void sendDeleteWindow(Window window)
{
    Display* display = XOpenDisplay(nullptr);
    sendDeleteWindow(display, window);
    XCloseDisplay(display);
}
