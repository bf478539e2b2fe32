// Hot-key edit: Qt keys to virtual-key codes (the inverse of the hot-key layer's key symbols).
#include "ui/taskprops/HotKeyEdit.h"

#include <QKeyEvent>
#include <QKeySequence>

#include <map>

namespace qv {
namespace {

constexpr std::uint16_t kShift = 0x2000;
constexpr std::uint16_t kCtrl = 0x4000;
constexpr std::uint16_t kAlt = 0x8000;

const std::map<int, unsigned> &keyTable()
{
    static const std::map<int, unsigned> table = {
        {Qt::Key_Backspace, 0x08}, {Qt::Key_Tab, 0x09}, {Qt::Key_Backtab, 0x09}, {Qt::Key_Return, 0x0D},
        {Qt::Key_Enter, 0x0D}, {Qt::Key_Pause, 0x13}, {Qt::Key_Escape, 0x1B}, {Qt::Key_Space, 0x20},
        {Qt::Key_PageUp, 0x21}, {Qt::Key_PageDown, 0x22}, {Qt::Key_End, 0x23}, {Qt::Key_Home, 0x24},
        {Qt::Key_Left, 0x25}, {Qt::Key_Up, 0x26}, {Qt::Key_Right, 0x27}, {Qt::Key_Down, 0x28},
        {Qt::Key_Print, 0x2C}, {Qt::Key_Insert, 0x2D}, {Qt::Key_Delete, 0x2E}, {Qt::Key_ScrollLock, 0x91},
        {Qt::Key_Semicolon, 0xBA}, {Qt::Key_Colon, 0xBA}, {Qt::Key_Equal, 0xBB}, {Qt::Key_Plus, 0xBB},
        {Qt::Key_Comma, 0xBC}, {Qt::Key_Less, 0xBC}, {Qt::Key_Minus, 0xBD}, {Qt::Key_Underscore, 0xBD},
        {Qt::Key_Period, 0xBE}, {Qt::Key_Greater, 0xBE}, {Qt::Key_Slash, 0xBF}, {Qt::Key_Question, 0xBF},
        {Qt::Key_QuoteLeft, 0xC0}, {Qt::Key_AsciiTilde, 0xC0}, {Qt::Key_BracketLeft, 0xDB},
        {Qt::Key_BraceLeft, 0xDB}, {Qt::Key_Backslash, 0xDC}, {Qt::Key_Bar, 0xDC}, {Qt::Key_BracketRight, 0xDD},
        {Qt::Key_BraceRight, 0xDD}, {Qt::Key_Apostrophe, 0xDE}, {Qt::Key_QuoteDbl, 0xDE},
        // Shifted digits on a US keyboard.
        {Qt::Key_ParenRight, 0x30}, {Qt::Key_Exclam, 0x31}, {Qt::Key_At, 0x32}, {Qt::Key_NumberSign, 0x33},
        {Qt::Key_Dollar, 0x34}, {Qt::Key_Percent, 0x35}, {Qt::Key_AsciiCircum, 0x36}, {Qt::Key_Ampersand, 0x37},
        {Qt::Key_Asterisk, 0x38}, {Qt::Key_ParenLeft, 0x39},
    };
    return table;
}

const std::map<int, unsigned> &keypadTable()
{
    static const std::map<int, unsigned> table = {
        {Qt::Key_Asterisk, 0x6A}, {Qt::Key_Plus, 0x6B}, {Qt::Key_Comma, 0x6C}, {Qt::Key_Minus, 0x6D},
        {Qt::Key_Period, 0x6E}, {Qt::Key_Slash, 0x6F}, {Qt::Key_Enter, 0x0D},
    };
    return table;
}

} // namespace

unsigned virtualKeyOfQtKey(int qtKey, bool keypad)
{
    if (qtKey >= Qt::Key_A && qtKey <= Qt::Key_Z) {
        return 0x41 + static_cast<unsigned>(qtKey - Qt::Key_A);
    }
    if (qtKey >= Qt::Key_0 && qtKey <= Qt::Key_9) {
        return (keypad ? 0x60u : 0x30u) + static_cast<unsigned>(qtKey - Qt::Key_0);
    }
    if (qtKey >= Qt::Key_F1 && qtKey <= Qt::Key_F24) {
        return 0x70 + static_cast<unsigned>(qtKey - Qt::Key_F1);
    }
    if (keypad) {
        auto it = keypadTable().find(qtKey);
        if (it != keypadTable().end()) {
            return it->second;
        }
    }
    auto it = keyTable().find(qtKey);
    return it == keyTable().end() ? 0 : it->second;
}

std::uint16_t hotKeyOfChord(int qtKey, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & Qt::MetaModifier) {
        return 0;
    }
    const unsigned vk = virtualKeyOfQtKey(qtKey, (modifiers & Qt::KeypadModifier) != 0);
    if (vk == 0) {
        return 0;
    }
    std::uint16_t value = static_cast<std::uint16_t>(vk);
    if (modifiers & Qt::ShiftModifier) {
        value |= kShift;
    }
    if (modifiers & Qt::ControlModifier) {
        value |= kCtrl;
    }
    if (modifiers & Qt::AltModifier) {
        value |= kAlt;
    }
    return value;
}

