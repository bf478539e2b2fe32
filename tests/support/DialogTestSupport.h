// Helpers for tests of modal dialogs: act on the dialog the next exec() opens, find a named control.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

#include <functional>

namespace qvtest {

// Runs `act` on the modal dialog that the next exec() opens; `ran` tells whether it ever opened.
struct NextModal
{
    bool ran = false;
    explicit NextModal(std::function<void(QDialog *)> act)
    {
        QTimer::singleShot(0, [this, act] {
            auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
            if (dialog == nullptr) {
                ADD_FAILURE() << "no modal dialog is open";
                return;
            }
            ran = true;
            act(dialog);
        });
    }
};

// The child of `w` with that object name (a test failure when there is none).
template <typename T> T *child(QWidget *w, const char *name)
{
    T *c = w->findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
}

} // namespace qvtest
