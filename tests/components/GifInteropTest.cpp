// GIF files against other readers and writers: our files decode to the same pixels in Qt's
// reader, Pillow and giflib's gif2rgb; files written by Pillow and ImageMagick decode as Pillow
// decodes them (pixels, palette, transparency, delays, loop, comment).
// qv-test-labels: interop
// qv-test-timeout: 600
#include "support/GifTestUtil.h"

#include "imaging/GifImage.h"
#include "components/GifQt.h"
#include "support/TestEnv.h"

#include <QImage>
#include <QImageReader>

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace qv;
using giftest::Bytes;

namespace {

struct PillowFrame
{
    std::string mode;
    int duration = 0;
    std::string transparency;
    int box[4] = {0, 0, 0, 0};
    Bytes rgba, indices, palette;
};

struct PillowView
{
    int frames = 0;
    std::string loop, comment;
    int width = 0, height = 0;
    std::vector<PillowFrame> frame;
};

Bytes fromHex(const std::string &hex)
{
    Bytes out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

PillowView pillowRead(const std::string &path)
{
    const std::string script =
        qvtest::readFile(std::string(std::getenv("QV_SOURCE_DIR")) + "/tests/components/gif-pillow-dump.py");
    std::istringstream in(giftest::runPython(script, {path}));
    PillowView v;
    std::string key;
    while (in >> key) {
        if (key == "frames") {
            in >> v.frames;
        } else if (key == "loop") {
            in >> v.loop;
        } else if (key == "comment") {
            in >> v.comment;
        } else if (key == "size") {
            in >> v.width >> v.height;
        } else if (key == "frame") {
            PillowFrame f;
            std::string k;
            int index = 0;
            in >> index >> k >> f.mode >> k >> f.duration >> k >> f.transparency >> k >> f.box[0] >>
                f.box[1] >> f.box[2] >> f.box[3];
            v.frame.push_back(f);
        } else {
            std::string hex;
            in >> hex;
            Bytes &target = key == "rgba"      ? v.frame.back().rgba
                            : key == "indices" ? v.frame.back().indices
                                               : v.frame.back().palette;
            target = fromHex(hex);
        }
    }
    return v;
}

std::string hexOf(const std::string &s)
{
    static const char *digits = "0123456789abcdef";
    std::string out;
    for (const unsigned char c : s) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Pixels where our frame is opaque must have the same colour in Pillow's picture of the screen;
// on the first frame our transparent pixels must be transparent there too.
void compareFrames(TGIFImage &ours, const PillowView &theirs)
{
    ASSERT_EQ(static_cast<int>(ours.frames().size()), theirs.frames);
    for (std::size_t i = 0; i < ours.frames().size(); ++i) {
        SCOPED_TRACE("frame " + std::to_string(i));
        TGIFFrame &f = *ours.frames()[i];
        const DibImage &bmp = f.bitmap();
        const PillowFrame &p = theirs.frame[i];
        const int transparent = f.transparentColour() ? f.transparentIndex : -1;
        int mismatches = 0;
        for (int y = 0; y < bmp.height && f.top + y < theirs.height; ++y) {
            for (int x = 0; x < bmp.width && f.left + x < theirs.width; ++x) {
                const std::uint8_t index = bmp.pixels[static_cast<std::size_t>(y * bmp.width + x)];
                const std::size_t at =
                    (static_cast<std::size_t>(f.top + y) * static_cast<std::size_t>(theirs.width) +
                     static_cast<std::size_t>(f.left + x)) *
                    4;
                if (index == transparent) {
                    mismatches += i == 0 && p.rgba[at + 3] != 0;
                    continue;
                }
                const Rgb c = bmp.palette[index];
                mismatches += p.rgba[at] != c.r || p.rgba[at + 1] != c.g || p.rgba[at + 2] != c.b ||
                              p.rgba[at + 3] != 255;
            }
        }
        EXPECT_EQ(mismatches, 0);
        EXPECT_EQ(p.duration, static_cast<int>(f.delay));
    }
}

struct OurCase
{
    int bits;
    bool interlaced;
    int width;
};

std::string writeOurs(const std::string &dir, const OurCase &c, Bytes &pixels, std::vector<Rgb> &palette)
{
    TGIFImage gif;
    const DibImage pic =
        giftest::indexedPicture(c.width, 13, c.bits, static_cast<unsigned>(c.width * 3 + c.bits));
    gif.AddFrame(pic, 1);
    gif.frames()[0]->interlaced = c.interlaced;
    const std::string path = dir + "/w" + std::to_string(c.width) + "b" + std::to_string(c.bits) +
                             (c.interlaced ? "i" : "") + ".gif";
    qvtest::writeFile(path, giftest::bytesToString(gif.SaveToStream()));
    pixels = pic.pixels;
    palette = pic.palette;
    return path;
}

TEST(GifInterop, OurFilesReadTheSameInQtPillowAndGiflib)
{
    QV_REQUIRE_PILLOW();
    QV_REQUIRE_TOOL("gif2rgb");
    if (!QImageReader::supportedImageFormats().contains("gif")) {
        GTEST_SKIP() << "Qt's GIF reader plugin is not installed";
    }
    const std::string dir = qvtest::makeTempDir("gif-ours");
    for (const int bits : {1, 4, 8}) {
        for (const bool interlaced : {false, true}) {
            for (int width = 1; width <= 9; ++width) {
                const OurCase c{bits, interlaced, width};
                SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width) +
                             (interlaced ? ", interlaced" : ""));
                Bytes pixels;
                std::vector<Rgb> palette;
                const std::string path = writeOurs(dir, c, pixels, palette);
                // Qt's own reader: transparent index 1 comes back with alpha 0.
                const QImage qt(QString::fromStdString(path));
                ASSERT_FALSE(qt.isNull());
                // giflib: the screen as RGB triplets (transparency not applied).
                const qvtest::CommandResult g = qvtest::runCommand({"gif2rgb", "-1", path}, 60);
                ASSERT_EQ(g.exitCode, 0) << g.output;
                ASSERT_EQ(g.output.size(), pixels.size() * 3);
                const PillowView pil = pillowRead(path);
                ASSERT_EQ(pil.frames, 1);
                EXPECT_EQ(pil.frame[0].transparency, "1");
                EXPECT_EQ(pil.frame[0].indices, pixels);
                int bad = 0;
                for (std::size_t i = 0; i < pixels.size(); ++i) {
                    const Rgb colour = palette[pixels[i]];
                    const int x = static_cast<int>(i) % width;
                    const int y = static_cast<int>(i) / width;
                    const QRgb q = qt.pixel(x, y);
                    bad += pixels[i] == 1 ? qAlpha(q) != 0 : q != qRgb(colour.r, colour.g, colour.b);
                    bad += static_cast<std::uint8_t>(g.output[i * 3]) != colour.r ||
                           static_cast<std::uint8_t>(g.output[i * 3 + 1]) != colour.g ||
                           static_cast<std::uint8_t>(g.output[i * 3 + 2]) != colour.b;
                }
                EXPECT_EQ(bad, 0);
            }
        }
    }
}

TEST(GifInterop, OurAnimationWithLoopAndLongComment)
{
    QV_REQUIRE_PILLOW();
    TGIFImage gif;
    // 6 x 5: Qt's reader misplaces rows of interlaced pictures 3 or 4 rows high (Pillow and
    // giflib read those as we write them), so the frames here are 5 rows high.
    gif.AddFrame(giftest::indexedPicture(6, 5, 8, 1), 3);
    gif.AddFrame(giftest::indexedPicture(6, 5, 4, 2));
    gif.frames()[0]->delay = 100;
    gif.frames()[1]->delay = 250;
    gif.frames()[1]->interlaced = true;
    gif.looping = true;
    gif.repeatCount = 3;
    std::string comment;
    for (int i = 0; i < 600; ++i) {
        comment += static_cast<char>('a' + i % 26);
    }
    gif.data().comments = {comment};
    const std::string path = qvtest::makeTempDir("gif-anim") + "/anim.gif";
    qvtest::writeFile(path, giftest::bytesToString(gif.SaveToStream()));
    const PillowView pil = pillowRead(path);
    EXPECT_EQ(pil.loop, "3");
    EXPECT_EQ(pil.comment, hexOf(comment)); // the 600-byte line read back whole
    EXPECT_EQ(pil.frame[0].transparency, "3");
    TGIFImage back;
    back.LoadFromStream(giftest::stringToBytes(qvtest::readFile(path)));
    compareFrames(back, pil);
    // Qt's reader sees both frames and the loop count (Pillow checked the delays).
    QImageReader qt(QString::fromStdString(path), "gif");
    if (!qt.canRead()) {
        GTEST_SKIP() << "Qt's GIF reader plugin is not installed";
    }
    EXPECT_EQ(qt.imageCount(), 2);
    EXPECT_EQ(qt.loopCount(), 3);
    for (int i = 0; i < 2; ++i) {
        const QImage frame = qt.read();
        ASSERT_FALSE(frame.isNull()) << qt.errorString().toStdString();
        const DibImage &bmp = back.frames()[static_cast<std::size_t>(i)]->bitmap();
        int bad = 0;
        for (int y = 0; y < bmp.height; ++y) {
            for (int x = 0; x < bmp.width; ++x) {
                const std::uint8_t index = bmp.pixels[static_cast<std::size_t>(y * bmp.width + x)];
                const Rgb c = bmp.palette[index];
                if (!(i == 0 && index == 3)) { // frame 0's transparent pixels
                    bad += (frame.pixel(x, y) & 0xFFFFFF) != (qRgb(c.r, c.g, c.b) & 0xFFFFFF);
                }
            }
        }
        EXPECT_EQ(bad, 0) << "frame " << i;
    }
}

// Files made by Pillow and by ImageMagick's convert.
std::vector<std::string> peerFiles(const std::string &dir)
{
    giftest::runPython(R"(
import random, sys
from PIL import Image
random.seed(4)
d = sys.argv[1]
frames = []
for k in range(3):
    f = Image.new('P', (11, 7))
    f.putpalette([random.randrange(256) for _ in range(768)])
    f.putdata([random.randrange(256) for _ in range(77)])
    frames.append(f)
frames[0].save(d + '/pillow-anim.gif', save_all=True, append_images=frames[1:], loop=0,
               duration=[40, 120, 300], transparency=5, comment=b'made with Pillow', disposal=1)
frames[1].save(d + '/pillow-interlaced.gif', interlace=True)
Image.new('1', (13, 5), 1).save(d + '/pillow-mono.gif')
)",
                       {dir});
    std::vector<std::string> files{dir + "/pillow-anim.gif", dir + "/pillow-interlaced.gif",
                                   dir + "/pillow-mono.gif"};
    if (qvtest::haveTool("convert")) {
        const std::vector<std::vector<std::string>> commands = {
            {"convert", "-size", "23x17", "gradient:red-blue", "-interlace", "GIF",
             dir + "/im-interlaced.gif"},
            {"convert", "-size", "9x9", "xc:white", "-fill", "black", "-draw", "point 4,4", "-set", "comment",
             "made with convert", dir + "/im-comment.gif"},
            {"convert", "-delay", "7", "-size", "8x6", "xc:red", "xc:green", "xc:blue", "-loop", "4",
             dir + "/im-anim.gif"},
            {"convert", "-size", "10x6", "xc:yellow", "-fill", "blue", "-draw", "rectangle 2,1 5,3",
             "-transparent", "yellow", dir + "/im-transparent.gif"},
        };
        for (const auto &cmd : commands) {
            const qvtest::CommandResult r = qvtest::runCommand(cmd, 60);
            EXPECT_EQ(r.exitCode, 0) << r.output;
            files.push_back(cmd.back());
        }
    }
    return files;
}

