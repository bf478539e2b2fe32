// Small text files of the system (/proc, /sys, /etc) read and cut into lines and words with plain
// system calls and string work.
//
// No C++ streams on purpose: the first stream a process makes sets up the standard library's
// locale (every facet of char and wchar_t), which pages in about half a megabyte of its code. The
// command-line runner reads the mount table and the control groups at every run and would pay that
// for a few lines of text. The cuts are the ones the streams make: words at the white space of the
// "C" locale, lines as std::getline gives them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qv {

// The whole file; false (and empty text) when it cannot be opened. A read error ends the text
// where it happened.
bool readTextFile(const std::string &path, std::string &text);

// The words of `text`: runs of characters other than space, tab, line feed, vertical tab, form
// feed and carriage return (what `stream >> word` reads one after the other).
std::vector<std::string> wordsOf(std::string_view text);

// The pieces of `text` between `delimiter`s, as std::getline reads them: text after the last
// delimiter is a piece when it is not empty, so "a\nb\n" and "a\nb" are both "a", "b", and empty text
// has none.
std::vector<std::string> piecesOf(std::string_view text, char delimiter = '\n');

} // namespace qv
