// A folder the user gave, and every open, create, rename and delete below it without a link.
//
// A destination, its versions folder, the deleted-files archive and an extraction folder are
// roots: the user chose them, so a symbolic link in the root's own path is followed. Below a root
// nothing follows a link: a link met there, planted by another user, left by an earlier archive
// or made by a program, would let a copy write, overwrite or delete outside the folder it was
// given. Every name below a root is therefore resolved from the root's open descriptor, one
// component at a time or by the kernel (openat2 with RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS where it
// has it), and a link anywhere on the way, the last component included, fails with ELOOP. A name
// with ".." or an absolute name fails with EXDEV: it would leave the root.
//
// makeFolderChain is the one way to make a chain of folders anywhere else: the levels that exist
// are taken as they stand (links included), and each new level is made beneath the deepest
// existing one, so that no link that appears meanwhile redirects the rest.
//
// Plain C++ over the system calls, below both the zip library and the platform layer. Nothing here
// throws; errors come back as errno values.
#pragma once

#include <string>
#include <string_view>
#include <sys/types.h>

namespace qv {

class RootFolder
{
public:
    RootFolder() = default;
    ~RootFolder();
    RootFolder(const RootFolder &) = delete;
    RootFolder &operator=(const RootFolder &) = delete;
    RootFolder(RootFolder &&other) noexcept;
    RootFolder &operator=(RootFolder &&other) noexcept;

    // Opens the folder `path` as the root, following links in it. False with `error`.
    bool open(const std::string &path, int &error);
    // The same, making the folder and its missing levels first (makeFolderChain).
    bool openMaking(const std::string &path, mode_t mode, int &error);
    void close();

    bool isOpen() const { return m_fd >= 0; }
    int fd() const { return m_fd; }
    // The root as given, without trailing slashes ("/" stays "/").
    const std::string &path() const { return m_path; }

    // The part of the absolute `path` below the root ("" for the root itself); false when `path`
    // is not the root or inside it, by text.
    bool relativeOf(std::string_view path, std::string &relative) const;
    // The root's path joined with `relative`.
    std::string pathOf(std::string_view relative) const;

    // openat(2) of `relative` beneath the root, never through a link (the last component
    // included); `mode` counts only with O_CREAT or O_TMPFILE. A descriptor, or -1 with `error`.
    int openBeneath(std::string_view relative, int flags, mode_t mode, int &error) const;
    // The folder holding `relative`, opened beneath the root (O_PATH), and its last name in `name`.
    // -1 with `error` (EINVAL when `relative` names the root itself).
    int openParent(std::string_view relative, std::string &name, int &error) const;
    // True when `relative` is a folder, reached without a link; false with `error` (ELOOP for a
    // link on the way or at the end, ENOENT when missing).
    bool isFolder(std::string_view relative, int &error) const;
    // Makes every missing folder of `relative` with `mode`, none through a link. True when
    // `relative` is a folder afterwards; false with ELOOP for a link on the way, ENOTDIR for
    // something else that is not a folder.
    bool makeFolders(std::string_view relative, mode_t mode, int &error) const;
    // Removes the file, link or empty folder `relative` itself (never what a link points at).
    bool remove(std::string_view relative, bool isFolder, int &error) const;
    // Renames `from` to `to`, both beneath the root, replacing what `to` names.
    bool rename(std::string_view from, std::string_view to, int &error) const;
    // The leading part of `relative` that is a symbolic link ("sub" for "sub/b.txt" when sub is
    // one), or empty when none is: for the message after an ELOOP.
    std::string linkOnTheWay(std::string_view relative) const;

    // Tests only: false makes the routine walk one O_NOFOLLOW openat per component even where
    // the kernel has openat2. Returns the previous setting.
    static bool useKernelResolve(bool use);

private:
    int m_fd = -1;
    std::string m_path;
};

// The part of `path` below `root` ("" for the root itself), by text: whole components, slashes
// at the ends ignored. False when `path` is not `root` or inside it.
bool relativeTo(std::string_view root, std::string_view path, std::string &relative);

// Makes `folder` and its missing levels with `mode` (see above). True when it is a folder
// afterwards; false with `error`.
bool makeFolderChain(const std::string &folder, mode_t mode, int &error);

} // namespace qv
