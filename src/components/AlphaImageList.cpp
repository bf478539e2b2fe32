// TAlphaImageList: loading, copying, and the disabled and hot looks.
#include "components/AlphaImageList.h"

#include <QDirIterator>
#include <QGuiApplication>
#include <QHash>
#include <QPainter>
#include <QPalette>
#include <QScreen>

#include <algorithm>
#include <stdexcept>

namespace qv {

int bitsPerPixel(TPixelFormat format)
{
    switch (format) {
    case TPixelFormat::pf1bit:
        return 1;
    case TPixelFormat::pf4bit:
        return 4;
    case TPixelFormat::pf8bit:
        return 8;
    case TPixelFormat::pf15bit:
        return 15;
    case TPixelFormat::pf16bit:
        return 16;
    case TPixelFormat::pf32bit:
        return 32;
    case TPixelFormat::pfDevice:
    case TPixelFormat::pf24bit:
    case TPixelFormat::pfCustom:
        return 24;
    }
    return 24;
}

TPixelFormat pixelFormatFromDepth(int bits)
{
    switch (bits) {
    case 1:
        return TPixelFormat::pf1bit;
    case 4:
        return TPixelFormat::pf4bit;
    case 8:
        return TPixelFormat::pf8bit;
    case 15:
        return TPixelFormat::pf15bit;
    case 16:
        return TPixelFormat::pf16bit;
    case 24:
        return TPixelFormat::pf24bit;
    case 32:
        return TPixelFormat::pf32bit;
    default:
        return TPixelFormat::pfCustom;
    }
}

TPixelFormat GetScreenPixelFormat()
{
    QScreen *screen = QGuiApplication::primaryScreen();
    return pixelFormatFromDepth(screen ? screen->depth() : 32);
}

void greyPixel(std::uint8_t &red, std::uint8_t &green, std::uint8_t &blue, std::uint8_t &)
{
    unsigned grey = (77u * red + 151u * green + 28u * blue) >> 8;
    auto value = static_cast<std::uint8_t>((grey + 176u) >> 1);
    red = green = blue = value;
}

void darkenPixel(std::uint8_t &red, std::uint8_t &green, std::uint8_t &blue, std::uint8_t &transparency)
{
    if (transparency < 255) {
        transparency = transparency > 30 ? static_cast<std::uint8_t>(transparency - 30) : 0;
        return;
    }
    auto lower = [](std::uint8_t &c) { c = c > 15 ? static_cast<std::uint8_t>(c - 15) : 0; };
    lower(red);
    lower(green);
    lower(blue);
}

namespace {

// Resource names are matched without regard to case: one index per image size.
const QHash<QString, QString> &resourceIndex(int size)
{
    static QHash<int, QHash<QString, QString>> cache;
    auto it = cache.find(size);
    if (it == cache.end()) {
        QHash<QString, QString> index;
        QDirIterator dir(QStringLiteral(":/icons/%1").arg(size));
        while (dir.hasNext()) {
            QString path = dir.next();
            QString base = dir.fileName();
            if (base.endsWith(QLatin1String(".png"), Qt::CaseInsensitive)) {
                base.chop(4);
            }
            index.insert(base.toLower(), path);
        }
        it = cache.insert(size, index);
    }
    return *it;
}

QColor paletteColor(QPalette::ColorRole role)
{
    return QGuiApplication::palette().color(QPalette::Active, role);
}

} // namespace

TAlphaImageList::TAlphaImageList(int width, int height, QObject *owner)
    : QObject(owner), m_width(width), m_height(height)
{
}

void TAlphaImageList::Initialize(TPixelFormat screen)
{
    m_images.clear();
    m_screenPixelFormat = screen == TPixelFormat::pfDevice ? GetScreenPixelFormat() : screen;
    // Qt draws alpha on every 32-bit screen, so a 32-bit screen always gets 32-bit images.
    m_pixelFormat = m_screenPixelFormat == TPixelFormat::pf32bit ? TPixelFormat::pf32bit : TPixelFormat::pf24bit;
    m_resourcePixelFormat = (m_screenPixelFormat == TPixelFormat::pf32bit && m_pixelFormat == TPixelFormat::pf24bit)
                                ? TPixelFormat::pf24bit
                                : m_screenPixelFormat;
    if (m_width <= 0 || m_height <= 0) {
        throw std::invalid_argument("Invalid ImageList");
    }
    m_initialized = true;
}

void TAlphaImageList::CheckInitialized() const
{
    if (!m_initialized) {
        throw std::logic_error(objectName().toStdString() + ": TAlphaImageList has not been Initialized.");
    }
}

QImage TAlphaImageList::convertToFormat(const QImage &source, TPixelFormat format) const
{
    QImage img = source.convertToFormat(QImage::Format_ARGB32);
    int depth = bitsPerPixel(format);
    if (depth == 16) {
        depth = 24;
    } else if (depth <= 8) {
        depth = 4;
    }
    if (depth >= 32) {
        return img;
    }
    // Without an alpha channel a pixel is either covered by the mask or not.
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            QRgb p = line[x];
            line[x] = qAlpha(p) >= 128 ? qRgba(qRed(p), qGreen(p), qBlue(p), 255) : qRgba(0, 0, 0, 0);
        }
    }
    if (depth <= 4) {
        // Sixteen colours: reduce through an indexed image and back, keeping the mask.
        QImage reduced = img.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
        QVector<QRgb> table = reduced.colorTable();
        if (table.size() > 16) {
            reduced = img.convertToFormat(QImage::Format_RGB444).convertToFormat(QImage::Format_ARGB32);
            for (int y = 0; y < img.height(); ++y) {
                auto *dst = reinterpret_cast<QRgb *>(reduced.scanLine(y));
                const auto *src = reinterpret_cast<const QRgb *>(img.constScanLine(y));
                for (int x = 0; x < img.width(); ++x) {
                    dst[x] = qAlpha(src[x]) ? (dst[x] | 0xff000000u) : 0u;
                }
            }
            return reduced;
        }
    }
    return img;
}

