// AboutForm: the about box.
#include "ui/AboutForm.h"

#include "components/Cursors.h"
#include "components/LangText.h"
#include "components/TranslateForm.h"
#include "core/util/Product.h"
#include "core/util/Utils.h"
#include "ui/HelpTopics.h"
#include "ui/SmallDialogButtons.h"
#include "ui/SmallDialogRules.h"

#include <QEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QVBoxLayout>

namespace qv {

namespace {

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setAlignment(Qt::AlignCenter);
    return l;
}

void setUnderline(QLabel *link, bool on)
{
    QFont f = link->font();
    f.setUnderline(on);
    link->setFont(f);
}

} // namespace

QString AboutForm::webTarget()
{
    return QString::fromLatin1(kProjectUrl);
}

QString AboutForm::mailTarget()
{
    return QStringLiteral("mailto:") + QString::fromLatin1(kSupportEmail);
}

AboutForm::AboutForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutForm"));
    setWindowTitle(QStringLiteral("About"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kAbout));
    ReadVersionInfo();
    LabelProgramName = label(this, "LabelProgramName", QString::fromStdString(VersionProductName));
    QFont big = LabelProgramName->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    LabelProgramName->setFont(big);
    LabelProgramVersion =
        label(this, "LabelProgramVersion",
              aboutVersionLine(QString::fromStdString(VersionProductVersion), langText("Build", "strBuild"),
                               QString::fromStdString(VersionBuild)));
    LabelProgramDescription =
        label(this, "LabelProgramDescription", QString::fromStdString(VersionFileDescription));
    LabelUrl = label(this, "LabelUrl", webTarget());
    LabelEmail = label(this, "LabelEmail", QString::fromLatin1(kSupportEmail));
    for (QLabel *link : {LabelUrl, LabelEmail}) {
        link->setCursor(screenCursor(crHand));
        QPalette p = link->palette();
        p.setColor(QPalette::WindowText, p.color(QPalette::Link));
        link->setPalette(p);
        link->setAttribute(Qt::WA_Hover);
        link->installEventFilter(this);
    }
    auto *layout = new QVBoxLayout(this);
    for (QLabel *l : {LabelProgramName, LabelProgramVersion, LabelProgramDescription, LabelUrl, LabelEmail}) {
        layout->addWidget(l);
    }
    layout->addSpacing(8);
    layout->addWidget(addDialogButtons(this, true, false, true));
    setMinimumWidth(360);
    TranslateForm(this);
}

bool AboutForm::eventFilter(QObject *watched, QEvent *event)
{
    auto *link = qobject_cast<QLabel *>(watched);
    if (link != LabelUrl && link != LabelEmail) {
        return QDialog::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::Enter:
        setUnderline(link, true);
        break;
    case QEvent::Leave:
        setUnderline(link, false);
        break;
    case QEvent::MouseButtonRelease:
        if (static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
            ShellOpen((link == LabelUrl ? webTarget() : mailTarget()).toStdString(), std::string());
            return true;
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void ShowAboutBox(QWidget *parent)
{
    AboutForm form(parent);
    form.exec();
}

} // namespace qv
