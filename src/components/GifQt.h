// Qt side of the GIF and colour-reduction cores: QImage conversion, drawing and the clipboard.
#pragma once

#include "imaging/DibImage.h"
#include "imaging/GifImage.h"

#include <QImage>

class QPainter;
class QRect;

namespace qv {

struct DibWithTransparency
{
    DibImage image;
    int transparentIndex = -1;
};

// A QImage as a DibImage. Indexed and monochrome images keep their colour table and indices (an
// entry with alpha 0 becomes the transparent index); other images become 24-bit RGB, or, when
// some pixels are transparent (alpha below 128), 8 bits with the last palette entry transparent.
DibWithTransparency dibFromQImage(const QImage &image);

// An indexed QImage of `dib` (24-bit pictures give an RGB888 image); the transparent index, when
// inside the table, gets alpha 0.
QImage qimageFromDib(const DibImage &dib, int transparentIndex = -1);

// The frame decoded as a QImage (its transparent colour with alpha 0).
QImage frameImage(TGIFFrame &frame);

// Draws the current frame stretched to `rect`, its transparent colour left out when the image's
// Transparent flag is set.
void drawGif(QPainter &painter, const QRect &rect, TGIFImage &image);

// The clipboard carries plain GIF data under image/gif. Loading takes GIF data when there are
// any (frame 0 current), else a picture on the clipboard as a one-frame image; false when the
// clipboard holds neither.
void copyGifToClipboard(TGIFImage &image);
bool loadGifFromClipboard(TGIFImage &image);

} // namespace qv