int TAlphaImageList::AddIconFromResource(const QString &resourceName, TPixelFormat format)
{
    CheckInitialized();
    if (m_width != m_height) {
        return -1;
    }
    const auto &index = resourceIndex(m_width);
    auto it = index.find(resourceName.toLower());
    if (it == index.end()) {
        return -1;
    }
    QImage img(*it);
    if (img.isNull() || img.width() != m_width || img.height() != m_height) {
        return -1;
    }
    return AddImage(convertToFormat(img, format));
}

void TAlphaImageList::LoadFromResource(const QString &prefix)
{
    LoadFromResourceEx(prefix, m_resourcePixelFormat);
}

void TAlphaImageList::LoadFromResourceEx(const QString &prefix, TPixelFormat format)
{
    CheckInitialized();
    Clear();
    for (int n = 0;; ++n) {
        if (AddIconFromResource(prefix + QString::number(n), format) < 0) {
            break;
        }
    }
}

void TAlphaImageList::CopyImagesFrom(const TAlphaImageList *source)
{
    CheckInitialized();
    if (source == nullptr) {
        return;
    }
    std::vector<QImage> copies = source->m_images; // the source may be this list
    for (const QImage &img : copies) {
        AddImage(img.scaled(m_width, m_height));
    }
}

int TAlphaImageList::AddImage(const QImage &image)
{
    CheckInitialized();
    m_images.push_back(image.convertToFormat(QImage::Format_ARGB32));
    emit changed();
    return Count() - 1;
}

void TAlphaImageList::Clear()
{
    m_images.clear();
    emit changed();
}

void TAlphaImageList::checkIndex(int index, const char *what) const
{
    if (index < 0 || index >= Count()) {
        throw std::out_of_range(what);
    }
}

void TAlphaImageList::ReplaceImage(int index, const QImage &image)
{
    CheckInitialized();
    if (index < 0 || index >= Count() || image.isNull()) {
        throw std::out_of_range("Unable to Replace Image");
    }
    m_images[static_cast<size_t>(index)] = image.convertToFormat(QImage::Format_ARGB32);
    emit changed();
}

void TAlphaImageList::RenderPixels(int index, const TRenderPixelEvent &routine)
{
    CheckInitialized();
    checkIndex(index, "Unable to Replace Image");
    if (bitsPerPixel(m_pixelFormat) < 24) {
        throw std::logic_error(objectName().toStdString() +
                               ":TAlphaImageList Pixel Format must be at least 24bit to support render operations.");
    }
    QImage img = m_images[static_cast<size_t>(index)];
    const bool real32 = m_pixelFormat == TPixelFormat::pf32bit;
    std::uint8_t scratch = 255;
    for (int y = 0; y < img.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(img.scanLine(y));
        for (int x = 0; x < img.width(); ++x) {
            QRgb p = line[x];
            auto r = static_cast<std::uint8_t>(qRed(p));
            auto g = static_cast<std::uint8_t>(qGreen(p));
            auto b = static_cast<std::uint8_t>(qBlue(p));
            if (real32) {
                auto a = static_cast<std::uint8_t>(qAlpha(p));
                routine(r, g, b, a);
                line[x] = qRgba(r, g, b, a);
            } else {
                routine(r, g, b, scratch);
                line[x] = qRgba(r, g, b, qAlpha(p)); // the mask keeps coverage
            }
        }
    }
    ReplaceImage(index, img);
}

