#pragma once

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdint>
#include <memory>

// Every text the installer keeps (localized texts, resolved paths, the package list)
// lives in a fixed NUL-terminated buffer of this size.
inline constexpr std::size_t kTextBufferSize = 1024;

// The one record shared by the whole program. It starts zeroed; the resources fill
// the texts before any window exists, the pages keep their widget handles here.
struct InstallerState {
    char str_processName[kTextBufferSize];
    char str_noticeLabel[kTextBufferSize];
    char str_checkButton[kTextBufferSize];
    char str_installButton[kTextBufferSize];
    char str_finishLabel[kTextBufferSize];
    char str_doneButton[kTextBufferSize];
    char localeStringPath[kTextBufferSize];
    char licensePath[kTextBufferSize];
    std::unique_ptr<char[]> licenseData;  // agreement text, valid UTF-8, not NUL-terminated
    std::int32_t licenseDataSize;
    char rpmPath[kTextBufferSize];  // package list: shell-quoted absolute paths, each followed by a blank

    GtkWidget* window;
    GtkWidget* label;
    GtkWidget* text_view;
    GtkTextBuffer* text_buffer;
    GtkWidget* scrolled_window;
    GtkWidget* gButton;
    GtkWidget* fixed;
    GtkWidget* check_button;
    GtkWidget* vbox;
};

extern InstallerState installerState;

// "destroy" of the main window and "clicked" of Done: ends the main loop.
void destroy(GtkWidget* widget, gpointer data);
// "delete_event" of the main window: reports the close and lets GTK destroy the window.
gboolean delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);
