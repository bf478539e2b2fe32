// The OK / Cancel / Help row of the small dialogs, with the program's object names.
#pragma once

#include <QDialogButtonBox>
#include <QPushButton>

#include "ui/Help.h"

namespace qv {

// Adds OKButton (default; emits accepted), CancelButton and HelpButton (sends F1, so the focused
// control's topic opens) as asked. Captions are the English defaults; TranslateForm replaces them.
inline QDialogButtonBox *addDialogButtons(QDialog *dialog, bool ok, bool cancel, bool helpButton)
{
    auto *box = new QDialogButtonBox(dialog);
    box->setObjectName(QStringLiteral("ButtonBox"));
    if (ok) {
        QPushButton *b = box->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
        b->setObjectName(QStringLiteral("OKButton"));
        b->setDefault(true);
    }
    if (cancel) {
        QPushButton *b = box->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
        b->setObjectName(QStringLiteral("CancelButton"));
    }
    if (helpButton) {
        QPushButton *b = box->addButton(QStringLiteral("Help"), QDialogButtonBox::HelpRole);
        b->setObjectName(QStringLiteral("HelpButton"));
        b->setAutoDefault(false);
        QObject::connect(b, &QPushButton::clicked, dialog, [dialog] { help::sendHelpKey(dialog); });
    }
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    return box;
}

} // namespace qv
