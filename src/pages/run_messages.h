#pragma once

#include "pages/install_commands.h"
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

// What a plan enables and brings.
std::string planSentences(const SourcesPlan& plan);

// What the page says after a run that did not succeed.
std::string failureMessage(const RunOutcome& outcome);
