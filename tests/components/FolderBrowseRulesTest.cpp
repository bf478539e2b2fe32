// The folder dialog's rules: shortened paths, new folder paths, language keys and caption picking.
#include "components/FolderBrowseRules.h"

#include <gtest/gtest.h>

using namespace qv;

namespace {

struct ShortenCase
{
    const char *path;
    int length;
    char separator;
    const char *expected;
};

class ShortenPathTable : public ::testing::TestWithParam<ShortenCase>
{
};

TEST_P(ShortenPathTable, Shortens)
{
    const ShortenCase &c = GetParam();
    const QString result = ShortenPath(QString::fromUtf8(c.path), c.length, QLatin1Char(c.separator));
    EXPECT_EQ(result.toStdString(), c.expected);
    EXPECT_LE(result.size(), std::max(c.length, 0));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ShortenPathTable,
    ::testing::Values(
        // The two Windows forms: a drive path and a network path whose server name stays.
        ShortenCase{"C:\\Data\\Projects\\2004\\Reports\\Monthly\\January\\Summaries", 50, '\\',
                    "C:\\...\\2004\\Reports\\Monthly\\January\\Summaries"},
        ShortenCase{"\\\\server\\share\\folder\\sub\\deeper\\deepest\\final-folder-name", 40, '\\',
                    "\\\\server\\...\\deepest\\final-folder-name"},
        // Exactly 50 characters stay; 51 without a separator are cut.
        ShortenCase{"/aaaaaaaaa/aaaaaaaaa/aaaaaaaaa/aaaaaaaaa/aaaaaaaaa", 50, '/',
                    "/aaaaaaaaa/aaaaaaaaa/aaaaaaaaa/aaaaaaaaa/aaaaaaaaa"},
        ShortenCase{"bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb", 50, '/',
                    "bbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbbb"},
        // Below 6 the path is cut.
        ShortenCase{"/home/user/Documents", 5, '/', "/home"}, ShortenCase{"/home/user/Documents", 0, '/', ""},
        ShortenCase{"/home/user/Documents", -1, '/', ""},
        // A leading "/" is the root, not a network prefix.
        ShortenCase{"/home/user/Data/Projects/2004/Reports/Monthly/January/Summaries", 50, '/',
                    "/.../2004/Reports/Monthly/January/Summaries"},
        // A last level too long to fit: cut with "..." at the end.
        ShortenCase{"/home/user/a-very-long-folder-name-that-alone-is-longer-than-the-limit", 30, '/',
                    "/.../a-very-long-folder-nam..."},
        // Fewer than two separators after the first two characters: cut.
        ShortenCase{"/home/an-extremely-long-single-folder-name-beyond-limits", 20, '/',
                    "/home/an-extremely-l"},
        // Characters, not bytes.
        ShortenCase{"/home/jürgen/Bilder/Urlaub/Österreich/2024/Großglockner", 33, '/',
                    "/.../Österreich/2024/Großglockner"}));

TEST(FolderBrowseRules, NewFolderJoinsWithOneSeparator)
{
    EXPECT_EQ(joinNewFolderPath("/data/", "Sub"), "/data/Sub");
    EXPECT_EQ(joinNewFolderPath("/data", "Sub"), "/data/Sub");
    EXPECT_EQ(joinNewFolderPath("/data", "/Sub"), "/data/Sub");
    EXPECT_EQ(joinNewFolderPath("/", "Sub"), "/Sub");
    EXPECT_EQ(joinNewFolderPath("/data", "One/Two"), "/data/One/Two");
    EXPECT_EQ(joinNewFolderPath("C:\\Data\\", "Sub", QLatin1Char('\\')), "C:\\Data\\Sub");
    EXPECT_EQ(joinNewFolderPath("C:\\Data", "Sub", QLatin1Char('\\')), "C:\\Data\\Sub");
}

TEST(FolderBrowseRules, LanguageKeysOfLocales)
{
    const std::pair<const char *, const char *> cases[] = {
        {"de_DE", "0407"}, {"de_AT", "0C07"}, {"de_CH", "0807"}, {"pl_PL", "0415"},
        {"ru_RU", "0419"}, {"en_US", "0409"}, {"en_GB", "0809"}, {"fr_CA", "0C0C"},
        {"pt_BR", "0416"}, {"pt_PT", "0816"}, {"C", "0409"},     {"sw_KE", "0000"},
    };
    for (const auto &[locale, key] : cases) {
        EXPECT_EQ(languageKeyFor(QLocale(QString::fromLatin1(locale))).toStdString(), key) << locale;
    }
}

TEST(FolderBrowseRules, CaptionsPickedByKeyThenDefaultThenFirst)
{
    const QStringList newFolder = defaultNewFolderCaptions();
    const QStringList label = defaultLabelCaptions();
    const std::tuple<const char *, const char *, const char *> cases[] = {
        {"0419", "New folder", "Current folder:"},        // Russian has no line
        {"0807", "Neuer Ordner", "Ausgewählter Ordner:"}, // Swiss German
        {"0C07", "Neuer Ordner", "Ausgewählter Ordner:"}, // Austrian German
        {"0415", "Nowy folder", "Bieżący folder"},        // Polish, no colon
        {"0000", "New folder", "Current folder:"},
        {"0c0c", "Nouveau Dossier", "Dossier Courant:"}, // keys compare without case
    };
    for (const auto &[key, button, title] : cases) {
        EXPECT_EQ(pickCaption(newFolder, key).toStdString(), button) << key;
        EXPECT_EQ(pickCaption(label, key).toStdString(), title) << key;
    }
    EXPECT_EQ(pickCaption({}, "0407"), QString());
    EXPECT_EQ(pickCaption({"0407=Neu", "0409=New"}, "0419"), "Neu"); // no Default: the first line
    EXPECT_EQ(pickCaption({"0407=Neu", "Default=Fallback"}, "0419"), "Fallback");
    EXPECT_EQ(newFolder.size(), 29);
    EXPECT_EQ(label.size(), 29);
}

} // namespace
