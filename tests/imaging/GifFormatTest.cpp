// The GIF reader and writer on crafted files: the format's edge cases, every message, the decoder's
// limits on hostile data, and what the writer puts on disk.
#include "support/GifTestUtil.h"

#include "imaging/GifImage.h"
#include "imaging/GifLzw.h"
#include "imaging/GraphicsCore.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>

using namespace qv;
using giftest::Bytes;
using giftest::RawGif;

namespace {

Bytes netscape(int count, const char *id = "NETSCAPE2.0")
{
    Bytes b;
    b.reserve(20);
    b.push_back(11);
    b.insert(b.end(), id, id + 11);
    b.insert(b.end(), {3, 1, static_cast<std::uint8_t>(count), static_cast<std::uint8_t>(count >> 8), 0});
    return b;
}

// A 2 x 2 frame of indices 0, 1, 1, 0 with code size 2 (codes 3 bits wide, 4 after the table
// reaches 8 entries).
Bytes smallFrameData()
{
    return giftest::lzwData(2, {{4, 3}, {0, 3}, {1, 3}, {1, 3}, {0, 4}, {5, 4}});
}

TGIFImage load(const Bytes &b, bool lenient = true)
{
    TGIFImage gif;
    gif.lenient = lenient;
    gif.LoadFromStream(b);
    return gif;
}

std::string messageOf(const std::function<void()> &f)
{
    try {
        f();
    } catch (const EInvalidGraphicOperation &e) {
        return e.what();
    }
    return "(no error)";
}

TEST(GifFormat, ReadsASmallFrame)
{
    TGIFImage gif = load(RawGif("89a", 2, 2, 1).frame(2, 2, smallFrameData()).trailer().bytes);
    ASSERT_EQ(gif.frames().size(), 1u);
    TGIFFrame &f = *gif.frames()[0];
    const DibImage &bmp = f.bitmap();
    EXPECT_EQ(bmp.format, PixelFormat::pf1bit);
    EXPECT_EQ(bmp.pixels, (std::vector<std::uint8_t>{0, 1, 1, 0}));
    EXPECT_EQ(bmp.palette[1], (Rgb{1, 2, 3}));
    EXPECT_FALSE(f.corrupt);
    EXPECT_EQ(gif.version(), 2);
    EXPECT_EQ(gif.currentIndex(), 0);
}

struct EdgeCase
{
    const char *name;
    std::function<void()> check;
};

const EdgeCase kEdgeCases[] = {
    {"lower-case gif89a is version 89a",
     [] {
         Bytes b = RawGif("89a", 2, 2, 1).frame(2, 2, smallFrameData()).trailer().bytes;
         for (int i = 0; i < 6; ++i) {
             b[static_cast<std::size_t>(i)] =
                 static_cast<std::uint8_t>(std::tolower(b[static_cast<std::size_t>(i)]));
         }
         EXPECT_EQ(load(b).version(), 2);
     }},
    {"a repeat count of 65535 gives 30000",
     [] {
         TGIFImage gif = load(RawGif("89a", 2, 2, 1)
                                  .extension(0xFF, netscape(65535))
                                  .frame(2, 2, smallFrameData())
                                  .trailer()
                                  .bytes);
         EXPECT_TRUE(gif.looping);
         EXPECT_EQ(gif.repeatCount, 30000);
     }},
    {"ANIMEXTS1.0 loops too",
     [] {
         TGIFImage gif = load(RawGif("89a", 2, 2, 1)
                                  .extension(0xFF, netscape(7, "ANIMEXTS1.0"))
                                  .frame(2, 2, smallFrameData())
                                  .trailer()
                                  .bytes);
         EXPECT_TRUE(gif.looping);
         EXPECT_EQ(gif.repeatCount, 7);
     }},
    {"code size 12 decodes with 9 and marks the frame corrupt",
     [] {
         const Bytes data = giftest::lzwData(12, {{512, 10}, {1, 10}, {513, 10}});
         TGIFImage gif = load(RawGif("89a", 1, 1, 1).frame(1, 1, data).trailer().bytes);
         TGIFFrame &f = *gif.frames()[0];
         EXPECT_EQ(f.bitmap().pixels, (std::vector<std::uint8_t>{1}));
         EXPECT_TRUE(f.corrupt);
     }},
    {"saving an empty image",
     [] {
         TGIFImage gif;
         EXPECT_EQ(messageOf([&] { gif.SaveToStream(); }), "No GIF Data to write");
     }},
    {"setting the size",
     [] {
         TGIFImage gif;
         EXPECT_EQ(messageOf([&] { gif.SetWidth(3); }), "Cannot change the Size of a GIF image");
         EXPECT_EQ(messageOf([&] { gif.SetHeight(3); }), "Cannot change the Size of a GIF image");
     }},
    {"a second frame makes the version 89a",
     [] {
         TGIFImage gif;
         gif.AddFrame(giftest::indexedPicture(3, 3, 1, 1));
         EXPECT_EQ(gif.version(), 1);
         EXPECT_EQ(gif.AddFrame(giftest::indexedPicture(3, 3, 1, 2)), 1);
         EXPECT_EQ(gif.version(), 2);
         EXPECT_EQ(gif.currentIndex(), 1);
     }},
    {"a delay of 65535 hundredths is 655350 ms",
     [] {
         const Bytes gce{4, 0, 0xFF, 0xFF, 0, 0};
         TGIFImage gif =
             load(RawGif("89a", 2, 2, 1).extension(0xF9, gce).frame(2, 2, smallFrameData()).trailer().bytes);
         EXPECT_EQ(gif.frames()[0]->delay, 655350u);
     }},
    {"graphic control: transparency inside the table, disposal",
     [] {
         const Bytes gce{4, 0x09, 5, 0, 1, 0}; // disposal 2, transparent index 1
         TGIFImage gif =
             load(RawGif("89a", 2, 2, 1).extension(0xF9, gce).frame(2, 2, smallFrameData()).trailer().bytes);
         EXPECT_EQ(gif.frames()[0]->transparentIndex, 1);
         EXPECT_EQ(gif.frames()[0]->disposal, 2);
         EXPECT_EQ(gif.frames()[0]->delay, 50u);
         EXPECT_TRUE(gif.GetTransparent());
         const Bytes outside{4, 0x01, 0, 0, 9, 0}; // index 9 of a 2-entry table: none
         EXPECT_EQ(load(RawGif("89a", 2, 2, 1).extension(0xF9, outside).frame(2, 2, smallFrameData()).bytes)
                       .frames()[0]
                       ->transparentIndex,
                   -1);
     }},
    {"a frame of size 0 takes the screen's",
     [] {
         TGIFImage gif = load(RawGif("89a", 2, 2, 1).frame(0, 0, smallFrameData()).trailer().bytes);
         EXPECT_EQ(gif.frames()[0]->bitmap().width, 2);
         EXPECT_EQ(gif.GetWidth(), 2);
     }},
};

TEST(GifFormat, EdgeCases)
{
    for (const EdgeCase &c : kEdgeCases) {
        SCOPED_TRACE(c.name);
        c.check();
    }
}

struct MessageCase
{
    const char *name;
    Bytes file;
    bool lenient;
    const char *message;
};

TEST(GifFormat, EveryReadingMessage)
{
    const Bytes good = RawGif("89a", 2, 2, 1).frame(2, 2, smallFrameData()).trailer().bytes;
    const Bytes cut(good.begin(), good.end() - 4);
    const MessageCase cases[] = {
        {"not a GIF", giftest::stringToBytes("\x89PNG\r\n\x1a\n"), true, "Unknown GIF version"},
        {"unknown version", giftest::stringToBytes("GIF90a\x01\x00\x01\x00\x00\x00\x00"), true,
         "Unknown GIF version"},
        {"too short", giftest::stringToBytes("GI"), true, "Unknown GIF version"},
        {"unknown extension", RawGif("89a", 2, 2, 1).extension(0x7F, {0}).bytes, true,
         "Unrecognized extension block: 7f"},
        {"cut frame, strict", cut, false, "Stream read error"},
        {"cut screen", giftest::stringToBytes("GIF89a\x01\x00"), true, "Stream read error"},
    };
    for (const MessageCase &c : cases) {
        EXPECT_EQ(messageOf([&] { load(c.file, c.lenient); }), c.message) << c.name;
    }
    TGIFImage lenient = load(cut);
    EXPECT_TRUE(lenient.frames()[0]->corrupt);
}

TEST(GifFormat, EveryDecodingMessage)
{
    // Code 7 right after the first pixel is not defined yet.
    const Bytes undefined =
        RawGif("89a", 2, 2, 1).frame(2, 2, giftest::lzwData(2, {{4, 3}, {0, 3}, {7, 3}, {5, 3}})).bytes;
    EXPECT_EQ(messageOf([&] { load(undefined, false).frames()[0]->bitmap(); }),
              "GIF encoded data is corrupt");
    TGIFImage lenient = load(undefined);
    lenient.frames()[0]->bitmap();
    EXPECT_TRUE(lenient.frames()[0]->corrupt);

    const Bytes size12 =
        RawGif("89a", 1, 1, 1).frame(1, 1, giftest::lzwData(12, {{512, 10}, {513, 10}})).bytes;
    EXPECT_EQ(messageOf([&] { load(size12, false).frames()[0]->bitmap(); }),
              "GIF code size not in range 2 to 9");

    TGIFImage odd = load(RawGif("89a", 2, 2, 1).frame(2, 2, smallFrameData()).bytes);
    odd.frames()[0]->item->bitDepth = 9;
    EXPECT_EQ(messageOf([&] { odd.frames()[0]->bitmap(); }), "Wrong number of colors; must be a power of 2");
}

TEST(GifFormat, DecoderStaysInsideTheFrame)
{
    // More pixels than the frame holds: the rest are dropped.
    const DibImage big = giftest::indexedPicture(4, 4, 1, 3);
    TGIFImage extra =
        load(RawGif("89a", 2, 2, 1).frame(2, 2, gif::encodeFrame(big.pixels, 4, 4, 1, false)).bytes);
    EXPECT_EQ(extra.frames()[0]->bitmap().pixels,
              (std::vector<std::uint8_t>{big.pixels[0], big.pixels[1], big.pixels[2], big.pixels[3]}));

    // Index 3 with a 2-entry table: masked to 1, frame corrupt.
    TGIFImage masked =
        load(RawGif("89a", 2, 1, 1).frame(2, 1, giftest::lzwData(2, {{4, 3}, {3, 3}, {0, 3}, {5, 3}})).bytes);
    EXPECT_EQ(masked.frames()[0]->bitmap().pixels, (std::vector<std::uint8_t>{1, 0}));
    EXPECT_TRUE(masked.frames()[0]->corrupt);

    // Two pixels of sixteen, then the end code: the rest stay 0, frame corrupt.
    TGIFImage missing =
        load(RawGif("89a", 4, 4, 1).frame(4, 4, giftest::lzwData(2, {{4, 3}, {1, 3}, {1, 3}, {5, 3}})).bytes);
    const DibImage &m = missing.frames()[0]->bitmap();
    EXPECT_EQ(m.pixels[0], 1);
    EXPECT_EQ(m.pixels[1], 1);
    EXPECT_EQ(std::count(m.pixels.begin(), m.pixels.end(), 0), 14);
    EXPECT_TRUE(missing.frames()[0]->corrupt);

    // 8193 x 8193 is above the pixel budget: refused before any allocation, even leniently.
    TGIFImage huge = load(RawGif("89a", 1, 1, 1).frame(8193, 8193, smallFrameData()).bytes);
    EXPECT_EQ(messageOf([&] { huge.frames()[0]->bitmap(); }), "GIF encoded data is corrupt");
}

// Walks the data sub-blocks after the code size byte; returns their lengths.
std::vector<int> subBlockLengths(const Bytes &data)
{
    std::vector<int> out;
    for (std::size_t at = 1; at < data.size() && data[at] != 0; at += 1 + data[at]) {
        out.push_back(data[at]);
    }
    return out;
}

TEST(GifFormat, EncoderCodeSizeAndSubBlocks)
{
    struct Case
    {
        int bits, codeSize;
    };
    for (const Case c : {Case{1, 2}, Case{4, 4}, Case{8, 8}}) {
        const DibImage pic = giftest::indexedPicture(150, 120, c.bits, 5);
        const Bytes data = gif::encodeFrame(pic.pixels, 150, 120, c.bits, false);
        EXPECT_EQ(data[0], c.codeSize);
        const std::vector<int> lengths = subBlockLengths(data);
        ASSERT_GT(lengths.size(), 2u);
        for (std::size_t i = 0; i + 1 < lengths.size(); ++i) {
            EXPECT_EQ(lengths[i], 255);
        }
        EXPECT_EQ(data.back(), 0);
    }
}

TEST(GifFormat, OwnRoundTripsAtEveryDepthWidthAndInterlace)
{
    for (const int bits : {1, 4, 8}) {
        for (const bool interlaced : {false, true}) {
            for (int width = 1; width <= 9; ++width) {
                SCOPED_TRACE(std::to_string(bits) + " bits, width " + std::to_string(width) +
                             (interlaced ? " interlaced" : ""));
                TGIFImage gif;
                const DibImage pic = giftest::indexedPicture(width, 11, bits, static_cast<unsigned>(width));
                gif.AddFrame(pic, 1);
                gif.frames()[0]->interlaced = interlaced;
                TGIFImage back = load(gif.SaveToStream(), false);
                const DibImage &got = back.frames()[0]->bitmap();
                EXPECT_EQ(got.pixels, pic.pixels);
                EXPECT_EQ(got.palette, pic.palette);
                EXPECT_EQ(back.frames()[0]->transparentIndex, 1);
                EXPECT_EQ(back.frames()[0]->interlaced, interlaced);
            }
        }
    }
}

TEST(GifFormat, DecodingReportsProgressUpToTheEnd)
{
    TGIFImage gif;
    gif.AddFrame(giftest::indexedPicture(100, 100, 4, 3));
    TGIFImage back = load(gif.SaveToStream());
    std::vector<int> seen;
    back.onProgress = [&](int percent) { seen.push_back(percent); };
    back.GetPalette(); // decodes the current frame
    ASSERT_GE(seen.size(), 4u);
    EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
    EXPECT_EQ(seen.back(), 100);
}

TEST(GifFormat, LargeRandomFramesCrossTheClearCode)
{
    // 300 x 300 random bytes need far more than 4094 codes: the table is cleared many times.
    const DibImage pic = giftest::indexedPicture(300, 300, 8, 77);
    TGIFImage gif;
    gif.AddFrame(pic);
    TGIFImage back = load(gif.SaveToStream(), false);
    EXPECT_EQ(back.frames()[0]->bitmap().pixels, pic.pixels);
    EXPECT_FALSE(back.frames()[0]->corrupt);
}

TEST(GifFormat, TrueColourFramesGoThroughTheColourReduction)
{
    std::vector<Rgb> px;
    for (int i = 0; i < 40; ++i) {
        px.push_back(Rgb{static_cast<std::uint8_t>(i * 6), 7, static_cast<std::uint8_t>(255 - i)});
    }
    TGIFImage gif;
    gif.AddFrame(giftest::rgbPicture(8, 5, px));
    TGIFImage back = load(gif.SaveToStream());
    const DibImage &got = back.frames()[0]->bitmap();
    for (int i = 0; i < 40; ++i) {
        EXPECT_EQ(got.colourAt(i % 8, i / 8), px[static_cast<std::size_t>(i)]);
    }
    TGIFImage grey;
    grey.AddFrame(giftest::rgbPicture(8, 5, px));
    grey.frames()[0]->greyscale = true;
    TGIFImage greyBack = load(grey.SaveToStream());
    const DibImage &g = greyBack.frames()[0]->bitmap();
    EXPECT_EQ(g.colourAt(0, 0), (Rgb{32, 32, 32})); // (150 x 7 + 29 x 255) >> 8
}

TEST(GifFormat, WriterBlocks)
{
    TGIFImage gif;
    gif.AddFrame(giftest::indexedPicture(4, 3, 4, 1), 2);
    gif.frames()[0]->delay = 1230;
    gif.frames()[0]->disposal = 3;
    gif.AddFrame(giftest::indexedPicture(6, 2, 8, 2));
    gif.frames()[1]->left = 10;
    gif.looping = true;
    gif.repeatCount = 4;
    gif.data().comments = {std::string(600, 'c'), ""};
    const Bytes out = gif.SaveToStream();
    EXPECT_EQ(giftest::bytesToString(Bytes(out.begin(), out.begin() + 6)), "GIF89a");
    EXPECT_EQ(out[6], 16); // screen width: the second frame's right edge
    EXPECT_EQ(out[8], 3);
    TGIFImage back = load(out, false);
    EXPECT_EQ(back.frames()[0]->delay, 1230u);
    EXPECT_EQ(back.frames()[0]->disposal, 3);
    EXPECT_EQ(back.frames()[0]->transparentIndex, 2);
    EXPECT_EQ(back.frames()[1]->left, 10);
    EXPECT_TRUE(back.looping);
    EXPECT_EQ(back.repeatCount, 4);
    ASSERT_EQ(back.data().comments.size(), 1u); // the empty line is not written
    EXPECT_EQ(back.data().comments[0], std::string(600, 'c'));
    // The long line goes out as sub-blocks of 255, 255 and 90 bytes.
    const std::string text = giftest::bytesToString(out);
    const std::size_t at = text.find("\x21\xFE\xFF");
    ASSERT_NE(at, std::string::npos);
    EXPECT_EQ(out[at + 2], 255);
    EXPECT_EQ(out[at + 3 + 255], 255);
    EXPECT_EQ(out[at + 4 + 510], 90);
    EXPECT_EQ(out[at + 5 + 600], 0);
    EXPECT_LT(at, text.find('\x2C')); // before the first frame

    TGIFImage single;
    single.AddFrame(giftest::indexedPicture(2, 2, 1, 1));
    single.looping = true;
    const Bytes one = single.SaveToStream();
    EXPECT_EQ(giftest::bytesToString(one).find("NETSCAPE2.0"), std::string::npos);
    EXPECT_EQ(giftest::bytesToString(Bytes(one.begin(), one.begin() + 6)), "GIF87a");
}

TEST(GifFormat, WriterRefusesWhatItCannotStore)
{
    TGIFImage wide;
    DibImage line = giftest::indexedPicture(70000, 1, 1, 1);
    wide.AddFrame(line);
    EXPECT_EQ(messageOf([&] { wide.SaveToStream(); }), "GIF image encoding error");
    TGIFImage empty;
    empty.AddFrame(DibImage{});
    EXPECT_EQ(messageOf([&] { empty.SaveToStream(); }), "No GIF Data to write");
}

TEST(GifFormat, StreamingDataHasALengthPrefix)
{
    TGIFImage gif;
    gif.AddFrame(giftest::indexedPicture(3, 3, 4, 4));
    const Bytes data = gif.WriteData();
    const Bytes plain = gif.SaveToStream();
    ASSERT_EQ(data.size(), plain.size() + 4);
    EXPECT_EQ(data[0] | (data[1] << 8) | (data[2] << 16) | (data[3] << 24), static_cast<int>(plain.size()));
    TGIFImage back;
    back.ReadData(data);
    EXPECT_EQ(back.frames()[0]->bitmap().pixels, giftest::indexedPicture(3, 3, 4, 4).pixels);
    Bytes shortData = data;
    shortData[0] = static_cast<std::uint8_t>(shortData[0] + 1);
    EXPECT_EQ(messageOf([&] { back.ReadData(shortData); }), "Stream read error");
}

TEST(GifFormat, CopiesShareDataAndFrames)
{
    TGIFImage a;
    a.AddFrame(giftest::indexedPicture(3, 3, 1, 4));
    TGIFImage b = a;
    EXPECT_TRUE(b.Equals(a));
    TGIFImage c;
    c.AddFrame(giftest::indexedPicture(3, 3, 1, 4));
    EXPECT_FALSE(c.Equals(a));
    EXPECT_FALSE(b.GetEmpty());
    TGIFImage none;
    EXPECT_TRUE(none.GetEmpty());
    EXPECT_EQ(none.GetWidth(), 0);
    TGIFImage single;
    single.AssignFrame(*a.frames()[0]);
    EXPECT_EQ(single.frames().size(), 1u);
    EXPECT_EQ(single.GetHeight(), 3);
}

} // namespace
