// shownText: the one way names and messages are shown on a terminal and in a log.
#include "beneath/ShownText.h"

#include <gtest/gtest.h>

namespace {

TEST(ShownText, ControlsAreEscapedAndTextKept)
{
    struct Case
    {
        std::string text;
        std::string shown;
    };
    const Case cases[] = {
        {"plain name.txt", "plain name.txt"},
        {"a\nb\rc\td", "a\\nb\\rc\\td"},
        {std::string("nul\0.", 5), "nul\\x00."},
        {"\x1b[2J\x07\x7f", "\\x1b[2J\\x07\\x7f"},
        {"csi \xc2\x9b"
         "31m \xc2\x80 \xc2\x9f",
         "csi \\xc2\\x9b31m \\xc2\\x80 \\xc2\\x9f"},
        // Printable characters of every length stay, the first past the C1 controls included.
        {"\xc2\xa0 caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 back\\slash",
         "\xc2\xa0 caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80 back\\slash"},
        // Bytes that are not UTF-8 keep their bytes; a control after them is still found.
        {"caf\xe9 \xff\xfe \xc2\n \xe2\x82", "caf\xe9 \xff\xfe \xc2\\n \xe2\x82"},
        {"\xc0\x9b \xed\xa0\x80 \xf4\x90\x80\x80", "\xc0\x9b \xed\xa0\x80 \xf4\x90\x80\x80"},
        {"", ""},
    };
    for (const Case &k : cases) {
        EXPECT_EQ(qv::shownText(k.text), k.shown) << k.shown;
    }
}

} // namespace
