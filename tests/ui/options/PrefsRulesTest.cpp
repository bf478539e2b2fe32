// The options dialog's rules without widgets: language captions, pictures, the selected line, what
// OK does with the choice, and the page a request opens.
#include "ui/options/PrefsRules.h"

#include <gtest/gtest.h>

using namespace qv::prefs;

TEST(PrefsRules, LanguageCaptionsAndPictures)
{
    struct Row {
        const char *file;
        const char *caption;
        int image;
    } rows[] = {
        {"GERMAN.LNG", "German", 5},  {"german.lng", "German", 5},   {"english.lng", "English", 2},
        {"Dutch.lng", "Dutch", 3},    {"rUSSIAN.lng", "Russian", 4}, {"francais.lng", "Francais", 6},
        {"SPANISH.lng", "Spanish", 7}, {"polski.lng", "Polski", 8},  {"pt.br.lng", "Pt.br", 0},
        {"klingon.lng", "Klingon", 0}, {"noext", "Noext", 0},       {".lng", "", 0},
        {"ÉCOLE.lng", "École", 0},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(languageCaption(r.file), r.caption) << r.file;
        EXPECT_EQ(languageImage(languageCaption(r.file)), r.image) << r.file;
    }
}

TEST(PrefsRules, TheDefaultLineComesFirst)
{
    const auto items = languageItems({"GERMAN.LNG", "pt.br.lng"});
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].caption, "English (Default)");
    EXPECT_EQ(items[0].image, 1);
    EXPECT_TRUE(items[0].fileName.empty());
    EXPECT_EQ(items[1].fileName, "GERMAN.LNG");
    EXPECT_EQ(items[2].caption, "Pt.br");
    EXPECT_EQ(items[2].fileName, "pt.br.lng");
    EXPECT_EQ(languageItems({}).size(), 1u);
}

TEST(PrefsRules, SelectedLineByRealNameIgnoringCase)
{
    const auto items = languageItems({"GERMAN.LNG", "german2.lng", "pt.br.lng"});
    struct Row {
        const char *language;
        int index;
    } rows[] = {
        {"", 0},           {"german.lng", 1}, {"GERMAN.LNG", 1}, {"German2.LNG", 2},
        {"pt.br.lng", 3},  {"pt.lng", 0},     {"german", 0},     {"french.lng", 0},
    };
    for (const Row &r : rows) {
        EXPECT_EQ(selectedLanguageIndex(items, r.language), r.index) << r.language;
    }
}

TEST(PrefsRules, WhatOkDoesWithTheLanguage)
{
    const auto items = languageItems({"GERMAN.LNG", "pt.br.lng"});
    struct Row {
        int initial, selected;
        LanguageChange::Kind kind;
        const char *file;
    } rows[] = {
        {1, 1, LanguageChange::Keep, ""},      {0, 0, LanguageChange::Keep, ""},
        {1, 0, LanguageChange::UseDefault, ""}, {1, -1, LanguageChange::UseDefault, ""},
        {0, 2, LanguageChange::LoadFile, "pt.br.lng"}, {2, 1, LanguageChange::LoadFile, "GERMAN.LNG"},
        {0, 7, LanguageChange::UseDefault, ""},
    };
    for (const Row &r : rows) {
        const LanguageChange c = languageChange(items, r.initial, r.selected);
        EXPECT_EQ(c.kind, r.kind) << r.initial << "->" << r.selected;
        EXPECT_EQ(c.fileName, r.file) << r.initial << "->" << r.selected;
    }
}

TEST(PrefsRules, PageToOpen)
{
    struct Row {
        int requested, remembered, page;
    } rows[] = {{-1, 0, 0}, {-1, 3, 3}, {2, 3, 2}, {0, 4, 0}, {4, 0, 4}, {9, 0, 4}, {-5, 2, 2}};
    for (const Row &r : rows) {
        EXPECT_EQ(pageToOpen(r.requested, r.remembered, 5), r.page) << r.requested << "," << r.remembered;
    }
}

TEST(PrefsRules, DefaultPassword)
{
    struct Row {
        const char *stored, *current;
        bool change;
        const char *newPw, *confirm;
        bool changeEnabled, entriesEnabled, mayClose;
    } rows[] = {
        {"", "", false, "", "", true, false, true},           // none set: the box is open at once
        {"", "", true, "abc", "abc", true, true, true},       // typed twice alike
        {"", "", true, "abc", "abd", true, true, false},      // mismatch keeps the dialog open
        {"", "", false, "abc", "abd", true, false, true},     // unchecked: the entries do not count
        {"Secret", "secret", true, "a", "b", false, false, true}, // case counts: wrong current
        {"Secret", "", false, "", "", false, false, true},
        {"Secret", "Secret", false, "", "", true, false, true},
        {"Secret", "Secret", true, "", "", true, true, true}, // an empty new password is a choice
        {"Secret", "Secret", true, "x", "", true, true, false},
    };
    for (const Row &r : rows) {
        const PasswordRules got = passwordRules({r.stored, r.current, r.change, r.newPw, r.confirm});
        EXPECT_EQ(got.changeEnabled, r.changeEnabled) << r.stored << "/" << r.current;
        EXPECT_EQ(got.entriesEnabled, r.entriesEnabled) << r.stored << "/" << r.current << "/" << r.change;
        EXPECT_EQ(got.mayClose, r.mayClose) << r.newPw << "/" << r.confirm;
    }
}
