// Drawing helpers of the component library: the extra screen cursors, colour values and drawing
// a picture with one colour transparent.
#pragma once

#include "components/Cursors.h"

#include <QCursor>
#include <QImage>
#include <QRect>

#include <cstdint>
#include <exception>
#include <string>

class QPainter;
class QWidget;

namespace qv {

// Colours as the windows store them: 0x00BBGGRR, or one of the two special values.
using TColor = std::int32_t;
inline constexpr TColor clNone = 0x1FFFFFFF;
inline constexpr TColor clDefault = 0x20000000;

constexpr TColor rgbColor(int r, int g, int b)
{
    return (b << 16) | (g << 8) | r;
}
TColor colorOf(QRgb rgb);
QRgb qrgbOf(TColor color);
// The colour's RGB value with the palette-relative flag 0x02000000 set.
TColor PaletteRelativeColor(TColor color);


// Copies the source rectangle, stretched to the destination rectangle (nearest pixel), leaving
// the destination visible where the source has `transparent` (compared by RGB).
void DrawTransparentStretched(QPainter &dst, int dstX, int dstY, int dstW, int dstH, const QImage &src,
                              int srcX, int srcY, int srcW, int srcH, QRgb transparent);

// Draws `bitmap` (or a part) with one colour transparent. Sizes below 1 mean the bitmap's own
// (destination) or the whole bitmap (source). clNone draws it opaque; clDefault takes the
// bottom-left pixel's colour; a monochrome bitmap always uses white.
void DrawBitmapTransparent(QPainter &dest, const QImage &bitmap, TColor transparentColor, int dstX, int dstY,
                           int dstW = 0, int dstH = 0, int srcX = 0, int srcY = 0, int srcW = 0,
                           int srcH = 0);
void DrawBitmapPartTransparent(QPainter &dest, int dstX, int dstY, int dstW, int dstH, const QRect &srcRect,
                               const QImage &bitmap, TColor transparentColor);

// Loads the picture resource ":/pictures/<name>.jpg" (the name lower-cased). False when missing.
bool LoadJpegResource(const std::string &resourceName, QImage &picture);

// The user interface's edge for operations of the image code: a not-implemented stop is shown as
// information (with the normal cursor), any other failure as an error.
void showOperationFailure(QWidget *parent, const std::exception &error);

} // namespace qv
