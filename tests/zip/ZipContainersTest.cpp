// Object lists: growth, index errors, neighbours, and the duplicate modes of the sorted list.
#include "zip/ZipContainers.h"
#include "zip/TSortedZip.h"
#include "zip/TZipReader.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

struct Item
{
    int key;
    int tag;
};

class ByKey : public qv::TSortedObjectList<Item>
{
public:
    using qv::TSortedObjectList<Item>::TSortedObjectList;
    int Compare(const Item *a, const Item *b) const override { return a->key - b->key; }
};

TEST(ZipObjectLists, GrowthErrorsAndNeighbours)
{
    qv::TObjectList<Item> list;
    std::vector<int> capacities;
    for (int i = 0; i < 30; ++i) {
        list.Add(new Item{i, 0});
        capacities.push_back(list.Capacity());
    }
    EXPECT_EQ(capacities[0], 4);
    EXPECT_EQ(capacities[4], 8);
    EXPECT_EQ(capacities[8], 16);
    EXPECT_EQ(capacities[16], 32);
    try {
        list.Get(30);
        ADD_FAILURE();
    } catch (const qv::EListError &e) {
        EXPECT_STREQ(e.what(), "List index out of bounds (30)");
    }
    EXPECT_THROW(list.Insert(-1, nullptr), qv::EListError);
    EXPECT_EQ(list.Neighbour(list.Get(3), true), list.Get(4));
    EXPECT_EQ(list.Neighbour(list.Get(0), false), nullptr);
    EXPECT_EQ(list.Neighbour(nullptr, true), list.First());
    EXPECT_EQ(list.Neighbour(nullptr, false), list.Last());
    Item stranger{99, 0};
    try {
        list.Neighbour(&stranger, true);
        ADD_FAILURE();
    } catch (const qv::EListError &e) {
        EXPECT_STREQ(e.what(), "tObject Item not in item list");
    }
}

TEST(ZipObjectLists, SortedDuplicateModes)
{
    {
        ByKey l(qv::dupError);
        l.Add(new Item{1, 1});
        auto second = std::make_unique<Item>(Item{1, 2});
        EXPECT_THROW(l.Add(second.get()), qv::EListError); // the list does not take the item
        EXPECT_EQ(l.Count(), 1);
        EXPECT_THROW(l.Put(0, nullptr), qv::EListError);
    }
    {
        ByKey l(qv::dupIgnore);
        l.Add(new Item{1, 1});
        l.Add(new Item{1, 2});
        ASSERT_EQ(l.Count(), 1);
        EXPECT_EQ(l.Get(0)->tag, 1);
    }
    {
        ByKey l(qv::dupAccept);
        for (int k : {5, 1, 3, 1}) {
            l.Add(new Item{k, static_cast<int>(l.Count())});
        }
        ASSERT_EQ(l.Count(), 4);
        EXPECT_EQ(l.Get(0)->key, 1);
        EXPECT_EQ(l.Get(0)->tag, 3) << "a duplicate stands before the first";
        EXPECT_EQ(l.Get(3)->key, 5);
        int at = -1;
        Item probe{3, 0};
        EXPECT_TRUE(l.Find(&probe, at));
        EXPECT_EQ(at, 2);
        Item absent{4, 0};
        EXPECT_FALSE(l.Find(&absent, at));
        EXPECT_EQ(at, 3);
        EXPECT_EQ(l.IndexOf(l.Get(1)), 1);
    }
}

TEST(ZipObjectLists, BulkLoadAgreesWithOneByOne)
{
    std::vector<qv::TZipHeaderInfo *> items;
    for (int i = 0; i < 200; ++i) {
        auto *e = new qv::TZipHeaderInfo;
        e->SetFullName("n" + std::to_string((i * 37) % 101) + ".txt");
        e->DateTime = static_cast<std::uint32_t>(0x50000000 + ((i * 13) % 17) * 0x10000);
        e->CompressedSize = static_cast<std::uint64_t>((i * 7) % 50);
        e->UncompressedSize = 100;
        e->RelativeOffset = static_cast<std::uint64_t>((i * 53) % 211);
        items.push_back(e);
    }
    for (int mode = qv::ByName; mode <= qv::ByNone; ++mode) {
        SCOPED_TRACE(mode);
        qv::TSortedZip one(qv::dupAccept, false);
        qv::TSortedZip bulk(qv::dupAccept, false);
        one.SortMode = bulk.SortMode = static_cast<qv::TZipSortMode>(mode);
        for (auto *e : items) {
            one.Add(e);
        }
        bulk.Load(items);
        ASSERT_EQ(one.Count(), bulk.Count());
        for (int i = 1; i < bulk.Count(); ++i) {
            EXPECT_FALSE(bulk.SortsBefore(bulk.Get(i), bulk.Get(i - 1))) << i;
            // Same sequence of keys as inserting one by one (ties may differ in order).
            EXPECT_FALSE(one.SortsBefore(one.Get(i), one.Get(i - 1))) << i;
        }
    }
    for (auto *e : items) {
        delete e;
    }
}

} // namespace
