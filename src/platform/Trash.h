// The freedesktop.org Trash: deleting a file or folder so that the user can restore it.
//
// An item goes to the home trash ($XDG_DATA_HOME/Trash) when it lives on the same file system, and
// otherwise to the trash at the top of its own file system ($topdir/.Trash/$uid when the
// administrator prepared a sticky .Trash folder, else $topdir/.Trash-$uid). Its .trashinfo is
// created first, with O_EXCL, so two programs trashing the same name never overwrite each other's
// record; then the item is renamed into files/. Nothing is ever copied across file systems: when
// no trash on the item's own file system can be used, the delete fails and the item stays.
#pragma once

#include <string>

namespace qv {

class Trash
{
public:
    struct Outcome {
        bool ok = false;
        std::string error;       // a sentence for the log when !ok
        std::string trashedPath; // where the item now lives (files/...)
        std::string infoPath;    // its .trashinfo
    };

    // Moves `path` (a file, a symbolic link or a whole folder) into the trash. `recordAs`, when
    // given, is recorded as its original location instead of `path` (and names it in the trash):
    // for an item made in a work folder that will be gone, the place a restore should put it.
    static Outcome moveToTrash(const std::string &path, const std::string &recordAs = {});
    // The same for the entry `name` of the open folder `folder` (O_PATH will do): it is looked at
    // and renamed from there, so a link on the way to it, or one put in its folder's place since
    // the folder was opened, redirects nothing. `path`, where it stands, is recorded and named.
    static Outcome moveToTrashAt(int folder, const std::string &name, const std::string &path,
                                 const std::string &recordAs = {});

    // $XDG_DATA_HOME/Trash (or ~/.local/share/Trash).
    static std::string homeTrashDir();

    // Percent-encodes a path byte by byte for the Path= line (every byte outside the unreserved
    // characters and "/"), so that names that are not UTF-8 round-trip.
    static std::string encodePath(const std::string &path);
};

} // namespace qv
