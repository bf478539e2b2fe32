// Opening documents, folders and web addresses with the user's preferred applications.
#include "platform/Desktop.h"

#include <QDesktopServices>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QUrl>

#include <atomic>

namespace qv {
namespace {

bool hasScheme(const std::string &t)
{
    std::string::size_type colon = t.find(':');
    if (colon == std::string::npos || colon < 2) {
        return false;
    }
    for (std::string::size_type i = 0; i < colon; ++i) {
        char c = t[i];
        bool ok = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (i > 0 && ((c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'));
        if (!ok) {
            return false;
        }
    }
    return true;
}

class SystemDesktop : public Desktop
{
public:
    bool open(const std::string &target) override
    {
        if (target.empty()) {
            return false;
        }
        QUrl url;
        if (target[0] == '/' || !hasScheme(target)) {
            QString local = QFile::decodeName(QByteArray::fromStdString(target));
            if (!QFile::exists(local)) {
                return false;
            }
            url = QUrl::fromLocalFile(local);
        } else {
            url = QUrl(QString::fromUtf8(target.c_str()), QUrl::StrictMode);
            if (!url.isValid()) {
                return false;
            }
        }
        return QDesktopServices::openUrl(url);
    }

    bool launch(const std::string &program, const std::vector<std::string> &arguments) override
    {
        QStringList args;
        for (const auto &a : arguments) {
            args << QFile::decodeName(QByteArray::fromStdString(a));
        }
        return QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(program)), args);
    }
};

SystemDesktop g_system;
std::atomic<Desktop *> g_desktop{nullptr};

} // namespace

Desktop &Desktop::instance()
{
    Desktop *d = g_desktop.load();
    return d != nullptr ? *d : g_system;
}

void Desktop::setInstance(Desktop *d)
{
    g_desktop.store(d);
}

} // namespace qv
