// Folder fields take a local file URI, dropped from a file manager or pasted, as the path it names:
// the task dialog's folders, the filter's folder and the shortcut's other folder alike.
#include "components/FolderField.h"
#include "ui/FilterForm.h"
#include "ui/ShortcutForm.h"

#include "taskprops/TaskDialogFixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QRadioButton>
#include <QUrl>

namespace {

TEST(FolderFieldUris, LocalUrisBecomeTheirPaths)
{
    const struct {
        const char *text, *path;
    } rows[] = {
        {"file:///home/me/Drag%20me", "/home/me/Drag me"},
        {"file:///tmp/%C3%A9t%C3%A9/", "/tmp/\xC3\xA9t\xC3\xA9/"},
        {"FILE://localhost/srv/x", "/srv/x"},
        {"file:///a/b\nfile:///c/d\n", "/a/b"}, // several dropped items: the first
        {"  file:///a/b  ", "/a/b"},
        {"file://server/share", "file://server/share"}, // not a local file
        {"file://", "file://"},
        {"file:/a", "file:/a"},
        {"https://example.org/x", "https://example.org/x"},
        {"/home/me/file:///x", "/home/me/file:///x"},
        {"", ""},
    };
    for (const auto &r : rows) {
        EXPECT_EQ(qv::localPathOfUri(QString::fromUtf8(r.text)).toStdString(), r.path) << r.text;
    }
}

// What a file manager hands over for a dragged folder: its URI as a URL and as text.
void dropUri(QLineEdit *edit, const QString &uri)
{
    QMimeData mime;
    mime.setUrls({QUrl(uri)});
    mime.setText(uri);
    const QPoint at = edit->rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &enter);
    QDropEvent drop(QPointF(at), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(edit, &drop);
}

class FolderFields : public taskdialogtest::TaskDialogFixture
{
protected:
    FolderFields() : TaskDialogFixture("folderfields") {}

    static void check(QLineEdit *edit)
    {
        ASSERT_NE(edit, nullptr);
        const std::string name = edit->objectName().toStdString();
        edit->setEnabled(true);
        edit->setText(QStringLiteral("/old"));
        ASSERT_TRUE(edit->isEnabled()) << name;
        dropUri(edit, QStringLiteral("file:///home/me/Drag%20me"));
        EXPECT_EQ(edit->text(), QStringLiteral("/home/me/Drag me")) << name << ": dropped";
        edit->clear();
        QApplication::clipboard()->setText(QStringLiteral("file:///tmp/%C3%A9t%C3%A9"));
        edit->paste();
        EXPECT_EQ(edit->text(), QString::fromUtf8("/tmp/\xC3\xA9t\xC3\xA9")) << name << ": pasted";
        // A plain path pasted after other text stays as typed.
        edit->setText(QStringLiteral("/data/"));
        edit->end(false);
        QApplication::clipboard()->setText(QStringLiteral("sub"));
        edit->paste();
        EXPECT_EQ(edit->text(), QStringLiteral("/data/sub")) << name;
    }
};

TEST_F(FolderFields, EveryFolderFieldTakesADroppedOrPastedFileUri)
{
    qv::TTask task;
    qv::TProjectPropertiesForm form(task);
    form.loadDraft();
    for (const char *name : {"SourceFolderEdit", "DestLocalFolderEdit", "VersionsFolderEdit", "ObsoleteFolderEdit"}) {
        check(form.findChild<QLineEdit *>(QString::fromLatin1(name)));
    }
    qv::TFilterForm filter;
    filter.findChild<QComboBox *>(QStringLiteral("MainComboBoxKind"))->setCurrentIndex(1); // Folder
    filter.findChild<QRadioButton *>(QStringLiteral("FolderRadioButtonContains"))->setChecked(true);
    check(filter.findChild<QLineEdit *>(QStringLiteral("FolderEditName")));
    qv::ShortcutForm shortcut;
    check(shortcut.findChild<QLineEdit *>(QStringLiteral("EditOtherFolder")));
}

} // namespace
