// RangedField offscreen: a stored value outside the range survives unless the user edits it.
// qv-test-labels: gui
#include "components/RangedField.h"
#include "components/FolderPicker.h"

#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

using qv::RangedField;

namespace {

struct StoredCase
{
    int minimum;
    int maximum;
    qint64 stored;
    int shown;
};

class RangedFieldStored : public ::testing::TestWithParam<StoredCase>
{
};

TEST_P(RangedFieldStored, ShowsClampedAndGivesBackTheStoredValue)
{
    const StoredCase &c = GetParam();
    RangedField field(c.minimum, c.maximum);
    field.setStoredValue(c.stored);
    EXPECT_EQ(field.value(), c.shown);
    EXPECT_EQ(field.text(), QString::number(c.shown));
    EXPECT_FALSE(field.isEdited());
    EXPECT_EQ(field.storedValue(), c.stored);
}

INSTANTIATE_TEST_SUITE_P(Table, RangedFieldStored,
                         ::testing::Values(StoredCase{0, 65535, 8080, 8080},   // proxy port
                                           StoredCase{0, 100, 8080, 100},      // an old narrow range
                                           StoredCase{0, 100, -5, 0},          // below the range
                                           StoredCase{0, 32767, 32767, 32767}, // the upper bound
                                           StoredCase{1, 60, 0, 1},            // zero below a minimum of 1
                                           StoredCase{0, 65535, 4294967295LL, 65535})); // a DWORD's maximum

TEST(RangedField, UserEditsReplaceTheStoredValue)
{
    RangedField field(0, 100);
    field.setStoredValue(8080);
    field.show();
    // An arrow key steps from the shown (clamped) value.
    QTest::keyClick(&field, Qt::Key_Down);
    EXPECT_TRUE(field.isEdited());
    EXPECT_EQ(field.storedValue(), 99);

    // Typing replaces the text; the typed value is what gets stored.
    field.setStoredValue(8080);
    EXPECT_FALSE(field.isEdited());
    field.selectAll();
    QTest::keyClicks(&field, "42");
    EXPECT_TRUE(field.isEdited());
    EXPECT_EQ(field.storedValue(), 42);

    // Loading a new stored value starts over.
    field.setStoredValue(7);
    EXPECT_FALSE(field.isEdited());
    EXPECT_EQ(field.storedValue(), 7);
}

TEST(RangedField, ChangingTheRangeKeepsAnUneditedStoredValue)
{
    RangedField field(0, 100);
    field.setStoredValue(8080);
    field.setFieldRange(0, 65535);
    EXPECT_EQ(field.value(), 8080);
    EXPECT_EQ(field.storedValue(), 8080);
    field.setFieldRange(0, 10);
    EXPECT_EQ(field.value(), 10);
    EXPECT_FALSE(field.isEdited());
    EXPECT_EQ(field.storedValue(), 8080);
}

TEST(FolderPickerSeam, FakeAnswersInOrderRecordsRequestsAndUninstalls)
{
    qv::FolderPicker *before = &qv::FolderPicker::instance();
    {
        qv::FakeFolderPicker fake;
        EXPECT_EQ(&qv::FolderPicker::instance(), &fake);
        fake.answers = {QStringLiteral("/tmp/a"), std::nullopt};
        EXPECT_EQ(qv::FolderPicker::instance().pickFolder(nullptr, QStringLiteral("/start")),
                  std::optional<QString>(QStringLiteral("/tmp/a")));
        EXPECT_EQ(qv::FolderPicker::instance().pickFolder(nullptr, QString()), std::nullopt);
        EXPECT_EQ(qv::FolderPicker::instance().pickFolder(nullptr, QStringLiteral("/x")),
                  std::nullopt); // none left
        EXPECT_EQ(fake.requests, (std::vector<QString>{"/start", "", "/x"}));
    }
    EXPECT_EQ(&qv::FolderPicker::instance(), before);
}

} // namespace
