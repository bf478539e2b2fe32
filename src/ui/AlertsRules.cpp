// The alert dialog's rules.
#include "ui/AlertsRules.h"

#include "core/engine/BackupTypes.h"

#include <cmath>

namespace qv {

int alertButtonResult(char letter)
{
    switch (letter) {
    case 'C':
    case 'O':
    case 'Y':
        return aaContinue;
    case 'S':
        return aaStop;
    case 'I':
        return aaIgnore;
    case 'R':
        return aaRetry;
    case 'K':
        return aaSkip;
    default:
        return aaNone;
    }
}

std::vector<AlertButtonPlace> alertButtonPlaces(const std::string &buttons, int panelWidth)
{
    std::vector<AlertButtonPlace> places;
    const double n = static_cast<double>(buttons.size());
    for (std::size_t i = 0; i < buttons.size(); ++i) {
        if (alertButtonResult(buttons[i]) == aaNone) {
            continue; // an unknown letter keeps its place empty
        }
        const double left = (panelWidth - n * kAlertButtonPitch) / 2.0 + static_cast<double>(i) * kAlertButtonPitch;
        places.push_back({buttons[i], static_cast<int>(std::floor(left + 0.5)), static_cast<int>(i)});
    }
    return places;
}

int alertEscResult(const std::string &buttons)
{
    const bool ok = buttons.find('O') != std::string::npos;
    const bool stop = buttons.find('S') != std::string::npos;
    return ok && !stop ? aaContinue : aaStop;
}

} // namespace qv
