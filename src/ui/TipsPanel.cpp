// TipsPanel: the tip shown, the tips' list and the stepping through it.
#include "ui/TipsPanel.h"

#include "components/Cursors.h"
#include "components/LangText.h"
#include "core/settings/Settings.h"
#include "ui/TipsText.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <QTextBrowser>
#include <QToolButton>
#include <QVBoxLayout>

namespace qv {

TipLine parseTipLine(const QString &line)
{
    if (!line.startsWith(QLatin1Char('/'))) {
        return {QString(), line};
    }
    const qsizetype blank = line.indexOf(QLatin1Char(' '));
    if (blank < 0) {
        return {line, QString()};
    }
    return {line.left(blank), line.mid(blank + 1)};
}

int stepTipIndex(int index, int count, int step)
{
    if (count <= 0) {
        return 0;
    }
    int i = index + step;
    if (step > 0 && i >= count) {
        i = 0;
    } else if (step < 0 && i < 0) {
        i = count - 1;
    }
    return i < 0 || i >= count ? 0 : i; // what showing an index out of range does

}

namespace {

// A label that acts as a link: a click emits `clicked`.
class LinkLabel : public QLabel
{
public:
    LinkLabel(const QString &text, const char *name, QWidget *parent, std::function<void()> onClick)
        : QLabel(text, parent), m_onClick(std::move(onClick))
    {
        setObjectName(QString::fromLatin1(name));
        setCursor(screenCursor(crHand));
        QFont f = font();
        f.setUnderline(true);
        setFont(f);
        setForegroundRole(QPalette::Link);
    }

protected:
    void mouseReleaseEvent(QMouseEvent *) override { m_onClick(); }

private:
    std::function<void()> m_onClick;
};

} // namespace

TipsPanel::TipsPanel(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("TipsPanel"));
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(4, 2, 4, 2);
    row->setSpacing(6);
    m_rich = new QTextBrowser(this);
    m_rich->setObjectName(QStringLiteral("TipsRichEdit"));
    m_rich->setReadOnly(true);
    m_rich->setOpenLinks(false);
    m_rich->setFrameShape(QFrame::NoFrame);
    m_rich->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_rich->setContextMenuPolicy(Qt::NoContextMenu); // the panel's own menu is shown instead
    row->addWidget(m_rich, 1);
    auto *side = new QVBoxLayout;
    side->setSpacing(2);
    m_close = new QToolButton(this);
    m_close->setObjectName(QStringLiteral("TipsCloseButton"));
    m_close->setAutoRaise(true);
    m_close->setText(QStringLiteral("×"));
    m_close->setToolTip(langText("Hide tips", "strMainTipsHide"));
    connect(m_close, &QToolButton::clicked, this, &TipsPanel::closeClicked);
    side->addWidget(m_close, 0, Qt::AlignRight);
    m_next = new LinkLabel(langText("Next Tip", "strMainTipsNext"), "TipsLabelNext", this, [this] { emit nextClicked(); });
    m_prev = new LinkLabel(langText("Previous Tip", "strMainTipsPrev"), "TipsLabelPrev", this,
                           [this] { emit previousClicked(); });
    side->addWidget(m_next);
    side->addWidget(m_prev);
    side->addStretch(1);
    row->addLayout(side);

    m_memo = new QPlainTextEdit(this);
    m_memo->setObjectName(QStringLiteral("TipsMemo"));
    m_memo->setVisible(false);
    QStringList lines;
    for (const char *tip : kProgramTips) {
        lines << QString::fromUtf8(tip);
    }
    m_memo->setPlainText(lines.join(QLatin1Char('\n')));
}

int TipsPanel::tipCount() const
{
    return m_memo->document()->blockCount();
}

QString TipsPanel::tipLine(int index) const
{
    return m_memo->document()->findBlockByNumber(index).text();
}

QString TipsPanel::shownText() const
{
    return m_rich->toPlainText();
}

void TipsPanel::UpdateTips()
{
    m_rich->clear();
    if (LastTip < 0 || LastTip >= tipCount()) {
        LastTip = 0;
    }
    const TipLine tip = parseTipLine(tipLine(LastTip));
    m_rich->setPlainText(tip.text);
    if (tip.topic != m_topic) {
        m_topic = tip.topic;
    }
    emit topicChanged(m_topic);
}

void TipsPanel::nextTip()
{
    LastTip = stepTipIndex(LastTip, tipCount(), 1);
    UpdateTips();
}

void TipsPanel::previousTip()
{
    LastTip = stepTipIndex(LastTip, tipCount(), -1);
    UpdateTips();
}

} // namespace qv
