// Folder fields: a folder dragged from a file manager or pasted as a file URI becomes its path.
//
// File managers hand a dragged folder over as a URI ("file:///home/me/My%20files"), and copying a
// folder puts the same text on the clipboard. A folder field takes such a local URI as the path it
// names, whether it is dropped, pasted or typed whole; other text is left as it is, so what the
// field then holds is checked like any typed path.
#pragma once

#include <QString>

class QLineEdit;

namespace qv {

// The local path of a text that is a local file URI (its first line: several dropped items name
// the first), else the text unchanged. "file:///a%20b/" -> "/a b/"; "file://host/x" and
// "/home/a" are left alone.
QString localPathOfUri(const QString &text);

// Makes `edit` a folder field: a dropped local file or folder sets its path, and an edit that leaves
// a local file URI in it (a paste, a drop of text) is turned into that path.
void acceptFolderUris(QLineEdit *edit);

} // namespace qv
