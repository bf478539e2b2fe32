// Small system text files: read whole, cut into lines and words.
#include "platform/TextFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace qv {

bool readTextFile(const std::string &path, std::string &text)
{
    text.clear();
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got > 0) {
            text.append(buffer, static_cast<std::size_t>(got));
        } else if (got == 0) {
            break;
        } else if (errno != EINTR) {
            break; // what was read stands, as a stream keeps it (a folder reads nothing)
        }
    }
    ::close(fd);
    return true;
}

std::vector<std::string> wordsOf(std::string_view text)
{
    static constexpr std::string_view kBlanks = " \t\n\v\f\r";
    std::vector<std::string> words;
    std::size_t at = text.find_first_not_of(kBlanks);
    while (at != std::string_view::npos) {
        const std::size_t end = text.find_first_of(kBlanks, at);
        words.emplace_back(text.substr(at, end == std::string_view::npos ? std::string_view::npos : end - at));
        at = end == std::string_view::npos ? end : text.find_first_not_of(kBlanks, end);
    }
    return words;
}

std::vector<std::string> piecesOf(std::string_view text, char delimiter)
{
    std::vector<std::string> pieces;
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t end = text.find(delimiter, at);
        if (end == std::string_view::npos) {
            pieces.emplace_back(text.substr(at));
            break;
        }
        pieces.emplace_back(text.substr(at, end - at));
        at = end + 1;
    }
    return pieces;
}

} // namespace qv
