// TipsPanel: the program tips below the task list: the tip shown, "Next Tip", "Previous Tip" and a
// close button, over the hidden list of tips that language files translate line by line.
//
// A tip line that begins with "/" starts with a help topic path, then one blank, then the text;
// other lines are text only. The index of the tip shown is the stored setting LastTip.
#pragma once

#include <QString>
#include <QWidget>

class QLabel;
class QPlainTextEdit;
class QTextBrowser;
class QToolButton;

namespace qv {

// One tip line split into its help topic ("" for none) and its text.
struct TipLine {
    QString topic;
    QString text;
};
TipLine parseTipLine(const QString &line);
// The index `step` (+1 or -1) away from `index` among `count` tips, wrapping both ways; a result
// still out of range (from a stored index out of range) becomes 0.
int stepTipIndex(int index, int count, int step);

class TipsPanel : public QWidget
{
    Q_OBJECT
public:
    explicit TipsPanel(QWidget *parent = nullptr);

    // Shows tip LastTip (0 when out of range) and takes its topic.
    void UpdateTips();
    void nextTip();
    void previousTip();
    QString tipTopic() const { return m_topic; }
    int tipCount() const;
    QString tipLine(int index) const;
    QString shownText() const;
    QTextBrowser *richEdit() const { return m_rich; }
    QPlainTextEdit *memo() const { return m_memo; }

signals:
    void nextClicked();
    void previousClicked();
    void closeClicked();
    // The topic changed (More Help follows it).
    void topicChanged(const QString &topic);

private:
    QTextBrowser *m_rich = nullptr;
    QPlainTextEdit *m_memo = nullptr;
    QLabel *m_next = nullptr;
    QLabel *m_prev = nullptr;
    QToolButton *m_close = nullptr;
    QString m_topic;
};

} // namespace qv
