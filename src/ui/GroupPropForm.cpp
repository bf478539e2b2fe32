// GroupPropForm: the group name dialog.
#include "ui/GroupPropForm.h"

#include "components/LangText.h"
#include "components/MessageBox.h"
#include "components/TranslateForm.h"
#include "ui/HelpTopics.h"
#include "ui/SmallDialogButtons.h"
#include "ui/SmallDialogRules.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QVBoxLayout>

namespace qv {

GroupPropForm::GroupPropForm(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("GroupPropForm"));
    setWindowTitle(QStringLiteral("Group Properties"));
    setProperty("helpKeyword", QString::fromLatin1(HelpTopics::kTaskGroups));
    auto *group = new QGroupBox(QStringLiteral("Group"), this);
    group->setObjectName(QStringLiteral("GroupBox"));
    m_name = new QLineEdit(group);
    m_name->setObjectName(QStringLiteral("NameEdit"));
    m_name->setMinimumWidth(280);
    auto *inner = new QVBoxLayout(group);
    inner->addWidget(m_name);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(group);
    layout->addWidget(addDialogButtons(this, true, true, true));
    TranslateForm(this);
}

void GroupPropForm::accept()
{
    if (!isValidGroupName(m_name->text())) {
        ShowError(this, langText("Please enter a name for the group.", "strGroupNameEmpty"));
        m_name->setFocus();
        return;
    }
    QDialog::accept();
}

bool ShowGroupProperties(QWidget *parent, QString &name)
{
    GroupPropForm form(parent);
    form.nameEdit()->setText(name);
    form.nameEdit()->selectAll();
    if (form.exec() != QDialog::Accepted) {
        return false;
    }
    name = form.nameEdit()->text();
    return true;
}

} // namespace qv
