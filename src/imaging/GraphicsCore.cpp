// Integer limits, image memory blocks and the not-implemented stop.
#include "imaging/GraphicsCore.h"

#include <cstring>
#include <new>

namespace qv {

ENotImplemented::ENotImplemented() : std::runtime_error(kNotImplementedText) {}

void StopNotImplemented()
{
    throw ENotImplemented();
}

std::int32_t Max(std::int32_t a, std::int32_t b)
{
    return a > b ? a : b;
}

std::int32_t Min(std::int32_t a, std::int32_t b)
{
    return a < b ? a : b;
}

void ImageBlockDeleter::operator()(std::uint8_t *p) const
{
    delete[] p;
}

ImageBlock AllocImageBlock(std::ptrdiff_t size)
{
    if (size < 1) {
        return ImageBlock();
    }
    return ImageBlock(new std::uint8_t[static_cast<std::size_t>(size)]());
}

void FreeImageBlock(ImageBlock &block)
{
    block.reset();
}

bool BlocksEqual(const void *p1, const void *p2, std::size_t length)
{
    return length == 0 || std::memcmp(p1, p2, length) == 0;
}

void CopyBlock(void *dest, const void *source, std::size_t count)
{
    if (count > 0) {
        std::memmove(dest, source, count);
    }
}

} // namespace qv
