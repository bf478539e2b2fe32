// Extraction into the caller's memory buffers: the next buffer on demand, and the ways a handler
// can refuse (no buffer, quit, a smaller buffer than before).
#include "support/TestEnv.h"
#include "zip/TZipReader.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

TEST(ZipMemoryTarget, BuffersOnDemandAndRefusals)
{
    QV_REQUIRE_TOOL("python3");
    const std::string dir = qvtest::makeTempDir("membuf");
    auto made = qvtest::runShell("cd '" + dir +
                                 "' && python3 -c \"import zipfile\n"
                                 "z = zipfile.ZipFile('m.zip', 'w', zipfile.ZIP_DEFLATED)\n"
                                 "z.writestr('t.txt', ''.join('line %d of the text\\n' % i for i in range(5000)))\n"
                                 "z.close()\"");
    ASSERT_EQ(made.exitCode, 0) << made.output;
    std::string want;
    for (int i = 0; i < 5000; ++i) {
        want += "line " + std::to_string(i) + " of the text\n";
    }
    enum class Answer { Fresh, None, Quit, Smaller };
    struct Case
    {
        const char *what;
        std::size_t first;
        Answer answer;
        bool ok;
        int asked; // -1: at least one
    };
    const Case cases[] = {
        {"fresh buffers of 1000 bytes", 1000, Answer::Fresh, true, -1},
        {"one buffer of the entry's size", want.size(), Answer::None, true, 0},
        {"one larger buffer", want.size() + 10, Answer::None, true, 0},
        {"no next buffer", 1000, Answer::None, false, 1},
        {"quit", 1000, Answer::Quit, false, 1},
        {"a smaller buffer", 1000, Answer::Smaller, false, 1},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<std::vector<std::uint8_t>>> buffers;
        buffers.push_back(std::make_unique<std::vector<std::uint8_t>>(c.first));
        std::string got;
        int asked = 0;
        qv::TZipReader z;
        z.SetZipName(dir + "/m.zip");
        z.OnGetNextBuffer = [&](std::uint8_t *&buffer, std::size_t &size, const std::string &name,
                                std::size_t used, int number, bool &quit) {
            EXPECT_EQ(name, "t.txt");
            EXPECT_EQ(number, ++asked);
            EXPECT_EQ(used, buffers.back()->size());
            got.append(buffers.back()->begin(), buffers.back()->begin() + static_cast<long>(used));
            if (c.answer == Answer::Quit) {
                quit = true;
                buffers.push_back(std::make_unique<std::vector<std::uint8_t>>(1000));
                buffer = buffers.back()->data();
            } else if (c.answer == Answer::Fresh || c.answer == Answer::Smaller) {
                buffers.push_back(std::make_unique<std::vector<std::uint8_t>>(c.answer == Answer::Fresh ? 1000 : 999));
                buffer = buffers.back()->data();
                size = buffers.back()->size();
            }
        };
        std::size_t used = 0;
        if (!c.ok) {
            try {
                z.UnZipToBuffer(buffers[0]->data(), c.first, "t.txt", used);
                ADD_FAILURE() << "no error";
            } catch (const qv::EUserCanceled &e) {
                EXPECT_STREQ(e.what(), "User canceled Buffered Memory UnZip");
            }
            EXPECT_EQ(asked, c.asked);
            EXPECT_FALSE(z.Busy());
            continue;
        }
        ASSERT_TRUE(z.UnZipToBuffer(buffers[0]->data(), c.first, "t.txt", used));
        got.append(buffers.back()->begin(), buffers.back()->begin() + static_cast<long>(used));
        EXPECT_EQ(got, want);
        if (c.asked >= 0) {
            EXPECT_EQ(asked, c.asked);
        } else {
            EXPECT_EQ(asked, static_cast<int>((want.size() + 999) / 1000) - 1);
        }
    }
}

} // namespace
