// PrefsStartupPage: the options dialog's "Startup and Shutdown" page.
#include "ui/options/PrefsStartupPage.h"

#include "core/settings/Settings.h"
#include "ui/HelpTopics.h"
#include "ui/taskprops/HotKeyEdit.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

namespace qv {

namespace {

QCheckBox *box(QWidget *parent, const char *name, const char *caption)
{
    auto *b = new QCheckBox(QString::fromUtf8(caption), parent);
    b->setObjectName(QString::fromLatin1(name));
    return b;
}

} // namespace

PrefsStartupPage::PrefsStartupPage(QWidget *parent) : QWidget(parent)
{
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kPreferencesStartup));
    StartupCheckBoxRunAtSystemStartup = box(this, "StartupCheckBoxRunAtSystemStartup", "Run at system &startup");
    StartupRunMinimizedCheckBox = box(this, "StartupRunMinimizedCheckBox", "Run &minimized");
    StartupHideTrayIconCheckBox = box(this, "StartupHideTrayIconCheckBox", "&Hide icon from system tray");
    StartupShowSplashCheckBox = box(this, "StartupShowSplashCheckBox", "Show splash scr&een at startup");
    StartupShutDownAtCloseCheckBox =
        box(this, "StartupShutDownAtCloseCheckBox", "Sh&utdown when main window is closed");
    StartupConfirmShutDownCheckBox =
        box(this, "StartupConfirmShutDownCheckBox", "Show shutdown confirmation dialog");
    StartupShowWindowHotkeyUseCheckBox =
        box(this, "StartupShowWindowHotkeyUseCheckBox", "Show main window on Hot Key:");
    StartupShowWindowHotkey = new HotKeyEdit(this);
    StartupShowWindowHotkey->setObjectName(QStringLiteral("StartupShowWindowHotkey"));
    StartupHotkeyResetButton = new QPushButton(QStringLiteral("Reset to 'None'"), this);
    StartupHotkeyResetButton->setObjectName(QStringLiteral("StartupHotkeyResetButton"));

    auto *startup = new QGroupBox(QStringLiteral("Startup"), this);
    startup->setObjectName(QStringLiteral("StartupGroupBox"));
    auto *s = new QVBoxLayout(startup);
    for (QCheckBox *b : {StartupCheckBoxRunAtSystemStartup, StartupRunMinimizedCheckBox,
                         StartupHideTrayIconCheckBox, StartupShowSplashCheckBox}) {
        s->addWidget(b);
    }
    auto *shutdown = new QGroupBox(QStringLiteral("Shutdown"), this);
    shutdown->setObjectName(QStringLiteral("ShutdownGroupBox"));
    auto *d = new QVBoxLayout(shutdown);
    d->addWidget(StartupShutDownAtCloseCheckBox);
    d->addWidget(StartupConfirmShutDownCheckBox);
    auto *hotKey = new QGroupBox(QStringLiteral("Hot Key"), this);
    hotKey->setObjectName(QStringLiteral("StartupHotKeyGroupBox"));
    auto *h = new QVBoxLayout(hotKey);
    h->addWidget(StartupShowWindowHotkeyUseCheckBox);
    auto *row = new QHBoxLayout;
    row->addSpacing(18);
    row->addWidget(StartupShowWindowHotkey, 1);
    row->addWidget(StartupHotkeyResetButton);
    h->addLayout(row);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(startup);
    layout->addWidget(shutdown);
    layout->addWidget(hotKey);
    layout->addStretch(1);

    connect(StartupShowWindowHotkeyUseCheckBox, &QCheckBox::toggled, this, [this] { CheckState(); });
    connect(StartupHotkeyResetButton, &QPushButton::clicked, this, [this] { setHotKey(0); });
    CheckState();
}

void PrefsStartupPage::setHotKey(std::uint16_t key)
{
    StartupShowWindowHotkey->setHotKey(key);
}

std::uint16_t PrefsStartupPage::hotKey() const
{
    return StartupShowWindowHotkey->hotKey();
}

void PrefsStartupPage::CheckState()
{
    const bool on = StartupShowWindowHotkeyUseCheckBox->isChecked();
    StartupShowWindowHotkey->setEnabled(on);
    StartupHotkeyResetButton->setEnabled(on);
}

void PrefsStartupPage::load(bool autoStartRegistered)
{
    StartupCheckBoxRunAtSystemStartup->setChecked(autoStartRegistered);
    StartupRunMinimizedCheckBox->setChecked(StartupRunMinimized);
    StartupHideTrayIconCheckBox->setChecked(StartupHideTrayIcon);
    StartupShowSplashCheckBox->setChecked(StartupShowSplash);
    StartupShutDownAtCloseCheckBox->setChecked(StartupShutDownAtClose);
    StartupConfirmShutDownCheckBox->setChecked(StartupConfirmShutdown);
    StartupShowWindowHotkeyUseCheckBox->setChecked(StartupHotKeyUse);
    setHotKey(StartupHotKey);
    CheckState();
}

void PrefsStartupPage::store() const
{
    StartupRunMinimized = StartupRunMinimizedCheckBox->isChecked();
    StartupHideTrayIcon = StartupHideTrayIconCheckBox->isChecked();
    StartupShowSplash = StartupShowSplashCheckBox->isChecked();
    StartupShutDownAtClose = StartupShutDownAtCloseCheckBox->isChecked();
    StartupConfirmShutdown = StartupConfirmShutDownCheckBox->isChecked();
    StartupHotKeyUse = StartupShowWindowHotkeyUseCheckBox->isChecked();
    StartupHotKey = hotKey();
}

bool PrefsStartupPage::runAtStartupChecked() const
{
    return StartupCheckBoxRunAtSystemStartup->isChecked();
}

} // namespace qv
