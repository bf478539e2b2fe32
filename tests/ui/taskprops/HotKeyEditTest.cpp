// The hot-key edit: chords to the stored value, refused chords, and the key table against the
// hot-key layer's own table of key symbols.
#include "ui/taskprops/HotKeyEdit.h"

#include "platform/HotKeys.h"

#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <set>

using namespace qv;

namespace {

TEST(HotKeyChords, Table)
{
    const struct {
        int key;
        Qt::KeyboardModifiers mods;
        std::uint16_t value;
    } rows[] = {
        {Qt::Key_B, Qt::ControlModifier | Qt::AltModifier, 0xC042},
        {Qt::Key_F5, Qt::ShiftModifier, 0x2074},
        {Qt::Key_1, Qt::AltModifier, 0x8031},
        {Qt::Key_Exclam, Qt::ShiftModifier | Qt::ControlModifier, 0x6031}, // Shift+1 as the keyboard reports it
        {Qt::Key_5, Qt::KeypadModifier | Qt::ControlModifier, 0x4065},
        {Qt::Key_Plus, Qt::KeypadModifier, 0x006B},
        {Qt::Key_F24, Qt::NoModifier, 0x0087},
        {Qt::Key_1, Qt::AltModifier | Qt::MetaModifier, 0},  // Super is refused
        {Qt::Key_Shift, Qt::ShiftModifier, 0},               // a bare modifier
        {Qt::Key_Menu, Qt::ControlModifier, 0},              // no virtual key
        {Qt::Key_Eacute, Qt::AltModifier, 0},
    };
    for (const auto &row : rows) {
        EXPECT_EQ(hotKeyOfChord(row.key, row.mods), row.value) << std::hex << row.key;
    }
}

TEST(HotKeyChords, TableIsTheInverseOfTheKeySymbols)
{
    std::set<unsigned> reached;
    for (int key = 0; key <= 0x01ffffff; key = key < 0x2000 ? key + 1 : (key < 0x01000000 ? 0x01000000 : key + 1)) {
        for (bool keypad : {false, true}) {
            const unsigned vk = virtualKeyOfQtKey(key, keypad);
            if (vk != 0) {
                EXPECT_NE(keySymOfVirtualKey(vk), 0u) << "Qt key 0x" << std::hex << key << " gives 0x" << vk;
                reached.insert(vk);
            }
        }
        if (key > 0x010000ff) {
            break;
        }
    }
    for (unsigned vk = 1; vk < 256; ++vk) {
        if (keySymOfVirtualKey(vk) != 0) {
            EXPECT_TRUE(reached.count(vk)) << "no Qt key reaches virtual key 0x" << std::hex << vk;
        }
    }
}

TEST(HotKeyChords, EditTakesOneChordAndShowsIt)
{
    HotKeyEdit edit;
    QSignalSpy changed(&edit, &HotKeyEdit::hotKeyChanged);
    QTest::keyClick(&edit, Qt::Key_B, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(edit.hotKey(), 0xC042);
    EXPECT_EQ(edit.text(), "Ctrl+Alt+B");
    QTest::keyClick(&edit, Qt::Key_X, Qt::MetaModifier);
    EXPECT_EQ(edit.hotKey(), 0xC042) << "a refused chord leaves the key";
    QTest::keyClick(&edit, Qt::Key_F5, Qt::ShiftModifier);
    EXPECT_EQ(edit.hotKey(), 0x2074);
    EXPECT_EQ(changed.count(), 2);
    edit.setHotKey(0);
    EXPECT_TRUE(edit.text().isEmpty());
}

} // namespace
