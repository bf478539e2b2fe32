// The wildcard matcher: a recursive walk with a memo of failed (mask, name) positions after
// stars, so that masks with many stars stay linear in practice and never go exponential.
#include "zip/ZipMatch.h"

#include "zip/ZipLib.h"

#include <string>
#include <vector>

namespace qv {
namespace {

struct CharSet
{
    bool negated = false;
    std::string singles;
    std::string ranges; // pairs lo, hi
    bool contains(char c) const
    {
        bool in = singles.find(c) != std::string::npos;
        for (std::size_t i = 0; !in && i + 1 < ranges.size(); i += 2) {
            in = static_cast<unsigned char>(c) >= static_cast<unsigned char>(ranges[i]) &&
                 static_cast<unsigned char>(c) <= static_cast<unsigned char>(ranges[i + 1]);
        }
        return in != negated;
    }
};

// Parses the set starting at mask[i] == '<'; returns the index after its '>', or npos when it is
// malformed (empty, unclosed, or a '-' with nothing after it).
std::size_t parseSet(const std::string &mask, std::size_t i, CharSet &set)
{
    const std::size_t m = mask.size();
    ++i;
    if (i < m && (mask[i] == '!' || mask[i] == '^')) {
        set.negated = true;
        ++i;
    }
    bool any = false;
    while (i < m && mask[i] != '>') {
        const char lo = mask[i];
        if (i + 1 < m && mask[i + 1] == '-') {
            if (i + 2 >= m || mask[i + 2] == '>') {
                return std::string::npos;
            }
            set.ranges += lo;
            set.ranges += mask[i + 2];
            i += 3;
        } else {
            set.singles += lo;
            ++i;
        }
        any = true;
    }
    if (i >= m || !any) {
        return std::string::npos;
    }
    return i + 1;
}

class Matcher
{
public:
    Matcher(std::string mask, std::string name) : m_mask(std::move(mask)), m_name(std::move(name)) {}

    bool wellFormed() const
    {
        for (std::size_t i = 0; i < m_mask.size(); ++i) {
            if (m_mask[i] == '<') {
                CharSet s;
                const std::size_t next = parseSet(m_mask, i, s);
                if (next == std::string::npos) {
                    return false;
                }
                i = next - 1;
            }
        }
        return true;
    }

    bool match(std::size_t mi, std::size_t ni)
    {
        const std::size_t m = m_mask.size();
        const std::size_t n = m_name.size();
        while (mi < m) {
            const char c = m_mask[mi];
            if (c == '*') {
                return matchStar(mi, ni);
            }
            if (ni >= n) {
                return false;
            }
            if (c == '?') {
                ++mi;
            } else if (c == '<') {
                CharSet set;
                const std::size_t next = parseSet(m_mask, mi, set);
                if (!set.contains(m_name[ni])) {
                    return false;
                }
                mi = next;
            } else {
                if (c != m_name[ni]) {
                    return false;
                }
                ++mi;
            }
            ++ni;
        }
        return ni == n;
    }

private:
    bool matchStar(std::size_t mi, std::size_t ni)
    {
        const std::size_t m = m_mask.size();
        const std::size_t n = m_name.size();
        const std::size_t key = mi * (n + 1) + ni;
        if (m_failed.empty()) {
            m_failed.assign((m + 1) * (n + 1), 0);
        }
        if (m_failed[key] != 0) {
            return false;
        }
        std::size_t j = mi;
        std::size_t anyChars = 0;
        while (j < m && (m_mask[j] == '*' || m_mask[j] == '?')) {
            anyChars += m_mask[j] == '?' ? 1 : 0;
            ++j;
        }
        CharSet set;
        bool hasSet = false;
        if (j < m && m_mask[j] == '<') {
            j = parseSet(m_mask, j, set);
            hasSet = true;
        }
        if (ni + anyChars > n) {
            m_failed[key] = 1;
            return false;
        }
        for (std::size_t k = ni + anyChars; k <= n; ++k) {
            if (match(j, k)) {
                return true;
            }
            if (k < n && hasSet && !set.contains(m_name[k])) {
                break;
            }
        }
        m_failed[key] = 1;
        return false;
    }

    std::string m_mask;
    std::string m_name;
    std::vector<unsigned char> m_failed;
};

} // namespace

bool IsMatch(std::string_view mask, std::string_view name)
{
    if (mask == "*") {
        return true;
    }
    Matcher matcher(asciiLower(mask), asciiLower(name));
    return matcher.wellFormed() && matcher.match(0, 0);
}

bool zipMaskMatches(const std::string &mask, const std::string &path)
{
    std::string subject = path;
    if (mask.find('/') == std::string::npos) {
        std::string trimmed = path;
        while (!trimmed.empty() && trimmed.back() == '/') {
            trimmed.pop_back();
        }
        const auto slash = trimmed.rfind('/');
        subject = slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
    }
    return IsMatch(mask, subject);
}

} // namespace qv
