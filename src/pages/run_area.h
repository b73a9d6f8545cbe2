#pragma once

#include <string>
#include <string_view>

// Below the agreement, what became of the last press of Install: a message, a progress bar
// and the details, what the command printed, folded. Each is hidden, and takes no room,
// until there is something to show.

// Creates them in the agreement page's box, below the agreement.
void packRunArea();

// Shows `text` as the message, in place of what it showed before. It is a notification:
// screen readers speak it as it appears.
void showAgreementMessage(const std::string& text);

// Shows the progress bar, moving to and fro while nothing can tell how far the work is, or
// hides it again.
void showAgreementProgress(bool shown);

// Sets the progress bar to `fraction` of the work done, with `text` on it.
void setAgreementProgress(double fraction, const std::string& text);

// Adds a line the command printed to the details, which show from then on and follow the
// end.
void appendAgreementDetails(std::string_view line);

// Empties the details and hides them again.
void clearAgreementDetails();
