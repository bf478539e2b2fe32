// TColorArrayClass: a grid of colours (columns x rows) with bounds-checked access and its stored form.
#include "components/TColorArrayClass.h"

#include <cstdint>
#include <sstream>

namespace qv {

TColorArrayClass::TColorArrayClass(int xSize, int ySize)
{
    if (xSize < 0 || ySize < 0) {
        throw EColorArrayIndexError();
    }
    m_xSize = xSize;
    m_ySize = ySize;
    m_colors.assign(static_cast<std::size_t>(xSize) * static_cast<std::size_t>(ySize), 0);
}

void TColorArrayClass::SetXSize(int value)
{
    if (value < 0) {
        throw EColorArrayIndexError();
    }
    if (value != m_xSize) {
        m_xSize = value;
        m_colors.assign(static_cast<std::size_t>(Count()), 0);
    }
}

void TColorArrayClass::SetYSize(int value)
{
    if (value < 0) {
        throw EColorArrayIndexError();
    }
    if (value != m_ySize) {
        m_ySize = value;
        m_colors.assign(static_cast<std::size_t>(Count()), 0);
    }
}

std::size_t TColorArrayClass::element(int x, int y) const
{
    if (x < 1 || x > m_xSize || y < 1 || y > m_ySize) {
        throw EColorArrayIndexError();
    }
    return static_cast<std::size_t>(y - 1) * static_cast<std::size_t>(m_xSize) + static_cast<std::size_t>(x - 1);
}

TColor TColorArrayClass::GetColor(int x, int y) const
{
    return m_colors[element(x, y)];
}

void TColorArrayClass::SetColor(int x, int y, TColor color)
{
    m_colors[element(x, y)] = color;
}

TColor TColorArrayClass::GetColorByIndex(int index) const
{
    if (index < 1 || index > Count()) {
        throw EColorArrayIndexError();
    }
    return m_colors[static_cast<std::size_t>(index - 1)];
}

void TColorArrayClass::Assign(const TColorArrayClass &source)
{
    if (&source != this) {
        m_xSize = source.m_xSize;
        m_ySize = source.m_ySize;
        m_colors = source.m_colors;
    }
}

bool TColorArrayClass::IsEqual(const TColorArrayClass *other) const
{
    if (other == this) {
        return true;
    }
    if (other == nullptr) {
        return false;
    }
    return m_xSize == other->m_xSize && m_ySize == other->m_ySize && m_colors == other->m_colors;
}

std::string TColorArrayClass::WriteProperties() const
{
    std::ostringstream out;
    out << "XSize = " << m_xSize << "\nYSize = " << m_ySize << "\nColors = (";
    for (int x = 1; x <= m_xSize; ++x) {
        for (int y = 1; y <= m_ySize; ++y) {
            out << "\n  " << static_cast<std::int32_t>(GetColor(x, y));
        }
    }
    out << ")\n";
    return out.str();
}

namespace {

long long readNumber(std::istringstream &in, const char *what)
{
    long long v = 0;
    if (!(in >> v) || v < INT32_MIN || v > UINT32_MAX) {
        throw std::invalid_argument(std::string("colour grid: bad ") + what);
    }
    return v;
}

void expectWord(std::istringstream &in, const std::string &word)
{
    std::string w;
    if (!(in >> w) || w != word) {
        throw std::invalid_argument("colour grid: \"" + word + "\" expected");
    }
}

} // namespace

void TColorArrayClass::ReadProperties(const std::string &text)
{
    std::istringstream in(text);
    expectWord(in, "XSize");
    expectWord(in, "=");
    const long long xs = readNumber(in, "XSize");
    expectWord(in, "YSize");
    expectWord(in, "=");
    const long long ys = readNumber(in, "YSize");
    if (xs < 0 || ys < 0 || xs * ys > 1 << 20) {
        throw std::invalid_argument("colour grid: bad size");
    }
    expectWord(in, "Colors");
    expectWord(in, "=");
    char open = 0;
    if (!(in >> open) || open != '(') {
        throw std::invalid_argument("colour grid: \"(\" expected");
    }
    TColorArrayClass grid(static_cast<int>(xs), static_cast<int>(ys));
    int x = 1;
    int y = 1;
    for (;;) {
        in >> std::ws;
        if (in.peek() == ')') {
            break;
        }
        const long long v = readNumber(in, "colour");
        if (x > grid.m_xSize) {
            throw std::invalid_argument("colour grid: more colours than cells");
        }
        grid.SetColor(x, y, static_cast<TColor>(static_cast<std::uint32_t>(v)));
        if (++y > grid.m_ySize) {
            y = 1;
            ++x;
        }
    }
    Assign(grid);
}

} // namespace qv
