#pragma once

#include <string>
#include <string_view>
#include <vector>

// What a run of the installation command is doing, read from what dpkg writes to its log
// and from the status the plan's command reports, neither of which depends on the user's
// language.
struct RunProgress {
    enum Step { Starting, AcceptingArchitecture, UpdatingLists, Downloading, Installing };
    Step step = Starting;
    bool planned = false;  // the plan's command, whose steps go to apt; else dpkg -i
    double fraction = 0;  // of the whole run; it only rises
    double percent = 0;  // of the step, as apt reports it
    std::string package;  // being unpacked or set up, without its architecture
    bool settingUp = false;
    int number = 0;  // of that package, counted as dpkg takes them
    int packages = 0;  // how many the run installs, as far as is known
    bool dpkgBegan = false;  // dpkg has written to its log
    // Packages dpkg could not unpack, and whose set-up failed, in the order it met them.
    std::vector<std::string> notUnpacked;
    std::vector<std::string> notSetUp;
    std::vector<std::string> unpacking;  // begun but not yet unpacked
};

// Takes one line dpkg wrote to its log: "2026-12-08 11:56:27 install r1:all <none> 1.0",
// "... configure r1:all 1.0 1.0", "... status half-configured r1:all 1.0".
void readDpkgLog(RunProgress& progress, std::string_view line);

// Takes one line of the plan's status channel: a step of the plan's script, or apt's
// "dlstatus:N:PERCENT:TEXT" and "pmstatus:PACKAGE:PERCENT:TEXT".
void readRunStatus(RunProgress& progress, std::string_view line);
