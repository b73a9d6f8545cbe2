#pragma once

#include "resources/package_check.h"

#include <string>

// Runs `command` through /bin/sh and waits for it, like system(), whose raw wait status it
// returns, but with the main loop running: the window is drawn and answers the window
// manager and screen readers meanwhile. Unlike system(), the shell starts with the default
// handling of SIGPIPE, which GTK ignores in this process.
int runThroughShell(const std::string& command);

// The check of the packages at `paths`, which takes a moment or two (apt reads the whole
// package database), on a thread of its own while the main loop runs.
std::variant<CheckAnswer, CannotTell> checkBesideMainLoop(const Words& paths);
