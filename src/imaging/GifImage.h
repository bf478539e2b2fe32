// TGIFImage: a GIF87a/GIF89a picture of one or more frames, read and written in memory.
//
// Frames keep their LZW data as read and decode into a bitmap only when the bitmap is first
// needed; frames added from a bitmap are encoded when the image is saved. Reading is lenient:
// damaged frame data give a frame marked corrupt instead of an error. Plain C++; GifQt.h adapts
// it to QImage and QPainter.
#pragma once

#include "imaging/DibImage.h"
#include "imaging/GifTypes.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace qv {

class TGIFImage;

class TGIFFrame
{
public:
    TGIFFrame() = default;
    TGIFFrame(const TGIFFrame &other);
    TGIFFrame &operator=(const TGIFFrame &other);

    std::shared_ptr<TGIFItem> item = std::make_shared<TGIFItem>();
    std::vector<TExtension> extensions;
    int left = 0;
    int top = 0;
    bool interlaced = false;
    bool corrupt = false;
    bool greyscale = false;
    int transparentIndex = -1; // -1: none
    std::uint32_t delay = 0;   // milliseconds
    std::uint8_t disposal = 0;
    bool hasLocalColourTable = false;
    bool lenient = true; // damaged data mark the frame corrupt instead of raising

    // The colour of the transparent index, when there is one inside the colour table.
    std::optional<Rgb> transparentColour() const;
    // The frame as 1, 4 or 8 bits per pixel, decoded on first use (which may mark it corrupt).
    // Throws EInvalidGraphicOperation for frames that cannot be decoded.
    const DibImage &bitmap(const std::function<void(int)> &progress = {});
    bool hasBitmap() const { return m_bitmap != nullptr; }
    // True when the frame's data are to be encoded from its bitmap on saving.
    bool fromBitmap() const { return m_fromBitmap; }
    void setBitmap(DibImage bitmap);

private:
    std::shared_ptr<const DibImage> m_bitmap;
    bool m_fromBitmap = false;
};

class TGIFImage
{
public:
    TGIFImage();
    TGIFImage(const TGIFImage &other);
    TGIFImage &operator=(const TGIFImage &other);

    // Replaces the image with the GIF in `data`. Throws EInvalidGraphicOperation.
    void LoadFromStream(const std::uint8_t *data, std::size_t size);
    void LoadFromStream(const std::vector<std::uint8_t> &data) { LoadFromStream(data.data(), data.size()); }
    std::vector<std::uint8_t> SaveToStream();
    // Form and clipboard streaming: a 4-byte length (low byte first), then the GIF data.
    void ReadData(const std::vector<std::uint8_t> &data);
    std::vector<std::uint8_t> WriteData();

    // Appends a frame made from `bitmap` and makes it current; returns its index. Pictures of 1, 4
    // or 8 bits keep their palette and indices; others are reduced to 8 bits when saved.
    int AddFrame(const DibImage &bitmap, int transparentIndex = -1);
    void AssignFrame(const TGIFFrame &frame); // becomes a one-frame image
    void AssignBitmap(const DibImage &bitmap);
    void Clear();

    bool Equals(const TGIFImage &other) const;
    bool GetEmpty();
    int GetWidth();
    int GetHeight();
    std::vector<Rgb> GetPalette();
    bool GetTransparent() const;
    [[noreturn]] void SetWidth(int);
    [[noreturn]] void SetHeight(int);

    // 0 none, 1 "87a", 2 "89a".
    int version() const { return m_version; }
    const char *versionText() const;
    std::vector<std::unique_ptr<TGIFFrame>> &frames() { return m_frames; }
    const std::vector<std::unique_ptr<TGIFFrame>> &frames() const { return m_frames; }
    int currentIndex() const { return m_current; }
    void setCurrentIndex(int index);
    TGIFFrame *currentFrame();
    TGIFData &data() { return *m_data; }
    const TGIFData &data() const { return *m_data; }

    int screenWidth = 0;
    int screenHeight = 0;
    int backgroundIndex = -1; // -1: none
    bool looping = false;
    int repeatCount = 0; // 0: for ever
    bool Transparent = true;
    bool lenient = true;
    std::function<void(int percent)> onProgress;

private:
    friend class GifReader;
    friend class GifWriter;
    std::shared_ptr<TGIFData> m_data;
    int m_version = 0;
    std::vector<std::unique_ptr<TGIFFrame>> m_frames;
    int m_current = -1;
};

} // namespace qv