void TAlphaImageList::RenderImage(int index, const TRenderImageEvent &routine)
{
    CheckInitialized();
    checkIndex(index, "Unable to Replace Image");
    QImage img = m_images[static_cast<size_t>(index)];
    QImage mask = img.createAlphaMask();
    routine(img, mask);
    ReplaceImage(index, img);
}

void TAlphaImageList::emboss(QImage &image) const
{
    // Low-colour screens: the classic etched look. Dark covered pixels become a highlight shifted by
    // one pixel with the shadow on top; everything else takes the button face.
    const int w = image.width();
    const int h = image.height();
    std::vector<bool> ink(static_cast<size_t>(w * h));
    for (int y = 0; y < h; ++y) {
        const auto *line = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            QRgb p = line[x];
            ink[static_cast<size_t>(y * w + x)] = qAlpha(p) >= 128 && qGray(p) < 128;
        }
    }
    QImage out(w, h, QImage::Format_ARGB32);
    QRgb face = paletteColor(QPalette::Button).rgb();
    QRgb light = paletteColor(QPalette::Light).rgb();
    QRgb shadow = paletteColor(QPalette::Dark).rgb();
    for (int y = 0; y < h; ++y) {
        auto *dst = reinterpret_cast<QRgb *>(out.scanLine(y));
        const auto *src = reinterpret_cast<const QRgb *>(image.constScanLine(y));
        for (int x = 0; x < w; ++x) {
            bool covered = qAlpha(src[x]) >= 128 || (x > 0 && y > 0 && qAlpha(image.pixel(x - 1, y - 1)) >= 128);
            QRgb c = face;
            if (x > 0 && y > 0 && ink[static_cast<size_t>((y - 1) * w + (x - 1))]) {
                c = light;
            }
            if (ink[static_cast<size_t>(y * w + x)]) {
                c = shadow;
            }
            dst[x] = covered ? (c | 0xff000000u) : 0u;
        }
    }
    image = out;
}

void TAlphaImageList::MakeImageDisabled(int index)
{
    CheckInitialized();
    if (bitsPerPixel(m_screenPixelFormat) < 16) {
        RenderImage(index, [this](QImage &img, QImage &) { emboss(img); });
    } else {
        RenderPixels(index, greyPixel);
    }
}

void TAlphaImageList::MakeAllImagesDisabled()
{
    CheckInitialized();
    for (int i = 0; i < Count(); ++i) {
        MakeImageDisabled(i);
    }
}

void TAlphaImageList::DarkenImage(int index)
{
    CheckInitialized();
    if (bitsPerPixel(m_screenPixelFormat) < 16) {
        return;
    }
    RenderPixels(index, darkenPixel);
}

void TAlphaImageList::DarkenAllImages()
{
    CheckInitialized();
    for (int i = 0; i < Count(); ++i) {
        DarkenImage(i);
    }
}

QImage TAlphaImageList::image(int index) const
{
    if (index < 0 || index >= Count()) {
        return {};
    }
    return m_images[static_cast<size_t>(index)];
}

QIcon TAlphaImageList::icon(int index) const
{
    QIcon result;
    QImage img = image(index);
    if (img.isNull()) {
        return result;
    }
    result.addPixmap(QPixmap::fromImage(img), QIcon::Normal);
    if (m_disabledImages) {
        QImage disabled = m_disabledImages->image(index);
        if (!disabled.isNull()) {
            result.addPixmap(QPixmap::fromImage(disabled), QIcon::Disabled);
        }
    }
    return result;
}

void TAlphaImageList::setDisabledImages(TAlphaImageList *list)
{
    if (m_disabledImages == list) {
        return;
    }
    disconnect(m_disabledChanged);
    m_disabledImages = list;
    if (list != nullptr) {
        // A change of the disabled list counts as a change of this one; its removal clears it.
        m_disabledChanged = connect(list, &TAlphaImageList::changed, this, &TAlphaImageList::changed);
    }
    emit changed();
}

} // namespace qv
