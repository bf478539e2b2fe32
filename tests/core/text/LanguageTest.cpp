// Language files: the INI reader, message lookup with English fallbacks, the file search.
#include "core/text/Language.h"

#include "support/TestEnv.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <unistd.h>

using namespace qv;

namespace {

std::string langDir()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation).toStdString() + "/quorvellant/lang";
}

class LanguageFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        qvtest::runShell("mkdir -p '" + langDir() + "' && rm -f '" + langDir() + "'/*");
        SetLanguageFile(nullptr);
    }
    void TearDown() override { SetLanguageFile(nullptr); }
};

} // namespace

class LanguageIniReader : public LanguageFixture {};

TEST_F(LanguageIniReader, SectionsKeysAndValuesAsTheFormatDefines)
{
    const std::string text = "; comment\r\n"
                             "orphan=ignored\r\n"
                             "[Misc]\r\n"
                             "strA=first=value with = signs\r\n"
                             "  StrB  =  padded value \r\n"
                             "strA=second (ignored)\r\n"
                             "no equals sign here\r\n"
                             "strEmpty=\r\n"
                             "[ mainform ]\n"
                             "MainForm.Caption=Hauptfenster\n"
                             "[MISC]\n"
                             "strC=from a repeated section\n";
    auto t = LanguageTable::parse(text, "x.lng");
    struct Case {
        const char *section, *key;
        std::optional<std::string> want;
    };
    const std::vector<Case> cases = {
        {"Misc", "strA", "first=value with = signs"},
        {"misc", "STRA", "first=value with = signs"},
        {"Misc", "strB", "  padded value "},
        {"Misc", "strEmpty", ""},
        {"Misc", "strC", "from a repeated section"},
        {"Misc", "orphan", std::nullopt},
        {"Misc", "no equals sign here", std::nullopt},
        {"MainForm", "mainform.caption", "Hauptfenster"},
        {"Other", "strA", std::nullopt},
    };
    for (const Case &c : cases) {
        EXPECT_EQ(t->value(c.section, c.key), c.want) << c.section << "/" << c.key;
    }
    EXPECT_EQ(t->fileName(), "x.lng");
}

TEST_F(LanguageIniReader, EncodingsOfTheFile)
{
    const std::string dir = qvtest::makeTempDir("enc");
    qvtest::writeFile(dir + "/utf8.lng", "\xEF\xBB\xBF[Misc]\nstrX=Gr\xC3\xBC\xC3\x9F""e\n");
    qvtest::writeFile(dir + "/cp1252.lng", "[Misc]\nstrX=Gr\xFC\xDF""e \x80\n");
    std::string utf16 = "\xFF\xFE";
    for (char c : std::string("[Misc]\r\nstrX=Gr")) {
        utf16 += c;
        utf16 += '\0';
    }
    utf16 += std::string("\xFC\x00", 2);
    qvtest::writeFile(dir + "/utf16.lng", utf16);
    EXPECT_EQ(LanguageTable::loadFile(dir + "/utf8.lng")->value("Misc", "strX"), "Gr\xC3\xBC\xC3\x9F""e");
    EXPECT_EQ(LanguageTable::loadFile(dir + "/cp1252.lng")->value("Misc", "strX"),
              "Gr\xC3\xBC\xC3\x9F""e \xE2\x82\xAC");
    EXPECT_EQ(LanguageTable::loadFile(dir + "/utf16.lng")->value("Misc", "strX"), "Gr\xC3\xBC");
    EXPECT_EQ(LanguageTable::loadFile(dir + "/missing.lng"), nullptr);
}

TEST_F(LanguageIniReader, FilesPastTheSizeLimitAreRefusedWithTheReason)
{
    const std::string dir = qvtest::makeTempDir("size");
    struct Case {
        std::size_t size;
        bool loads;
    };
    // The files are sparse past their first line: the limit is checked without writing megabytes.
    for (const Case &c : {Case{kMaxLanguageFileBytes, true}, Case{kMaxLanguageFileBytes + 1, false},
                          Case{kMaxLanguageFileBytes * 4, false}}) {
        SCOPED_TRACE(c.size);
        const std::string path = dir + "/big.lng";
        qvtest::writeFile(path, "[Misc]\nstrX=big\n");
        ASSERT_EQ(::truncate(path.c_str(), static_cast<off_t>(c.size)), 0);
        std::string error;
        auto table = LanguageTable::loadFile(path, &error);
        EXPECT_EQ(table != nullptr, c.loads) << error;
        if (c.loads) {
            EXPECT_EQ(table->value("Misc", "strX"), "big");
        } else {
            EXPECT_NE(error.find("\"big.lng\" is larger than 16 MiB"), std::string::npos) << error;
        }
    }
}

class LanguageMessages : public LanguageFixture {};

