// The hot-key layer's own parts: the report of an unavailable layer and the key symbols of the
// Windows virtual-key codes (numbers of the X protocol, which the fakes use as well).
#include "platform/HotKeys.h"

#include <X11/keysym.h>

#include <map>

namespace qv {

bool HotKeys::takeUnavailableReport()
{
    if (isAvailable() || m_reported) {
        return false;
    }
    m_reported = true;
    return true;
}

std::uint32_t keySymOfVirtualKey(unsigned vk)
{
    if (vk >= 0x41 && vk <= 0x5A) {
        return XK_a + (vk - 0x41);
    }
    if (vk >= 0x30 && vk <= 0x39) {
        return XK_0 + (vk - 0x30);
    }
    if (vk >= 0x70 && vk <= 0x87) {
        return XK_F1 + (vk - 0x70);
    }
    if (vk >= 0x60 && vk <= 0x69) {
        return XK_KP_0 + (vk - 0x60);
    }
    static const std::map<unsigned, std::uint32_t> table = {
        {0x08, XK_BackSpace}, {0x09, XK_Tab},         {0x0D, XK_Return},      {0x13, XK_Pause},
        {0x1B, XK_Escape},    {0x20, XK_space},       {0x21, XK_Prior},       {0x22, XK_Next},
        {0x23, XK_End},       {0x24, XK_Home},        {0x25, XK_Left},        {0x26, XK_Up},
        {0x27, XK_Right},     {0x28, XK_Down},        {0x2C, XK_Print},       {0x2D, XK_Insert},
        {0x2E, XK_Delete},    {0x6A, XK_KP_Multiply}, {0x6B, XK_KP_Add},      {0x6C, XK_KP_Separator},
        {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},  {0x91, XK_Scroll_Lock},
        {0xBA, XK_semicolon}, {0xBB, XK_equal},       {0xBC, XK_comma},       {0xBD, XK_minus},
        {0xBE, XK_period},    {0xBF, XK_slash},       {0xC0, XK_grave},       {0xDB, XK_bracketleft},
        {0xDC, XK_backslash}, {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},
    };
    auto it = table.find(vk);
    return it == table.end() ? 0 : it->second;
}

} // namespace qv
