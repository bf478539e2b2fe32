// The list and events pages until their own classes take over: each keeps the draft's values as
// they are and shows what it holds.
#include "ui/taskprops/TaskPages.h"

#include "core/task/Task.h"
#include "ui/taskprops/TaskFieldPage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qv {
namespace {

// A page that shows a summary of a list and never changes it.
class SummaryPage : public TaskPropertiesPage
{
public:
    SummaryPage(QWidget *parent, std::function<QString(const TaskSettings &)> summary)
        : TaskPropertiesPage(parent), m_summary(std::move(summary))
    {
        auto *layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        m_label = new QLabel(this);
        m_label->setWordWrap(true);
        layout->addWidget(m_label);
        layout->addStretch(1);
    }
    void load(const TaskSettings &s) override { m_label->setText(m_summary(s)); }
    void store(TaskSettings &) const override {}

private:
    std::function<QString(const TaskSettings &)> m_summary;
    QLabel *m_label;
};

} // namespace

TaskPropertiesPage *createSourcePage(QWidget *parent)
{
    // Single-folder editing; a multi-folder list is kept as stored while its text is untouched.
    auto *p = new TaskFieldPage(parent);
    p->edit("SourceFolderEdit", QStringLiteral("Source folder:"),
            [](TaskSettings &s) -> std::string & { return s.Source; }, false, "SourceFolderLabel");
    p->label("SourceFolderLabelExpandTest", QString());
    p->check("SourceIncSubfoldersCheckBox", QStringLiteral("Include Sub Folders"),
             [](TaskSettings &s) -> bool & { return s.SourceIncludeSubfolders; });
    p->stretch();
    return p;
}

TaskPropertiesPage *createFileFilterPage(QWidget *parent)
{
    return new SummaryPage(parent, [](const TaskSettings &s) {
        return QStringLiteral("%1 filter(s).").arg(s.Filters.Count());
    });
}

TaskPropertiesPage *createInternalSchedulePage(QWidget *parent)
{
    return new SummaryPage(parent, [](const TaskSettings &s) {
        return QStringLiteral("%1 schedule entr(ies).").arg(s.Schedules.Count());
    });
}

TaskPropertiesPage *createMSSchedulePage(QWidget *parent)
{
    return new SummaryPage(parent, [](const TaskSettings &) { return QString(); });
}

TaskPropertiesPage *createEventsPage(QWidget *parent)
{
    auto *p = new TaskFieldPage(parent);
    p->radios({{"EventsUseDefaultRadioButton", QStringLiteral("Use the default/common alert settings")},
               {"EventsUseCustomRadioButton", QStringLiteral("Use custom alert settings for this Task:")}},
              [](const TaskSettings &s) { return s.EventAlerts.UseDefault ? 0 : 1; },
              [](TaskSettings &s, int checked) {
                  if (checked >= 0) {
                      s.EventAlerts.UseDefault = checked == 0;
                  }
              });
    p->stretch();
    return p;
}

} // namespace qv
