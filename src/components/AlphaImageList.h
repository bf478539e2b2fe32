// TAlphaImageList: the image list of every window, with 8-bit alpha and derived looks.
//
// Images come from the program's icon resources (":/icons/<size>/ICON_<name>.png"), chosen by the
// list's exact size and converted to the list's pixel format. A copy of a list can be turned into
// the greyed "disabled" look or the darkened "hot" look by per-pixel rules that are exposed as
// pure functions so that they can be checked on edge values.
#pragma once

#include <QIcon>
#include <QImage>
#include <QObject>
#include <QPointer>
#include <QString>

#include <cstdint>
#include <functional>
#include <vector>

namespace qv {

enum class TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit, pfCustom };
enum class TCustomRenderType { crtAuto, crtPixel, crtImage };

int bitsPerPixel(TPixelFormat format);
// The screen-depth mapping: 1, 4, 8, 15, 16, 24, 32 give their format, anything else pfCustom.
TPixelFormat pixelFormatFromDepth(int bits);
// Depth of the primary screen (32 when there is none, as on the offscreen platform).
TPixelFormat GetScreenPixelFormat();

// The disabled look: Grey := (77 R + 151 G + 28 B) >> 8, then each channel := (Grey + 176) >> 1.
void greyPixel(std::uint8_t &red, std::uint8_t &green, std::uint8_t &blue, std::uint8_t &transparency);
// The hot look: a translucent pixel loses 30 of its alpha (not below 0) and keeps its colour;
// an opaque one keeps its alpha and each channel drops by 15 (not below 0).
void darkenPixel(std::uint8_t &red, std::uint8_t &green, std::uint8_t &blue, std::uint8_t &transparency);

class TAlphaImageList : public QObject
{
    Q_OBJECT
public:
    using TRenderPixelEvent = std::function<void(std::uint8_t &, std::uint8_t &, std::uint8_t &, std::uint8_t &)>;
    using TRenderImageEvent = std::function<void(QImage &image, QImage &mask)>;

    TAlphaImageList(int width, int height, QObject *owner = nullptr);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    int Count() const { return static_cast<int>(m_images.size()); }
    bool Initialized() const { return m_initialized; }
    TPixelFormat PixelFormat() const { return m_pixelFormat; }
    TPixelFormat ScreenPixelFormat() const { return m_screenPixelFormat; }
    TPixelFormat ResourcePixelFormat() const { return m_resourcePixelFormat; }

    // Must be called once before anything else. `screen` stands for the screen's depth (tests
    // pass one); pfDevice means "ask the screen".
    void Initialize(TPixelFormat screen = TPixelFormat::pfDevice);
    // Raises "<objectName>: TAlphaImageList has not been Initialized." before Initialize.
    void CheckInitialized() const;

    // Adds the resource image `resourceName` (matched ignoring case) of this list's exact size,
    // converted to `format`. Returns its index, or -1 when there is no image of this size.
    int AddIconFromResource(const QString &resourceName, TPixelFormat format);
    void LoadFromResource(const QString &prefix);
    void LoadFromResourceEx(const QString &prefix, TPixelFormat format);
    // Appends a copy of every image of `source`; this list is not emptied first.
    void CopyImagesFrom(const TAlphaImageList *source);
    int AddImage(const QImage &image);
    void Clear();

    void MakeImageDisabled(int index);
    void MakeAllImagesDisabled();
    void DarkenImage(int index);
    void DarkenAllImages();
    // Writes `image` back at `index`; raises "Unable to Replace Image" for a bad index.
    void ReplaceImage(int index, const QImage &image);
    // Runs `routine` over every pixel of image `index` (32-bit: the real alpha; 24-bit: one scratch
    // transparency byte, 255 at the start, kept from pixel to pixel).
    void RenderPixels(int index, const TRenderPixelEvent &routine);
    void RenderImage(int index, const TRenderImageEvent &routine);

    QImage image(int index) const;
    // The image as an icon; with DisabledImages set, its disabled mode comes from that list.
    QIcon icon(int index) const;

    TAlphaImageList *DisabledImages() const { return m_disabledImages.data(); }
    void setDisabledImages(TAlphaImageList *list);

    TCustomRenderType CustomRenderType = TCustomRenderType::crtAuto;
    TRenderPixelEvent OnRenderPixelCustom;
    TRenderImageEvent OnRenderImageCustom;

signals:
    void changed();

private:
    QImage convertToFormat(const QImage &source, TPixelFormat format) const;
    void emboss(QImage &image) const;
    void checkIndex(int index, const char *what) const;

    int m_width;
    int m_height;
    bool m_initialized = false;
    TPixelFormat m_screenPixelFormat = TPixelFormat::pfDevice;
    TPixelFormat m_pixelFormat = TPixelFormat::pf24bit;
    TPixelFormat m_resourcePixelFormat = TPixelFormat::pf24bit;
    std::vector<QImage> m_images; // always ARGB32; 24-bit lists keep alpha at 0 or 255
    QPointer<TAlphaImageList> m_disabledImages;
    QMetaObject::Connection m_disabledChanged;
};

} // namespace qv
