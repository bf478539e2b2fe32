// Screen cursors and transparent drawing on QPainter.
#include "components/Graphics.h"

#include "imaging/GraphicsCore.h"
#include "components/MessageBox.h"

#include <QApplication>
#include <QPainter>

namespace qv {

TColor colorOf(QRgb rgb)
{
    return rgbColor(qRed(rgb), qGreen(rgb), qBlue(rgb));
}

QRgb qrgbOf(TColor color)
{
    return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TColor PaletteRelativeColor(TColor color)
{
    return (color & 0x00FFFFFF) | 0x02000000;
}

QCursor screenCursor(int id)
{
    switch (id) {
    case crHand:
        return QCursor(Qt::PointingHandCursor);
    case crDrag:
        return QCursor(Qt::ClosedHandCursor);
    default:
        return QCursor(Qt::ArrowCursor);
    }
}

void DrawTransparentStretched(QPainter &dst, int dstX, int dstY, int dstW, int dstH, const QImage &src,
                              int srcX, int srcY, int srcW, int srcH, QRgb transparent)
{
    QImage part = src.copy(srcX, srcY, srcW, srcH).convertToFormat(QImage::Format_ARGB32);
    const QRgb key = transparent & 0x00FFFFFF;
    for (int y = 0; y < part.height(); ++y) {
        auto *row = reinterpret_cast<QRgb *>(part.scanLine(y));
        for (int x = 0; x < part.width(); ++x) {
            if ((row[x] & 0x00FFFFFF) == key) {
                row[x] = 0;
            }
        }
    }
    dst.save();
    dst.setRenderHint(QPainter::SmoothPixmapTransform, false);
    dst.setCompositionMode(QPainter::CompositionMode_SourceOver);
    dst.drawImage(QRect(dstX, dstY, dstW, dstH), part);
    dst.restore();
}

void DrawBitmapTransparent(QPainter &dest, const QImage &bitmap, TColor transparentColor, int dstX, int dstY,
                           int dstW, int dstH, int srcX, int srcY, int srcW, int srcH)
{
    if (bitmap.isNull()) {
        return;
    }
    dstW = dstW < 1 ? bitmap.width() : dstW;
    dstH = dstH < 1 ? bitmap.height() : dstH;
    if (srcW < 1 || srcH < 1) {
        srcX = srcY = 0;
        srcW = bitmap.width();
        srcH = bitmap.height();
    }
    if (transparentColor == clNone) {
        dest.save();
        dest.setRenderHint(QPainter::SmoothPixmapTransform, false);
        dest.drawImage(QRect(dstX, dstY, dstW, dstH), bitmap, QRect(srcX, srcY, srcW, srcH));
        dest.restore();
        return;
    }
    QRgb key = 0;
    const bool mono = bitmap.format() == QImage::Format_Mono || bitmap.format() == QImage::Format_MonoLSB;
    if (mono) {
        key = qRgb(255, 255, 255);
    } else if (transparentColor == clDefault) {
        key = bitmap.pixel(0, bitmap.height() - 1);
    } else {
        key = qrgbOf(transparentColor);
    }
    DrawTransparentStretched(dest, dstX, dstY, dstW, dstH, bitmap, srcX, srcY, srcW, srcH, key);
}

void DrawBitmapPartTransparent(QPainter &dest, int dstX, int dstY, int dstW, int dstH, const QRect &srcRect,
                               const QImage &bitmap, TColor transparentColor)
{
    DrawBitmapTransparent(dest, bitmap, transparentColor, dstX, dstY, dstW, dstH, srcRect.x(), srcRect.y(),
                          srcRect.width(), srcRect.height());
}

void showOperationFailure(QWidget *parent, const std::exception &error)
{
    if (dynamic_cast<const ENotImplemented *>(&error)) {
        while (QApplication::overrideCursor()) {
            QApplication::restoreOverrideCursor();
        }
        ShowInformation(parent, QString::fromUtf8(error.what()));
        return;
    }
    ShowError(parent, QString::fromUtf8(error.what()));
}

bool LoadJpegResource(const std::string &resourceName, QImage &picture)
{
    QString name = QString::fromUtf8(resourceName.c_str()).toLower();
    QImage image(QStringLiteral(":/pictures/") + name + QStringLiteral(".jpg"), "JPG");
    if (image.isNull()) {
        return false;
    }
    picture = image;
    return true;
}

} // namespace qv
