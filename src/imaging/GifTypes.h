// Records and fixed texts of the GIF format module.
#pragma once

#include "imaging/DibImage.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace qv {

inline constexpr const char *kGifUnknownVersion = "Unknown GIF version";
inline constexpr const char *kGifEncodingError = "GIF image encoding error";
inline constexpr const char *kGifCorrupt = "GIF encoded data is corrupt";
inline constexpr const char *kGifCodeSizeRange = "GIF code size not in range 2 to 9";
inline constexpr const char *kGifWrongColours = "Wrong number of colors; must be a power of 2";
inline constexpr const char *kGifUnknownExtension = "Unrecognized extension block: %.2x";
inline constexpr const char *kGifNoData = "No GIF Data to write";
inline constexpr const char *kGifCannotResize = "Cannot change the Size of a GIF image";
inline constexpr const char *kGifStreamRead = "Stream read error";

inline constexpr int kGifMaxRepeat = 30000;

enum class GifExtensionKind : std::uint8_t {
    GraphicControl = 0,
    PlainText = 1,
    Application = 2,
    Comment = 3
};

// The label byte that follows 0x21 for each kind.
std::uint8_t gifExtensionLabel(GifExtensionKind kind);

struct TExtension
{
    GifExtensionKind kind = GifExtensionKind::Comment;
    // The fixed part: for a graphic control block size, packed byte, delay (low, high) and
    // transparent index; for an application extension 11 and the identifier; for plain text 12
    // and its twelve bytes.
    std::array<std::uint8_t, 14> fixed{};
    std::vector<std::string> subBlocks;
};

// A frame's compressed data and its colour table, shared between copies of the frame.
struct TGIFItem
{
    std::vector<std::uint8_t> data; // code size byte and data sub-blocks, as read or encoded
    int width = 0;
    int height = 0;
    int bitDepth = 0;             // bits of the colour table (1 to 8)
    std::vector<Rgb> colourTable; // 2^bitDepth entries; empty when the file had no table
};

// The image's shared part: the global colour table and the comment lines.
struct TGIFData
{
    std::vector<Rgb> globalTable;
    std::vector<std::string> comments;
};

} // namespace qv
