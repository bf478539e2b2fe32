// Path texts: the folder and the name of a path, and a folder with or without its final "/".
// Pure text work on byte strings; nothing here touches the file system.
#pragma once

#include <string>

namespace qv {

// The folder part of a path, with a trailing "/" ("" when the path has no "/"); trailing slashes
// of the path itself are ignored, so the folder of "/a/b/" is "/a/".
std::string folderOf(const std::string &path);
// The last component ("b" for "/a/b" and "/a/b/").
std::string nameOf(const std::string &path);
// The folder above `path`, without a trailing "/": "/" for a path right below the root, "." for a
// name without any "/".
std::string parentOf(const std::string &path);
// `folder` without its trailing slashes (the root stays "/").
std::string withoutSlash(const std::string &folder);
// `folder` with one trailing "/" added when it has none; empty text stays empty (never the root).
std::string withSlash(const std::string &folder);
// The path without its root: "/home/ann/docs" gives "home/ann/docs". A relative path or the root
// alone gives empty text.
std::string withoutRoot(const std::string &path);

} // namespace qv