QString hotKeyText(std::uint16_t hotKey)
{
    if (hotKey == 0) {
        return {};
    }
    QString text;
    if (hotKey & kCtrl) {
        text += QLatin1String("Ctrl+");
    }
    if (hotKey & kAlt) {
        text += QLatin1String("Alt+");
    }
    if (hotKey & kShift) {
        text += QLatin1String("Shift+");
    }
    const unsigned vk = hotKey & 0xFF;
    if ((vk >= 0x30 && vk <= 0x39) || (vk >= 0x41 && vk <= 0x5A)) {
        return text + QChar(static_cast<char16_t>(vk));
    }
    if (vk >= 0x70 && vk <= 0x87) {
        return text + QStringLiteral("F%1").arg(vk - 0x6F);
    }
    if (vk >= 0x60 && vk <= 0x69) {
        return text + QStringLiteral("Num %1").arg(vk - 0x60);
    }
    for (const auto &[key, code] : keyTable()) {
        if (code == vk) {
            return text + QKeySequence(key).toString(QKeySequence::NativeText);
        }
    }
    for (const auto &[key, code] : keypadTable()) {
        if (code == vk) {
            return text + QStringLiteral("Num ") + QKeySequence(key).toString(QKeySequence::NativeText);
        }
    }
    return text + QStringLiteral("0x%1").arg(vk, 2, 16, QLatin1Char('0'));
}

HotKeyEdit::HotKeyEdit(QWidget *parent) : QLineEdit(parent)
{
    setReadOnly(true); // the text follows the chord; typing never edits it
    setPlaceholderText(QStringLiteral("None"));
}

void HotKeyEdit::setHotKey(std::uint16_t hotKey)
{
    const bool changed = hotKey != m_hotKey;
    m_hotKey = hotKey;
    setText(hotKeyText(hotKey));
    if (changed) {
        emit hotKeyChanged(hotKey);
    }
}

void HotKeyEdit::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Shift || key == Qt::Key_Control || key == Qt::Key_Alt || key == Qt::Key_Meta ||
        key == Qt::Key_AltGr || key == Qt::Key_Super_L || key == Qt::Key_Super_R) {
        event->accept();
        return;
    }
    // Tab and Shift+Tab without Ctrl or Alt keep moving the focus.
    if ((key == Qt::Key_Tab || key == Qt::Key_Backtab) && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        QLineEdit::keyPressEvent(event);
        return;
    }
    const std::uint16_t chord = hotKeyOfChord(key, event->modifiers());
    if (chord != 0) {
        setHotKey(chord);
    }
    event->accept();
}

} // namespace qv
