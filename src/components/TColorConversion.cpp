// TColor values to colours of this desktop and back.
#include "components/TColorConversion.h"

#include <array>

namespace qv {

namespace {

// System colour indices 0..30 and the palette role that plays their part on this desktop.
constexpr int kNoRole = -1;
constexpr std::array<int, 31> kSystemRoles = {
    QPalette::Mid,             // 0 scroll bar
    QPalette::Dark,            // 1 desktop background
    QPalette::Highlight,       // 2 active caption
    QPalette::Mid,             // 3 inactive caption
    QPalette::Window,          // 4 menu
    QPalette::Base,            // 5 window background
    QPalette::Shadow,          // 6 window frame
    QPalette::WindowText,      // 7 menu text
    QPalette::Text,            // 8 window text
    QPalette::HighlightedText, // 9 caption text
    QPalette::Window,          // 10 active border
    QPalette::Window,          // 11 inactive border
    QPalette::Dark,            // 12 application workspace
    QPalette::Highlight,       // 13 highlight
    QPalette::HighlightedText, // 14 highlighted text
    QPalette::Button,          // 15 button face
    QPalette::Mid,             // 16 button shadow
    QPalette::PlaceholderText, // 17 grey text
    QPalette::ButtonText,      // 18 button text
    QPalette::WindowText,      // 19 inactive caption text
    QPalette::Light,           // 20 button highlight
    QPalette::Shadow,          // 21 3-D dark shadow
    QPalette::Midlight,        // 22 3-D light
    QPalette::ToolTipText,     // 23 tool tip text
    QPalette::ToolTipBase,     // 24 tool tip background
    kNoRole,                   // 25 (unused)
    QPalette::Link,            // 26 hot-tracked item
    QPalette::Highlight,       // 27 gradient of the active caption
    QPalette::Mid,             // 28 gradient of the inactive caption
    QPalette::Highlight,       // 29 menu highlight
    QPalette::Window,          // 30 menu bar
};

} // namespace

std::optional<QPalette::ColorRole> systemColorRole(int index)
{
    if (index < 0 || index >= static_cast<int>(kSystemRoles.size()) || kSystemRoles[index] == kNoRole) {
        return std::nullopt;
    }
    return static_cast<QPalette::ColorRole>(kSystemRoles[index]);
}

std::optional<QColor> colorFromTColor(TColor value, const QPalette &palette)
{
    if (value == kTColorNone) {
        return std::nullopt;
    }
    const TColor high = value & 0xFF000000u;
    if (high == kTColorSystemBase) {
        auto role = systemColorRole(static_cast<int>(value & 0x00FFFFFFu));
        if (!role) {
            return std::nullopt;
        }
        return palette.color(QPalette::Active, *role);
    }
    if (high != 0) {
        return std::nullopt;
    }
    return QColor(static_cast<int>(value & 0xFF), static_cast<int>((value >> 8) & 0xFF),
                  static_cast<int>((value >> 16) & 0xFF));
}

TColor tColorFromColor(const QColor &color)
{
    const QColor rgb = color.toRgb();
    return static_cast<TColor>(rgb.red()) | (static_cast<TColor>(rgb.green()) << 8) |
           (static_cast<TColor>(rgb.blue()) << 16);
}

} // namespace qv
