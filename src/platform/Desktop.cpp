// Opening documents, folders and web addresses with the user's preferred applications.
#include "platform/Desktop.h"

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
    bool open(const std::string &target, std::function<void()> failed) override
    {
        if (target.empty()) {
            return false;
        }
        QString argument;
        if (target[0] == '/' || !hasScheme(target)) {
            argument = QFile::decodeName(QByteArray::fromStdString(target));
            if (!QFile::exists(argument)) {
                return false;
            }
        } else {
            const QUrl url(QString::fromUtf8(target.c_str()), QUrl::StrictMode);
            if (!url.isValid()) {
                return false;
            }
            argument = QString::fromLatin1(url.toEncoded());
        }
        return startOpener(argument, std::move(failed));
    }

    bool launch(const std::string &program, const std::vector<std::string> &arguments) override
    {
        QStringList args;
        for (const auto &a : arguments) {
            args << QFile::decodeName(QByteArray::fromStdString(a));
        }
        return QProcess::startDetached(QFile::decodeName(QByteArray::fromStdString(program)), args);
    }

private:
    // The process object has no parent: one still running when the program ends is left alone
    // (a parent would kill it, and with it the application xdg-open is waiting for).
    static bool startOpener(const QString &argument, std::function<void()> failed)
    {
        auto *opener = new QProcess;
        opener->setProgram(QStringLiteral("xdg-open"));
        opener->setArguments({argument});
        opener->setStandardInputFile(QProcess::nullDevice());
        opener->setStandardOutputFile(QProcess::nullDevice());
        opener->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        QObject::connect(opener, &QProcess::finished, opener,
                         [opener, failed](int code, QProcess::ExitStatus status) {
                             opener->deleteLater();
                             if ((status != QProcess::NormalExit || code != 0) && failed) {
                                 failed();
                             }
                         });
        opener->start();
        if (!opener->waitForStarted(10000)) {
            delete opener;
            return false;
        }
        return true;
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
