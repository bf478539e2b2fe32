// The alert dialog's rules: which buttons a buttons string shows, where, and what each answers.
//
// One letter per button, in the order given: C Continue, S Stop, O OK, Y Yes, I Ignore, R Retry,
// K Skip. The row is centred in the bottom panel with a pitch of 87 px; a letter outside the table
// keeps its place empty. Esc and the window's close button answer as the Esc button: Stop when the
// string holds "S" or no "O", else OK.
#pragma once

#include <string>
#include <vector>

namespace qv {

inline constexpr int kAlertButtonPitch = 87;

struct AlertButtonPlace {
    char letter = 0;
    int left = 0;     // x in the bottom panel
    int tabIndex = 0; // position in the tab order
};

// The buttons to show for `buttons` in a bottom panel `panelWidth` wide, in order.
std::vector<AlertButtonPlace> alertButtonPlaces(const std::string &buttons, int panelWidth);
// The modal result of a letter's button (6 Yes, 3 Abort, 5 Ignore, 4 Retry, 7 No), 0 for none.
int alertButtonResult(char letter);
// The answer of Esc and of closing the window: 6 when `buttons` holds "O" and no "S", else 3.
int alertEscResult(const std::string &buttons);

} // namespace qv