TEST(GifInterop, PeerFilesDecodeAsPillowDecodesThem)
{
    QV_REQUIRE_PILLOW();
    const std::string dir = qvtest::makeTempDir("gif-peers");
    const std::vector<std::string> files = peerFiles(dir);
    if (files.size() < 7) {
        ADD_FAILURE() << "ImageMagick's convert is missing: only Pillow's files were checked";
    }
    for (const std::string &path : files) {
        SCOPED_TRACE(path);
        TGIFImage ours;
        ours.lenient = false;
        ours.LoadFromStream(giftest::stringToBytes(qvtest::readFile(path)));
        const PillowView pil = pillowRead(path);
        EXPECT_EQ(pil.loop, ours.looping ? std::to_string(ours.repeatCount) : "none");
        EXPECT_EQ(pil.comment, ours.data().comments.empty() ? "none" : hexOf(ours.data().comments[0]));
        TGIFFrame &first = *ours.frames()[0];
        EXPECT_EQ(pil.frame[0].transparency,
                  first.transparentColour() ? std::to_string(first.transparentIndex) : "none");
        if (pil.frame[0].mode == "P" && first.left == 0 && first.top == 0 && first.item->width == pil.width) {
            const DibImage &bmp = first.bitmap();
            EXPECT_EQ(Bytes(pil.frame[0].indices.begin(),
                            pil.frame[0].indices.begin() + static_cast<long>(bmp.pixels.size())),
                      bmp.pixels);
            for (std::size_t k = 0;
                 k * 3 + 2 < pil.frame[0].palette.size() && k < first.item->colourTable.size(); ++k) {
                EXPECT_EQ(pil.frame[0].palette[k * 3], first.item->colourTable[k].r) << "entry " << k;
                EXPECT_EQ(pil.frame[0].palette[k * 3 + 1], first.item->colourTable[k].g) << "entry " << k;
                EXPECT_EQ(pil.frame[0].palette[k * 3 + 2], first.item->colourTable[k].b) << "entry " << k;
            }
        }
        compareFrames(ours, pil);
    }
}

} // namespace
