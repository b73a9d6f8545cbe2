#pragma once

#include "resources/package_problem.h"

#include <gtk/gtk.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// The localized texts and the locale files' paths live in fixed NUL-terminated buffers of
// this size.
inline constexpr std::size_t kTextBufferSize = 1024;

// The longest installation command that can run: Linux hands the shell its command as one
// argument, and one argument holds at most 32 pages of 4 KiB with its terminating zero.
inline constexpr std::size_t kMaxCommandLength = std::size_t{128} * 1024 - 1;

// The one record shared by the whole program. It starts zeroed; the resources fill
// the texts before any window exists, the pages keep their widget handles here.
struct InstallerState {
    char str_processName[kTextBufferSize];
    char str_noticeLabel[kTextBufferSize];
    char str_checkButton[kTextBufferSize];
    char str_installButton[kTextBufferSize];
    char str_finishLabel[kTextBufferSize];
    char str_doneButton[kTextBufferSize];
    // Messages of the agreement page, each with a built-in English text for translations
    // that lack it; "%s" stands for the names or numbers put in.
    char str_installingMessage[kTextBufferSize];
    char str_cancelledMessage[kTextBufferSize];
    char str_noRightsMessage[kTextBufferSize];
    char str_failedMessage[kTextBufferSize];
    char str_refusedMessage[kTextBufferSize];
    char str_tooLongMessage[kTextBufferSize];
    // The sentence for each kind of problem the check finds, by its kind.
    char str_reasons[kProblemKinds][kTextBufferSize];
    char str_reasonInstalledPackage[kTextBufferSize];
    char str_reasonMore[kTextBufferSize];
    char str_planMessage[kTextBufferSize];
    char str_planArchitecture[kTextBufferSize];
    char str_planCount[kTextBufferSize];
    char str_planCountArchitecture[kTextBufferSize];
    char str_planUpgrades[kTextBufferSize];
    char str_planSizes[kTextBufferSize];
    char str_planInstallList[kTextBufferSize];
    char str_planUpgradeList[kTextBufferSize];
    char str_planFetchingMessage[kTextBufferSize];
    char str_planUnknownMessage[kTextBufferSize];
    char str_planChangedMessage[kTextBufferSize];
    char str_listsFailedMessage[kTextBufferSize];
    char str_nothingMessage[kTextBufferSize];
    char str_waitingMessage[kTextBufferSize];
    char str_closingMessage[kTextBufferSize];
    char str_lockTakenMessage[kTextBufferSize];
    char str_setUpFailedMessage[kTextBufferSize];
    char str_unpackFailedMessage[kTextBufferSize];
    char str_aptFailedMessage[kTextBufferSize];
    char str_stepArchitecture[kTextBufferSize];
    char str_stepLists[kTextBufferSize];
    char str_stepDownloading[kTextBufferSize];
    char str_progressInstalling[kTextBufferSize];
    char str_progressSettingUp[kTextBufferSize];
    char str_detailsLabel[kTextBufferSize];
    char str_cautionMessage[kTextBufferSize];
    char localeStringPath[kTextBufferSize];
    char licensePath[kTextBufferSize];
    std::unique_ptr<char[]> licenseData;  // agreement text, valid UTF-8, not NUL-terminated
    std::int32_t licenseDataSize;
    std::vector<std::string> rpmPath;  // package list: absolute paths
    bool installing;  // the check or the command of a press of Install is under way
    // Once the page said what the next press of Install does: the command it runs, which is
    // the plan's (through apt, accepting an architecture) or an installation that the page
    // cautioned about, and how many packages it installs.
    std::string plannedCommand;
    bool plannedThroughApt;
    std::string plannedArchitecture;
    int plannedPackages;

    GtkWidget* window;
    // The agreement page's widgets, null once the page is gone.
    GtkWidget* label;
    GtkWidget* text_view;
    GtkTextBuffer* text_buffer;
    GtkWidget* scrolled_window;
    GtkWidget* message;  // what became of the last press of Install; hidden before it
    GtkWidget* progress;  // moves while the check or the command runs; hidden otherwise
    guint pulsing;  // moves the progress bar to and fro while nothing tells how far
    GtkWidget* details;  // what the command printed, folded; hidden until it printed
    GtkWidget* details_view;
    GtkWidget* gButton;
    GtkWidget* fixed;
    GtkWidget* check_button;
    GtkWidget* vbox;
};

extern InstallerState installerState;

// The agreement text, empty when there is none.
std::string_view agreementText();

// Writes `line` and a newline to standard output as they are, byte for byte, at once. A
// line that cannot be written is dropped.
void reportLine(std::string_view line);

// Makes the process safe to run whatever its launcher left it: standard streams that are
// closed are opened on /dev/null, children are waited for in the default way, and writing
// to a closed pipe fails instead of ending the program. Runs before anything else.
void prepareProcess();

// "destroy" of the main window and "clicked" of Done: ends the main loop.
void destroy(GtkWidget* widget, gpointer data);
// "delete_event" of the main window: reports the close and lets GTK destroy the window.
gboolean delete_event(GtkWidget* widget, GdkEvent* event, gpointer data);
