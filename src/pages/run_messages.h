#pragma once

#include "pages/install_commands.h"
#include "pages/run_failure.h"
#include "resources/install_locks.h"
#include "resources/package_check.h"

#include <initializer_list>
#include <string>
#include <string_view>

// What the page says after a press of Install, in the user's language: sentences made from
// the localized texts, each "%s" filled in.

// A refusal names this many problems, and a plan this many packages, then says how many
// more there are.
inline constexpr std::size_t kMaxProblems = 6;

// `text` with each "%s" in turn replaced by the next of `values`.
std::string fillIn(std::string_view text, std::initializer_list<std::string_view> values);

// The problems, as many as are worth reading, each short enough to read, joined by "; ".
std::string refusalReasons(const std::vector<PackageProblem>& problems);

// What a plan enables and brings: how many packages, how many for the architecture it
// accepts, the upgrades by name (as many as are worth reading) and apt's sizes.
std::string planSentences(const SourcesPlan& plan);

// Every package a plan installs, then every one it upgrades, one a line, each list under
// its heading.
Words planLists(const SourcesPlan& plan);

// The step a run is at (accepting `architecture`, on the plan's road), in a sentence.
std::string stepMessage(const RunProgress& progress, const std::string& architecture);

// What the progress bar says while dpkg works: the package, and how many of how many.
std::string progressText(const RunProgress& progress);

// What the page says after a run that did not succeed: why, in dpkg's or apt's words when
// they say it (`failure`), that another program took dpkg's lock meanwhile (`lockTaken`),
// or else the exit status.
std::string failureMessage(const RunOutcome& outcome, const RunFailure& failure,
                           const std::optional<LockHolder>& lockTaken);
