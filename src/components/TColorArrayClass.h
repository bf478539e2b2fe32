// TColorArrayClass: a grid of colours (columns x rows) with bounds-checked access and its stored form.
#pragma once

#include "core/settings/Settings.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace qv {

// Any access outside the grid.
class EColorArrayIndexError : public std::out_of_range
{
public:
    EColorArrayIndexError() : std::out_of_range("Array index out of bounds") {}
};

// Cell (X, Y), 1 <= X <= XSize, 1 <= Y <= YSize, is element (Y - 1) * XSize + X - 1; index I
// (1-based) is element I - 1, so indices run row by row.
class TColorArrayClass
{
public:
    TColorArrayClass(int xSize, int ySize);

    int XSize() const { return m_xSize; }
    int YSize() const { return m_ySize; }
    int Count() const { return m_xSize * m_ySize; }
    // A new size drops every colour (the grid is cleared to 0).
    void SetXSize(int value);
    void SetYSize(int value);

    TColor GetColor(int x, int y) const;
    void SetColor(int x, int y, TColor color);
    TColor GetColorByIndex(int index) const;

    void Assign(const TColorArrayClass &source);
    // True for the same grid; false for none; else equal sizes and cells.
    bool IsEqual(const TColorArrayClass *other) const;

    // The stored form: "XSize", "YSize" and "Colors", the colours column by column (for X, for Y),
    // as signed 32-bit numbers, e.g. "XSize = 3\nYSize = 2\nColors = (\n  255\n  ...)\n".
    std::string WriteProperties() const;
    // Reads the stored form back: sizes first, then colours from cell (1, 1) moving Y first; stops at
    // the end of the list. Throws std::invalid_argument for a text that is not this form.
    void ReadProperties(const std::string &text);

private:
    std::size_t element(int x, int y) const;

    int m_xSize = 0;
    int m_ySize = 0;
    std::vector<TColor> m_colors;
};

} // namespace qv
