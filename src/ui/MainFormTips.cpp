// TMainForm: the bottom panel with the program tips, and the tips' commands.
//
// The bottom area is the tips panel (61 px) above the status bar (22 px), as bottomPanelHeight
// gives them, taller where the font needs it; each part is hidden on its own.
#include "ui/MainForm.h"

#include "core/settings/Settings.h"
#include "ui/Help.h"
#include "ui/HelpTopics.h"
#include "ui/TipsPanel.h"

#include <QAction>
#include <QFontMetrics>
#include <QMenu>
#include <QStatusBar>
#include <QTextBrowser>
#include <QVBoxLayout>

#include <algorithm>

namespace qv {

void TMainForm::createTipsPanel()
{
    QWidget *upper = takeCentralWidget();
    auto *central = new QWidget(this);
    central->setObjectName(QStringLiteral("CentralPanel"));
    auto *layout = new QVBoxLayout(central);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(upper, 1);
    m_bottomPanel = new QWidget(central);
    m_bottomPanel->setObjectName(QStringLiteral("CentralBottomPanel"));
    auto *bottom = new QVBoxLayout(m_bottomPanel);
    bottom->setContentsMargins(0, 0, 0, 0);
    m_tips = new TipsPanel(m_bottomPanel);
    bottom->addWidget(m_tips);
    layout->addWidget(m_bottomPanel);
    setCentralWidget(central);
    // The designed heights, or more where the desktop's font needs it: three lines of a tip, one
    // line of the status bar.
    const int line = QFontMetrics(m_tips->font()).lineSpacing();
    m_bottomPanel->setFixedHeight(std::max(bottomPanelHeight(true, false), 3 * line + 10));
    statusBar()->setFixedHeight(
        std::max(bottomPanelHeight(false, true), QFontMetrics(statusBar()->font()).height() + 6));

    m_tips->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_tips, &QWidget::customContextMenuRequested, this, [this](QPoint pos) {
        if (m_tipsMenu != nullptr) {
            m_tipsMenu->popup(m_tips->mapToGlobal(pos));
        }
    });
    connect(m_tips, &TipsPanel::nextClicked, this, [this] { action("actOtherTipsNext")->trigger(); });
    connect(m_tips, &TipsPanel::previousClicked, this, [this] { action("actOtherTipsPrev")->trigger(); });
    connect(m_tips, &TipsPanel::closeClicked, this, [this] { action("actViewTips")->trigger(); });
    m_tips->UpdateTips();
}

void TMainForm::connectTipsActions()
{
    auto on = [this](const char *name, auto fn) { connect(action(name), &QAction::triggered, this, fn); };
    on("actOtherTipsNext", [this] {
        m_tips->nextTip();
        CheckState();
    });
    on("actOtherTipsPrev", [this] {
        m_tips->previousTip();
        CheckState();
    });
    on("actOtherTipsMoreHelp", [this] {
        if (!m_tips->tipTopic().isEmpty()) {
            help::ShowHelpTopic(m_tips->tipTopic());
        }
    });
    on("actOtherTipsHelpContents", [] { help::ShowHelpContents(); });
    on("actOtherTipsHide", [this] { action("actViewTips")->trigger(); });
    on("actViewTips", [this] { setTipsVisible(m_bottomPanel->isHidden()); });
}

void TMainForm::setTipsVisible(bool visible)
{
    m_bottomPanel->setVisible(visible);
    CheckState();
}

} // namespace qv
