// A tray for tests: records every call and lets the test act as the desktop.
#pragma once

#include "platform/gui/TrayService.h"

#include <vector>

namespace qv {

class FakeTrayService : public TrayService
{
    Q_OBJECT
public:
    struct Message {
        QString title;
        QString text;
        int icon = 0;
        int timeoutMs = 0;
    };

    using TrayService::TrayService;

    bool available = true;
    bool refuse = false; // the desktop refuses every call
    bool shown = false;
    QString toolTip;
    QIcon icon;
    QMenu *menu = nullptr;
    int showCalls = 0;
    int modifyCalls = 0;
    std::vector<Message> messages;

    bool isAvailable() const override { return available; }
    bool supportsMessages() const override { return true; }
    bool showIcon(const QIcon &i, const QString &tip) override
    {
        ++showCalls;
        if (refuse || !available) {
            return false;
        }
        shown = true;
        icon = i;
        toolTip = tip;
        return true;
    }
    bool hideIcon() override
    {
        shown = false;
        return !refuse;
    }
    bool modifyIcon(const QIcon &i, const QString &tip) override
    {
        ++modifyCalls;
        if (refuse) {
            return false;
        }
        icon = i;
        toolTip = tip;
        return true;
    }
    bool isIconShown() const override { return shown; }
    bool showMessage(const QString &title, const QString &text, int i, int timeoutMs) override
    {
        if (refuse || !shown) {
            return false;
        }
        messages.push_back({title, text, i, timeoutMs});
        return true;
    }
    void setContextMenu(QMenu *m) override { menu = m; }

    // The desktop's side.
    void activate(Activation how) { emit activated(how); }
    void setAvailable(bool a)
    {
        available = a;
        if (!a) {
            shown = false;
        }
        emit availabilityChanged(a);
    }
};

} // namespace qv
