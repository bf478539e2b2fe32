// The median-cut method: boxes of colour cells split at the median of their widest channel.
//
// Pixels fall into 4096 cells by the top four bits of each channel. Boxes of cells are split, the
// widest (by its recorded extent) first, until there are enough boxes; each box's palette entry is
// the unweighted mean of its cells.
#include "imaging/ColourMethods.h"

#include <algorithm>
#include <array>

namespace qv::colour {
namespace {

struct Box
{
    std::vector<int> cells;
    std::array<int, 3> min{0, 0, 0};
    std::array<int, 3> extent{255, 255, 255};
    std::uint64_t total = 0;
};

int cellOf(const std::uint8_t *p)
{
    return ((p[0] >> 4) << 8) | ((p[1] >> 4) << 4) | (p[2] >> 4);
}

int channelValue(int cell, int channel)
{
    return (cell >> (8 - 4 * channel)) & 15;
}

// The box and channel with the largest extent among boxes of at least two cells; -1 when none.
std::pair<int, int> widest(const std::vector<Box> &boxes)
{
    std::pair<int, int> best{-1, 0};
    int bestExtent = 0;
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        if (boxes[i].cells.size() < 2) {
            continue;
        }
        for (int ch = 0; ch < 3; ++ch) {
            if (best.first < 0 || boxes[i].extent[ch] > bestExtent) {
                best = {static_cast<int>(i), ch};
                bestExtent = boxes[i].extent[ch];
            }
        }
    }
    return best;
}

void split(std::vector<Box> &boxes, int which, int ch, const std::vector<std::uint64_t> &count)
{
    Box &box = boxes[static_cast<std::size_t>(which)];
    std::stable_sort(box.cells.begin(), box.cells.end(),
                     [ch](int a, int b) { return channelValue(a, ch) < channelValue(b, ch); });
    const auto half = static_cast<std::int64_t>(box.total / 2);
    std::size_t kept = 1;
    auto keptSum = static_cast<std::int64_t>(count[box.cells[0]]);
    while (kept + 1 < box.cells.size() &&
           half - keptSum - static_cast<std::int64_t>(count[box.cells[kept]]) >= 0) {
        keptSum += static_cast<std::int64_t>(count[box.cells[kept]]);
        ++kept;
    }
    Box moved;
    moved.cells.assign(box.cells.begin() + static_cast<long>(kept), box.cells.end());
    moved.min = box.min;
    moved.extent = box.extent;
    moved.min[ch] = 16 * channelValue(moved.cells.front(), ch);
    moved.extent[ch] = box.min[ch] + box.extent[ch] - moved.min[ch];
    moved.total = box.total - static_cast<std::uint64_t>(keptSum);
    box.cells.resize(kept);
    box.extent[ch] = 16 * channelValue(box.cells.back(), ch) - box.min[ch];
    box.total = static_cast<std::uint64_t>(keptSum);
    boxes.push_back(std::move(moved)); // invalidates `box`
}

} // namespace

Reduction medianCut(const DibImage &img, int colours)
{
    const std::size_t n = img.pixels.size() / 3;
    std::vector<std::uint64_t> count(4096, 0);
    for (std::size_t p = 0; p < n; ++p) {
        ++count[cellOf(&img.pixels[p * 3])];
    }
    std::vector<Box> boxes(1);
    for (int c = 0; c < 4096; ++c) {
        if (count[c] > 0) {
            boxes[0].cells.push_back(c);
        }
    }
    boxes[0].total = n;
    while (static_cast<int>(boxes.size()) < colours) {
        const auto [which, ch] = widest(boxes);
        if (which < 0) {
            break;
        }
        split(boxes, which, ch, count);
    }
    Reduction out;
    out.palette.assign(256, Rgb{});
    std::vector<std::uint8_t> boxOfCell(4096, 0);
    for (std::size_t i = 0; i < boxes.size(); ++i) {
        std::array<int, 3> sum{0, 0, 0};
        for (int c : boxes[i].cells) {
            boxOfCell[c] = static_cast<std::uint8_t>(i);
            for (int ch = 0; ch < 3; ++ch) {
                sum[ch] += channelValue(c, ch);
            }
        }
        const int cells = static_cast<int>(boxes[i].cells.size());
        std::array<int, 3> v{};
        for (int ch = 0; ch < 3; ++ch) {
            v[ch] = (16 * sum[ch] + 15) / cells;
        }
        if (v[0] > 16 || v[1] > 16 || v[2] > 16) {
            out.palette[i] = Rgb{static_cast<std::uint8_t>(v[0]), static_cast<std::uint8_t>(v[1]),
                                 static_cast<std::uint8_t>(v[2])};
        }
    }
    out.indices.resize(n);
    for (std::size_t p = 0; p < n; ++p) {
        out.indices[p] = boxOfCell[cellOf(&img.pixels[p * 3])];
    }
    out.clrUsed = static_cast<std::uint32_t>(boxes.size());
    return out;
}

} // namespace qv::colour
