// Small routines shared by the image code: integer limits, image memory blocks and its exceptions.
//
// Plain C++ without Qt, so that the GIF and colour-reduction cores build on their own (the fuzzing
// build compiles only these files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <type_traits>

namespace qv {

// A picture that cannot be read or built ("Bitmap image is not valid").
class EInvalidGraphic : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// A format error of the GIF reader or writer; the message is one of the fixed texts in GifTypes.h.
class EInvalidGraphicOperation : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// An operation the image code does not provide. The user interface shows it as information, not
// as an error (showOperationFailure in Graphics.h).
class ENotImplemented : public std::runtime_error
{
public:
    ENotImplemented();
};

inline constexpr const char *kNotImplementedText = "Function not yet implemented";

// Ends the current operation with ENotImplemented.
[[noreturn]] void StopNotImplemented();

std::int32_t Max(std::int32_t a, std::int32_t b);
std::int32_t Min(std::int32_t a, std::int32_t b);

// An owned, zero-filled block of image memory. Empty (no block) when asked for fewer than 1 byte.
struct ImageBlockDeleter
{
    void operator()(std::uint8_t *p) const;
};
using ImageBlock = std::unique_ptr<std::uint8_t[], ImageBlockDeleter>;

ImageBlock AllocImageBlock(std::ptrdiff_t size);
void FreeImageBlock(ImageBlock &block);
bool BlocksEqual(const void *p1, const void *p2, std::size_t length);
void CopyBlock(void *dest, const void *source, std::size_t count);

template <typename T> T *OffsetPointer(T *p, std::ptrdiff_t offset)
{
    using Byte = std::conditional_t<std::is_const_v<T>, const std::uint8_t, std::uint8_t>;
    return reinterpret_cast<T *>(reinterpret_cast<Byte *>(p) + offset);
}

} // namespace qv