TEST_F(LanguageMessages, EnglishWithoutAFileAndForMissingOrEmptyKeys)
{
    EXPECT_EQ(GetLangString("Backup finished.", "strBackupFinish"), "Backup finished.");
    SetLanguageFile(LanguageTable::parse("[Misc]\nstrOther=x\nstrEmpty=\nstrTwo=one*|*two\nstrHere=Fertig.\n"));
    // A message the file lacks, or leaves empty, keeps its English text.
    EXPECT_EQ(GetLangString("Backup finished.", "strBackupFinish"), "Backup finished.");
    EXPECT_EQ(GetLangString("Empty here.", "strEmpty"), "Empty here.");
    EXPECT_EQ(GetLangString("Finished.", "strHere"), "Fertig.");
    EXPECT_EQ(GetLangString("", "strTwo"), "one\ntwo");
    EXPECT_EQ(GetLangString("a*|*b", "strMissing"), "a*|*b"); // English texts are used as written
    // Arguments given the other way round still find the message.
    EXPECT_EQ(GetLangString("strHere", "Finished."), "Fertig.");
}

TEST_F(LanguageMessages, PatternsFromTheFileAreCheckedAgainstTheArguments)
{
    SetLanguageFile(LanguageTable::parse("[Misc]\n"
                                         "strGood=Datei \"%s\" (%d Bytes)\n"
                                         "strSwapped=%1:d Bytes in \"%0:s\"\n"
                                         "strBadType=Datei %d\n"
                                         "strTooMany=%s %s %s\n"
                                         "strMalformed=%\n"));
    const std::string en = "File \"%s\" (%d bytes)";
    EXPECT_EQ(formatLangString(en, "strGood", {"a.txt", 12}), "Datei \"a.txt\" (12 Bytes)");
    EXPECT_EQ(formatLangString(en, "strSwapped", {"a.txt", 12}), "12 Bytes in \"a.txt\"");
    EXPECT_EQ(formatLangString(en, "strBadType", {"a.txt", 12}), "File \"a.txt\" (12 bytes)");
    EXPECT_EQ(formatLangString(en, "strTooMany", {"a.txt", 12}), "File \"a.txt\" (12 bytes)");
    EXPECT_EQ(formatLangString(en, "strMalformed", {"a.txt", 12}), "File \"a.txt\" (12 bytes)");
    EXPECT_EQ(formatLangString(en, "strMissing", {"a.txt", 12}), "File \"a.txt\" (12 bytes)");
}

TEST_F(LanguageMessages, ReadersNeverSeeAFreedTableWhileTheLanguageChanges)
{
    auto a = LanguageTable::parse("[Misc]\nstrX=alpha\n");
    auto b = LanguageTable::parse("[Misc]\nstrX=beta\n");
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::vector<std::thread> readers;
    for (int i = 0; i < 3; ++i) {
        readers.emplace_back([&] {
            while (!stop.load()) {
                std::string s = GetLangString("english", "strX");
                if (s != "alpha" && s != "beta" && s != "english") {
                    ++bad;
                }
            }
        });
    }
    for (int i = 0; i < 2000; ++i) {
        SetLanguageFile(i % 3 == 0 ? nullptr : LanguageTable::parse(i % 2 ? "[Misc]\nstrX=alpha\n" : "[Misc]\nstrX=beta\n"));
    }
    stop = true;
    for (auto &t : readers) {
        t.join();
    }
    EXPECT_EQ(bad.load(), 0);
}

class LanguageFiles : public LanguageFixture {};

TEST_F(LanguageFiles, LoadingFindsTheFileIgnoringCaseAndReportsItsRealName)
{
    qvtest::writeFile(langDir() + "/Deutsch.lng", "[Misc]\nstrBackupFinish=Sicherung beendet.\n");
    qvtest::writeFile(langDir() + "/francais.LNG", "[Misc]\nstrBackupFinish=Fini.\n");
    qvtest::writeFile(langDir() + "/notes.txt", "not a language");
    SetLanguageFile(LanguageTable::parse("[Misc]\nstrBackupFinish=old\n"));
    auto t = LoadLanguageFile("deutsch.LNG");
    EXPECT_EQ(LanguageFile(), nullptr); // the previous file is released first
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(t->fileName(), "Deutsch.lng");
    SetLanguageFile(t);
    EXPECT_EQ(GetLangString("Backup finished.", "strBackupFinish"), "Sicherung beendet.");
    EXPECT_EQ(LoadLanguageFile("missing.lng"), nullptr);
    EXPECT_EQ(GetLangString("Backup finished.", "strBackupFinish"), "Backup finished.");
    EXPECT_EQ(LoadLanguageFile("../lang/Deutsch.lng"), nullptr); // a bare name only
    std::vector<std::string> files = availableLanguageFiles();
    EXPECT_NE(std::find(files.begin(), files.end(), "Deutsch.lng"), files.end());
    EXPECT_NE(std::find(files.begin(), files.end(), "francais.LNG"), files.end()) << "case of the extension";
    EXPECT_EQ(std::find(files.begin(), files.end(), "notes.txt"), files.end());
}
