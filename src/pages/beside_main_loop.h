#pragma once

#include "resources/package_check.h"

#include <glib.h>

#include <functional>
#include <string>
#include <string_view>

// Takes what a command writes as it comes: on its standard output (1) or error (2).
using OutputSink = std::function<void(int stream, std::string_view bytes)>;

// Runs `command` through /bin/sh and waits for it, like system(), whose raw wait status it
// returns, but with the main loop running: the window is drawn and answers the window
// manager and screen readers meanwhile, and what the command writes goes to `sink`. Unlike
// system(), the shell starts with the default handling of SIGPIPE, which GTK ignores in
// this process.
int runThroughShell(const std::string& command, const OutputSink& sink);

// Runs the main loop until `done` is true, asking it again every `milliseconds`.
void iterateUntil(const std::function<bool()>& done, guint milliseconds);

// The check of the packages at `paths`, which takes a moment or two (apt reads the whole
// package database), on a thread of its own while the main loop runs; `fetching` is called
// once the check goes to the network for package lists.
std::variant<CheckAnswer, CannotTell> checkBesideMainLoop(const Words& paths,
                                                          const std::function<void()>& fetching);
