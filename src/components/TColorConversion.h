// TColor: the stored colour values of the settings, turned into colours of this desktop and back.
//
// A stored colour is one 32-bit value: 0x00BBGGRR for a colour of its own; 0xFF000000 + index for
// one of the desktop's system colours (5 = window background, 8 = window text, 15 = button face,
// ...), which here follow the widget's palette through a table of roles; 0xFFFFFFFF (-1) for "no
// colour chosen", which leaves a list its own default colours. Users of these values: the log
// panel's colours by kind, the colour button and the options dialog.
#pragma once

#include "core/settings/Settings.h"

#include <QColor>
#include <QPalette>

#include <optional>

namespace qv {

constexpr TColor kTColorNone = 0xFFFFFFFFu;       // -1: the list's defaults
constexpr TColor kTColorSystemBase = 0xFF000000u; // + a system colour index

// The palette role standing for system colour `index`, or nothing for an index without one.
std::optional<QPalette::ColorRole> systemColorRole(int index);

// The colour to draw with, or nothing for -1 and for values that name no colour (an unknown system
// index, a high byte other than 0x00 and 0xFF): the caller keeps its default colour then.
std::optional<QColor> colorFromTColor(TColor value, const QPalette &palette);

// The stored value of a colour of its own (0x00BBGGRR); alpha is dropped.
TColor tColorFromColor(const QColor &color);

} // namespace qv
