// HotKeyEdit: the edit box that takes one key chord as a task's hot key.
//
// A hot key is stored as the design's 16-bit value: the virtual-key code in the low byte and Shift
// 0x2000, Ctrl 0x4000, Alt 0x8000. The edit takes the chord the user presses; the Super (Meta) key
// and keys that have no virtual-key code are refused, since the hot-key layer cannot grab them.
// Shifted punctuation is read as on a US keyboard, the layout the virtual-key codes describe.
#pragma once

#include <QLineEdit>

#include <cstdint>

namespace qv {

// The virtual-key code of a Qt key (`keypad`: pressed on the numeric keypad), 0 when there is none.
unsigned virtualKeyOfQtKey(int qtKey, bool keypad);
// The hot-key value of a chord, 0 when it is refused (Meta held, a bare modifier, no virtual key).
std::uint16_t hotKeyOfChord(int qtKey, Qt::KeyboardModifiers modifiers);
// "Ctrl+Alt+B"; empty for 0.
QString hotKeyText(std::uint16_t hotKey);

class HotKeyEdit : public QLineEdit
{
    Q_OBJECT
public:
    explicit HotKeyEdit(QWidget *parent = nullptr);

    std::uint16_t hotKey() const { return m_hotKey; }
    void setHotKey(std::uint16_t hotKey);

signals:
    void hotKeyChanged(std::uint16_t hotKey);

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    std::uint16_t m_hotKey = 0;
};

} // namespace qv
