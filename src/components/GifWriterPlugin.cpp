// A static Qt image plugin that writes "gif" through TGIFImage; reading stays with Qt's plugin.
// Imported with Q_IMPORT_PLUGIN(QvGifWriterPlugin) by the program and the component tests.
#define QT_STATICPLUGIN

#include "imaging/GifImage.h"
#include "components/GifQt.h"

#include <QIODevice>
#include <QImageIOHandler>
#include <QImageIOPlugin>

namespace qv {
namespace {

class GifWriteHandler : public QImageIOHandler
{
public:
    bool canRead() const override { return false; }
    bool read(QImage *) override { return false; }
    bool write(const QImage &image) override
    {
        try {
            const DibWithTransparency dib = dibFromQImage(image);
            TGIFImage gif;
            gif.AddFrame(dib.image, dib.transparentIndex);
            const std::vector<std::uint8_t> data = gif.SaveToStream();
            const auto n = static_cast<qint64>(data.size());
            return device()->write(reinterpret_cast<const char *>(data.data()), n) == n;
        } catch (const std::exception &) {
            return false;
        }
    }
};

} // namespace
} // namespace qv

class QvGifWriterPlugin : public QImageIOPlugin
{
    Q_OBJECT
    Q_PLUGIN_METADATA(IID QImageIOHandlerFactoryInterface_iid FILE "GifWriterPlugin.json")

public:
    Capabilities capabilities(QIODevice *device, const QByteArray &format) const override
    {
        if (format.toLower() == "gif" && (!device || device->isWritable())) {
            return CanWrite;
        }
        return {};
    }
    QImageIOHandler *create(QIODevice *device, const QByteArray &format) const override
    {
        auto *h = new qv::GifWriteHandler;
        h->setDevice(device);
        h->setFormat(format);
        return h;
    }
};

#include "GifWriterPlugin.moc"
