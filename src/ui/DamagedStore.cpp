// The settings store's look-over at the program's start and the choice it offers when damaged.
#include "ui/DamagedStore.h"

#include "components/MessageBox.h"
#include "platform/RegistryStore.h"

#include <QCoreApplication>

#include <cstdio>

namespace qv {

bool acceptSettingsStore(QWidget *parent, const std::string &path, bool headless)
{
    try {
        RegistryStore::checkStore(path);
        return true;
    } catch (const RegistryDamaged &e) {
        std::fprintf(stderr, "quorvellant: %s\n", e.what());
        if (headless) {
            std::fprintf(stderr, "quorvellant: start the program on the desktop to move the damaged store "
                                 "aside, or move it aside yourself\n");
            return false;
        }
        const QString text =
            QStringLiteral("The settings store \"%1\" is damaged: %2.\n\n"
                           "Yes moves it aside (it is kept beside itself, renamed) and starts with empty "
                           "settings; No quits the program.")
                .arg(QString::fromStdString(path), QString::fromStdString(e.reason()));
        const unsigned flags = MB_YESNO | MB_ICONERROR;
        if (ShowMessageBox(parent, text, QCoreApplication::applicationName(), flags) != IDYES) {
            return false;
        }
        try {
            const std::string kept = RegistryStore::moveAside(path);
            std::fprintf(stderr, "quorvellant: the damaged settings store is kept as \"%s\"\n", kept.c_str());
            return true;
        } catch (const RegistryError &moveError) {
            std::fprintf(stderr, "quorvellant: %s\n", moveError.what());
            ShowError(parent, QString::fromStdString(moveError.what()));
            return false;
        }
    } catch (const RegistryError &e) {
        // Not damage (another program holds it locked past the wait, a read error): the program
        // goes on, and its reads and saves report what they meet.
        std::fprintf(stderr, "quorvellant: %s\n", e.what());
        return true;
    }
}

} // namespace qv
