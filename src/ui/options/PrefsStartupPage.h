// PrefsStartupPage: the options dialog's "Startup and Shutdown" page.
#pragma once

#include <QWidget>

#include <cstdint>

class QCheckBox;
class QPushButton;

namespace qv {

class HotKeyEdit;

class PrefsStartupPage : public QWidget
{
    Q_OBJECT
public:
    explicit PrefsStartupPage(QWidget *parent = nullptr);

    // From the settings; `autoStartRegistered` is whether the autostart entry exists now.
    void load(bool autoStartRegistered);
    // Writes the start-up settings and the hot key (not the autostart entry).
    void store() const;
    bool runAtStartupChecked() const;

    std::uint16_t hotKey() const;
    void setHotKey(std::uint16_t key);
    // The hot-key field and "Reset to 'None'" follow "Show main window on Hot Key:".
    void CheckState();

    QCheckBox *StartupCheckBoxRunAtSystemStartup;
    QCheckBox *StartupRunMinimizedCheckBox;
    QCheckBox *StartupHideTrayIconCheckBox;
    QCheckBox *StartupShowSplashCheckBox;
    QCheckBox *StartupShutDownAtCloseCheckBox;
    QCheckBox *StartupConfirmShutDownCheckBox;
    QCheckBox *StartupShowWindowHotkeyUseCheckBox;
    HotKeyEdit *StartupShowWindowHotkey;
    QPushButton *StartupHotkeyResetButton;
};

} // namespace qv
