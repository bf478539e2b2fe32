// Decoding of 8-bit and UTF-16 text files into UTF-8 (language files, imported settings files).
//
// Files written on Windows come as UTF-16LE with a byte-order mark, as UTF-8, or in the Windows
// code page; the program keeps all text as UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace qv {

bool isValidUtf8(std::string_view bytes);
// Every byte as its Windows-1252 character (the five unassigned bytes as U+0081, U+008D ...).
std::string windows1252ToUtf8(std::string_view bytes);
// UTF-16LE (without its byte-order mark) to UTF-8; unpaired surrogates become U+FFFD.
std::string utf16leToUtf8(std::string_view bytes);
// A whole text file: UTF-16LE when it starts with FF FE, otherwise UTF-8 (a leading byte-order
// mark dropped) when valid, otherwise Windows-1252.
std::string decodeTextFile(std::string_view bytes);

} // namespace qv
