// The histogram method: the most frequent colours become the palette.
//
// Colours are counted in a table of at most 2049 entries found through a 5191-slot hash. When a
// picture has more distinct colours than that, one channel mask drops a low bit (blue, red, green,
// blue, ...) and counting starts again, so that similar colours merge.
#include "imaging/ColourMethods.h"

#include <array>

namespace qv::colour {
namespace {

constexpr int kMaxColours = 2049;
constexpr int kHashSlots = 5191;
constexpr std::uint16_t kEmpty = 65535;

struct Entry
{
    Rgb colour;
    std::uint32_t count = 0;
};

int hashOf(Rgb c)
{
    return static_cast<int>((static_cast<std::uint32_t>(c.r + c.g) * static_cast<std::uint32_t>(c.g + c.b) *
                             static_cast<std::uint32_t>(c.b + c.r)) %
                            kHashSlots);
}

// Drops one more low bit from a mask (255 -> 254 -> 252 ...).
std::uint8_t narrower(std::uint8_t mask)
{
    return static_cast<std::uint8_t>(mask & (mask << 1));
}

struct Counter
{
    std::uint8_t maskR = 255, maskG = 255, maskB = 255;
    std::vector<Entry> table;
    std::array<std::uint16_t, kHashSlots> hash{};
    std::vector<std::uint16_t> entryOfPixel;

    Rgb masked(const std::uint8_t *p) const
    {
        return Rgb{static_cast<std::uint8_t>(p[0] & maskR), static_cast<std::uint8_t>(p[1] & maskG),
                   static_cast<std::uint8_t>(p[2] & maskB)};
    }

    // Counts every pixel; false when a 2050th colour turned up.
    bool count(const DibImage &img)
    {
        table.clear();
        hash.fill(kEmpty);
        entryOfPixel.assign(img.pixels.size() / 3, 0);
        bool fits = true;
        forEachStored(img, [&](int, int, std::size_t at) {
            if (!fits) {
                return;
            }
            const Rgb c = masked(&img.pixels[at * 3]);
            int slot = hashOf(c);
            while (hash[slot] != kEmpty && !(table[hash[slot]].colour == c)) {
                slot = (slot + 1) % kHashSlots;
            }
            if (hash[slot] == kEmpty) {
                if (static_cast<int>(table.size()) == kMaxColours) {
                    fits = false;
                    return;
                }
                hash[slot] = static_cast<std::uint16_t>(table.size());
                table.push_back(Entry{c, 0});
            }
            ++table[hash[slot]].count;
            entryOfPixel[at] = hash[slot];
        });
        return fits;
    }

    void narrowOneMask()
    {
        if (maskR < maskG) {
            maskG = narrower(maskG);
        } else if (maskR <= maskB) {
            maskB = narrower(maskB);
        } else {
            maskR = narrower(maskR);
        }
    }
};

} // namespace

Reduction histogram(const DibImage &img, int colours)
{
    Counter counter;
    while (!counter.count(img)) {
        counter.narrowOneMask();
    }
    Reduction out;
    out.palette.assign(256, kFillGrey);
    std::vector<std::uint32_t> left(counter.table.size());
    for (std::size_t i = 0; i < left.size(); ++i) {
        left[i] = counter.table[i].count;
    }
    std::vector<int> indexOfEntry(counter.table.size(), -1);
    int chosen = 0;
    for (; chosen < colours; ++chosen) {
        std::size_t best = left.size();
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (left[i] > 0 && (best == left.size() || left[i] > left[best])) {
                best = i;
            }
        }
        if (best == left.size()) {
            break;
        }
        left[best] = 0;
        out.palette[chosen] = counter.table[best].colour;
        indexOfEntry[best] = chosen;
    }
    for (std::size_t i = 0; i < indexOfEntry.size(); ++i) {
        if (indexOfEntry[i] >= 0) {
            continue;
        }
        int best = 0;
        for (int k = 1; k < chosen; ++k) {
            if (distance2(counter.table[i].colour, out.palette[k]) <
                distance2(counter.table[i].colour, out.palette[best])) {
                best = k;
            }
        }
        indexOfEntry[i] = best;
    }
    out.indices.resize(counter.entryOfPixel.size());
    for (std::size_t p = 0; p < out.indices.size(); ++p) {
        out.indices[p] = static_cast<std::uint8_t>(indexOfEntry[counter.entryOfPixel[p]]);
    }
    return out;
}

} // namespace qv::colour
