// Streaming object lists: the exact byte layout, a round trip through registered classes, the
// three class errors, the sorted list's duplicates byte and the "ObjectContainer" property.
#include "zip/ZipContainers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Shape
{
    virtual ~Shape() = default;
    int size = 0;
};
struct Circle : Shape
{
};
struct Square : Shape
{
    std::string label;
};
struct Unregistered : Shape
{
};

class ShapesBySize : public qv::TSortedObjectList<Shape>
{
public:
    using qv::TSortedObjectList<Shape>::TSortedObjectList;
    int Compare(const Shape *a, const Shape *b) const override { return a->size - b->size; }
};

class ZipListStream : public ::testing::Test
{
protected:
    void SetUp() override
    {
        auto &reg = qv::TClassRegistry<Shape>::instance();
        reg.Register<Circle>(
            "TCircle", [](Circle &c, qv::TStream &s) { c.size = qv::readListByte(s); },
            [](const Circle &c, qv::TStream &s) { qv::writeListByte(s, static_cast<std::uint8_t>(c.size)); });
        reg.Register<Square>(
            "TSquare",
            [](Square &q, qv::TStream &s) {
                q.size = qv::readListInt32(s);
                q.label = qv::readListName(s);
            },
            [](const Square &q, qv::TStream &s) {
                qv::writeListInt32(s, q.size);
                qv::writeListName(s, q.label);
            });
    }
    void TearDown() override
    {
        qv::TClassRegistry<Shape>::instance().Unregister("TCircle");
        qv::TClassRegistry<Shape>::instance().Unregister("TSquare");
    }

    static std::vector<std::uint8_t> bytes(std::initializer_list<int> values)
    {
        std::vector<std::uint8_t> out;
        for (int v : values) {
            out.push_back(static_cast<std::uint8_t>(v));
        }
        return out;
    }
};

TEST_F(ZipListStream, ExactLayoutAndRoundTrip)
{
    qv::TObjectList<Shape> list;
    auto *c = new Circle;
    c->size = 7;
    auto *q = new Square;
    q->size = 0x01020304;
    q->label = "ab";
    list.Add(c);
    list.Add(q);
    qv::TMemoryStream ms;
    list.WriteData(ms);
    const auto want = bytes({1, 2, 0, 0, 0, 7, 'T', 'C', 'i', 'r', 'c', 'l', 'e', 7, 7, 'T', 'S', 'q', 'u', 'a',
                             'r', 'e', 4, 3, 2, 1, 2, 'a', 'b'});
    EXPECT_EQ(ms.Data(), want);

    ms.Seek(0, qv::soBeginning);
    qv::TObjectList<Shape> back;
    back.Add(new Circle); // replaced by what is read
    back.ReadData(ms);
    ASSERT_EQ(back.Count(), 2);
    EXPECT_NE(dynamic_cast<Circle *>(back.Get(0)), nullptr);
    EXPECT_EQ(back.Get(0)->size, 7);
    const auto *square = dynamic_cast<Square *>(back.Get(1));
    ASSERT_NE(square, nullptr);
    EXPECT_EQ(square->size, 0x01020304);
    EXPECT_EQ(square->label, "ab");
    EXPECT_EQ(ms.Position(), ms.Size());
}

TEST_F(ZipListStream, SortedListCarriesItsDuplicatesMode)
{
    ShapesBySize list(qv::dupAccept);
    for (int size : {5, 1, 5}) {
        auto *c = new Circle;
        c->size = size;
        list.Add(c);
    }
    qv::TMemoryStream ms;
    list.WriteData(ms);
    EXPECT_EQ(ms.Data()[0], qv::dupAccept);
    EXPECT_EQ(ms.Data()[1], 1); // owns objects
    ms.Seek(0, qv::soBeginning);
    ShapesBySize back(qv::dupIgnore);
    back.ReadData(ms);
    EXPECT_EQ(back.Duplicates(), qv::dupAccept);
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Get(0)->size, 1);
    EXPECT_EQ(back.Get(2)->size, 5);
}

TEST_F(ZipListStream, ClassErrorsAndBadStreams)
{
    struct Case
    {
        const char *what;
        std::vector<std::uint8_t> data;
        const char *error; // nullptr: a stream error
    };
    const Case cases[] = {
        {"unknown class", bytes({1, 1, 0, 0, 0, 4, 'T', 'F', 'o', 'o'}), "Class <TFoo> not registered"},
        {"truncated item", bytes({1, 1, 0, 0, 0, 7, 'T', 'S', 'q', 'u', 'a', 'r', 'e', 4, 3}), nullptr},
        {"truncated count", bytes({1, 1, 0}), nullptr},
        {"negative count", bytes({1, 0xFF, 0xFF, 0xFF, 0xFF}), "List index out of bounds (-1)"},
        {"empty stream", {}, nullptr},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        qv::TMemoryStream ms(c.data);
        qv::TObjectList<Shape> list;
        try {
            list.ReadData(ms);
            ADD_FAILURE() << "no error";
        } catch (const qv::EClassNotFound &e) {
            ASSERT_NE(c.error, nullptr) << e.what();
            EXPECT_STREQ(e.what(), c.error);
        } catch (const qv::EListError &e) {
            ASSERT_NE(c.error, nullptr) << e.what();
            EXPECT_STREQ(e.what(), c.error);
        } catch (const qv::EStreamError &e) {
            EXPECT_EQ(c.error, nullptr) << e.what();
        }
    }
    qv::TObjectList<Shape> unregistered;
    unregistered.Add(new Unregistered);
    qv::TMemoryStream out;
    try {
        unregistered.WriteData(out);
        ADD_FAILURE();
    } catch (const qv::EClassNotFound &e) {
        EXPECT_STREQ(e.what(), "Source Class <Unregistered> not registered");
    }
    qv::TObjectList<Shape> holes;
    holes.SetCount(1);
    try {
        holes.WriteData(out);
        ADD_FAILURE();
    } catch (const qv::EClassNotFound &e) {
        EXPECT_STREQ(e.what(), "Nil Source Class!");
    }
    EXPECT_THROW(qv::TClassRegistry<Shape>::instance().Register<Circle>(std::string(64, 'n'), nullptr, nullptr),
                 qv::EClassNotFound);
}

TEST_F(ZipListStream, ObjectContainerPropertyStoredWhenNotEmpty)
{
    struct Recorder : qv::TFiler
    {
        std::string name;
        bool hasData = false;
        std::function<void(qv::TStream &)> write;
        void DefineBinaryProperty(const std::string &n, const std::function<void(qv::TStream &)> &,
                                  const std::function<void(qv::TStream &)> &w, bool has) override
        {
            name = n;
            hasData = has;
            write = w;
        }
    };
    qv::TObjectList<Shape> list;
    Recorder empty;
    list.DefineProperties(empty);
    EXPECT_EQ(empty.name, "ObjectContainer");
    EXPECT_FALSE(empty.hasData);
    list.Add(new Circle);
    Recorder one;
    list.DefineProperties(one);
    EXPECT_TRUE(one.hasData);
    qv::TMemoryStream ms;
    one.write(ms);
    EXPECT_EQ(ms.Size(), 1 + 4 + 1 + 7 + 1);
}

} // namespace
