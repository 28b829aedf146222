#include "cdx_test_support.h"

#include <algorithm>
#include <functional>
#include <map>
#include <random>

namespace faxlog::cdx::testing {
namespace {

// Expected index order, written out independently of the library's comparator.
std::vector<KeyEntry> expectedOrder(std::vector<KeyEntry> v, bool descending) {
    std::stable_sort(v.begin(), v.end(), [&](const KeyEntry& a, const KeyEntry& b) {
        if (a.key != b.key) {
            const bool less = std::lexicographical_compare(
                a.key.begin(), a.key.end(), b.key.begin(), b.key.end(),
                [](char x, char y) { return uint8_t(x) < uint8_t(y); });
            return descending ? !less : less;
        }
        return descending ? a.recno > b.recno : a.recno < b.recno;
    });
    return v;
}

// Node attributes of the root page of the tag whose key expression is `expression`.
uint16_t rootAttributes(const std::filesystem::path& p, const std::string& expression) {
    const auto bytes = readBytes(p);
    for (size_t off = 1024; off + 1024 <= bytes.size(); off += 512) {
        if (std::string(reinterpret_cast<const char*>(&bytes[off + 512])) == expression) {
            const uint32_t root = bytes[off] | bytes[off + 1] << 8 | bytes[off + 2] << 16 | uint32_t(bytes[off + 3]) << 24;
            return uint16_t(bytes[root] | bytes[root + 1] << 8);
        }
    }
    ADD_FAILURE() << "no tag header with key expression " << expression;
    return 0;
}

using CdxRoundTrip = ScratchDir;

TEST_F(CdxRoundTrip, EveryKeyTypeInBothOrders) {
    std::mt19937 rng(11);
    struct Case {
        char type;
        int length;
        std::function<std::string(int)> make;
    };
    const std::vector<Case> cases = {
        {'C', 12, [](int i) { return encodeCharacterKey("NAME" + std::to_string(i % 37), 12); }},
        {'N', 8, [](int i) { return encodeNumericKey((i % 23) * 1.5 - 17); }},
        {'D', 8, [](int i) { return encodeDateKey(i % 5 == 0 ? 0 : 2451545 + i % 41); }},
        {'L', 1, [](int i) { return encodeLogicalKey(i % 3 == 0); }},
    };
    const auto path = file("types.cdx");
    std::map<std::string, std::vector<KeyEntry>> expected;
    {
        auto index = CdxIndex::create(path);
        for (const Case& c : cases) {
            for (bool descending : {false, true}) {
                std::vector<KeyEntry> entries;
                for (int i = 1; i <= 400; ++i) entries.push_back({c.make(i), uint32_t(i)});
                std::shuffle(entries.begin(), entries.end(), rng);
                const std::string name = std::string("T") + c.type + (descending ? "D" : "A");
                TagInfo info{name, "EXPR_" + name, descending ? ".not. deleted()" : "", descending, false, c.type, c.length};
                index.createTag(info, entries);
                expected[name] = expectedOrder(entries, descending);
            }
        }
        index.flush();
    }
    auto index = CdxIndex::open(path);
    EXPECT_EQ(index.tagNames(), (std::vector<std::string>{"TCA", "TCD", "TNA", "TND", "TDA", "TDD", "TLA", "TLD"}));
    for (const auto& [name, entries] : expected) {
        const CdxTag* tag = index.tag(name);
        ASSERT_NE(tag, nullptr) << name;
        EXPECT_EQ(tag->info().keyExpression, "EXPR_" + name);
        EXPECT_EQ(tag->info().forExpression, name.back() == 'D' ? ".not. deleted()" : "");
        EXPECT_EQ(tag->info().descending, name.back() == 'D');
        EXPECT_EQ(tag->info().keyType, name[1]);
        EXPECT_EQ(walk(*tag), entries) << name;
    }
    // Numeric keys come back in numeric order, not just byte order.
    const CdxTag* num = index.tag("tna");
    ASSERT_NE(num, nullptr);
    double last = -1e300;
    for (const KeyEntry& e : *num) {
        EXPECT_LE(last, decodeNumericKey(e.key));
        last = decodeNumericKey(e.key);
    }
}

// Duplicates, shared prefixes, keys made only of padding, bytes 0x00 and 0xFF inside
// character keys, numeric keys full of trailing zero bytes and very large record numbers:
// all the corners of the leaf compression, over several B-tree levels.
TEST_F(CdxRoundTrip, CompressionCornersOverManyLevels) {
    std::mt19937 rng(3);
    std::vector<KeyEntry> chars, nums, longKeys;
    const std::vector<std::string> stems = {"", " ", "A", "AB", "ABC ", std::string("A\0B", 3), "\xFF\xFF", "ZZZZZZZZZZZZZZZZZZZZ", "A\x01"};
    for (uint32_t i = 1; i <= 6000; ++i) {
        const std::string stem = stems[i % stems.size()] + (i % 4 == 0 ? std::to_string(i % 97) : "");
        const uint32_t recno = i % 11 == 0 ? 0xFFFFFFF0u - i : i;
        chars.push_back({encodeCharacterKey(stem, 20), recno});
        nums.push_back({encodeNumericKey(double(i % 50) * (i % 2 ? 1 : -1)), recno});
    }
    for (uint32_t i = 1; i <= 700; ++i)
        longKeys.push_back({encodeCharacterKey(std::string(200, 'x') + std::to_string(i % 60), 240), i * 977});
    const auto path = file("many.cdx");
    {
        auto index = CdxIndex::create(path);
        index.createTag({"CHARS", "CHARS", "", false, false, 'C', 20}, chars);
        index.createTag({"NUMS", "NUMS", "", true, false, 'N', 8}, nums);
        index.createTag({"LONGKEYS", "LONGKEYS", "", false, false, 'C', 240}, longKeys);
        index.flush();
    }
    auto index = CdxIndex::open(path);
    EXPECT_EQ(walk(*index.tag("CHARS")), expectedOrder(chars, false));
    EXPECT_EQ(walk(*index.tag("NUMS")), expectedOrder(nums, true));
    EXPECT_EQ(walk(*index.tag("LONGKEYS")), expectedOrder(longKeys, false));
    // The roots are interior pages, so the trees really have several levels.
    EXPECT_EQ(rootAttributes(path, "CHARS"), 1);
    EXPECT_EQ(rootAttributes(path, "LONGKEYS"), 1);
}

TEST_F(CdxRoundTrip, InsertAndEraseAfterOpenKeepOrderAndPersist) {
    const auto path = file("edit.cdx");
    std::vector<KeyEntry> model;
    {
        auto index = CdxIndex::create(path);
        std::vector<KeyEntry> entries;
        for (uint32_t i = 1; i <= 1500; ++i) entries.push_back({encodeCharacterKey("K" + std::to_string(i % 40), 8), i});
        index.createTag({"DATETIME", "DTOS(DATEREC)+TIMEREC", ".not. deleted()", true, false, 'C', 8}, entries);
        index.flush();
        model = entries;
    }
    std::mt19937 rng(5);
    {
        auto index = CdxIndex::open(path);
        EXPECT_FALSE(index.dirty());
        CdxTag* tag = index.tag("datetime");
        ASSERT_NE(tag, nullptr);
        for (int round = 0; round < 2000; ++round) {
            if (rng() % 3 == 0 && !model.empty()) {
                const size_t at = rng() % model.size();
                EXPECT_TRUE(tag->erase(model[at].key, model[at].recno));
                model.erase(model.begin() + long(at));
            } else {
                KeyEntry e{encodeCharacterKey("N" + std::to_string(rng() % 30), 8), uint32_t(2000 + round)};
                tag->insert(e.key, e.recno);
                model.push_back(e);
            }
        }
        EXPECT_FALSE(tag->erase(encodeCharacterKey("NOPE", 8), 1));
        EXPECT_TRUE(index.dirty());
        EXPECT_EQ(walk(*tag), expectedOrder(model, true));
        index.flush();
        EXPECT_FALSE(index.dirty());
        EXPECT_FALSE(std::filesystem::exists(file("edit.cdx.tmp")));
    }
    auto index = CdxIndex::open(path);
    EXPECT_EQ(walk(*index.tag("DATETIME")), expectedOrder(model, true));
}

TEST_F(CdxRoundTrip, SeekFindAndPrefixesInBothOrders) {
    auto index = CdxIndex::create(file("seek.cdx"));
    std::vector<KeyEntry> entries = {{"APPLE", 3}, {"APPLE", 1}, {"APRIL", 2}, {"BANJO", 4}, {"CAT  ", 5}};
    CdxTag& up = index.createTag({"UP", "F", "", false, false, 'C', 5}, entries);
    CdxTag& down = index.createTag({"DOWN", "F", "", true, false, 'C', 5}, entries);

    EXPECT_EQ(*up.seek("APPLE"), (KeyEntry{"APPLE", 1}));
    EXPECT_EQ(*up.seek("APQ"), (KeyEntry{"APRIL", 2}));
    EXPECT_EQ(*up.seek("B"), (KeyEntry{"BANJO", 4}));
    EXPECT_EQ(up.seek("D"), up.end());
    EXPECT_EQ(*up.seek(""), (KeyEntry{"APPLE", 1}));

    // Descending: first entry at or below the probe; equal keys run backwards too.
    EXPECT_EQ(*down.seek("APPLE"), (KeyEntry{"APPLE", 3}));
    EXPECT_EQ(*down.seek("APQ"), (KeyEntry{"APPLE", 3}));
    EXPECT_EQ(*down.seek("AR"), (KeyEntry{"APRIL", 2}));
    EXPECT_EQ(*down.seek("C"), (KeyEntry{"CAT  ", 5}));
    EXPECT_EQ(down.seek("A"), std::next(down.begin(), 2));
    EXPECT_EQ(down.seek("0"), down.end());
    EXPECT_EQ(walk(down), (std::vector<KeyEntry>{{"CAT  ", 5}, {"BANJO", 4}, {"APRIL", 2}, {"APPLE", 3}, {"APPLE", 1}}));
    EXPECT_EQ(std::prev(down.end())->recno, 1u);

    EXPECT_EQ(up.find("APPLE", 3)->recno, 3u);
    EXPECT_EQ(up.find("APPLE", 4), up.end());
}

TEST_F(CdxRoundTrip, UniqueTagsKeepTheFirstRecordOfAKey) {
    auto index = CdxIndex::create(file("unique.cdx"));
    CdxTag& tag = index.createTag({"U", "F", "", false, true, 'C', 3}, {{"BBB", 9}, {"AAA", 7}, {"AAA", 2}, {"BBB", 4}});
    EXPECT_EQ(walk(tag), (std::vector<KeyEntry>{{"AAA", 2}, {"BBB", 4}}));
    tag.insert("AAA", 1);
    EXPECT_EQ(tag.size(), 2u);
    index.flush();
    auto back = CdxIndex::open(file("unique.cdx"));
    EXPECT_TRUE(back.tag("U")->info().unique);
    EXPECT_EQ(walk(*back.tag("U")), (std::vector<KeyEntry>{{"AAA", 2}, {"BBB", 4}}));
}

TEST_F(CdxRoundTrip, TagsReplacedRemovedStampedAndEmpty) {
    const auto path = file("tags.cdx");
    {
        auto index = CdxIndex::create(path);
        EXPECT_TRUE(index.dirty());
        index.flush();   // an index with no tags is a valid file
    }
    {
        auto index = CdxIndex::open(path);
        EXPECT_TRUE(index.tagNames().empty());
        EXPECT_EQ(index.stamp(), 0u);
        index.createTag({"datesent", "DTOS(DATESENT)+TIMESENT", ".not. deleted()", true, false, 'C', 13}, {});
        index.createTag({"SUBJECT", "UPPER(SUBJECT)", "", false, false, 'C', 50}, {{std::string(50, 'S'), 1}});
        index.createTag({"DATEND", "DTOS(DATESENT)+TIMESENT", "", false, false, 'C', 13}, {});
        // Rebuilding DATESENT on another expression keeps its place in the list.
        index.createTag({"DATESENT", "datesent", ".not. deleted()", true, false, 'D', 8}, {{encodeDateKey(2451545), 1}});
        index.removeTag("subject");
        index.removeTag("ABSENT");
        index.setStamp(0xCAFEF00Du);
        index.flush();
    }
    auto index = CdxIndex::open(path);
    EXPECT_EQ(index.tagNames(), (std::vector<std::string>{"DATESENT", "DATEND"}));
    EXPECT_EQ(index.tag("DATESENT")->info().keyExpression, "datesent");
    EXPECT_EQ(index.tag("DATESENT")->info().keyType, 'D');
    EXPECT_TRUE(index.tag("DATEND")->empty());
    EXPECT_EQ(index.tag("SUBJECT"), nullptr);
    EXPECT_EQ(index.stamp(), 0xCAFEF00Du);
}

TEST_F(CdxRoundTrip, InvalidTagsAndKeysAreRefusedNamingTheFile) {
    auto index = CdxIndex::create(file("bad.cdx"));
    auto refused = [&](TagInfo info, std::vector<KeyEntry> entries = {}) {
        try {
            index.createTag(info, std::move(entries));
        } catch (const CdxError& e) {
            EXPECT_NE(std::string(e.what()).find("bad.cdx"), std::string::npos);
            return true;
        }
        return false;
    };
    EXPECT_TRUE(refused({"", "X", "", false, false, 'C', 5}));
    EXPECT_TRUE(refused({"ELEVENCHARS", "X", "", false, false, 'C', 5}));
    EXPECT_TRUE(refused({"1ST", "X", "", false, false, 'C', 5}));
    EXPECT_TRUE(refused({"A-B", "X", "", false, false, 'C', 5}));
    EXPECT_TRUE(refused({"OK", "", "", false, false, 'C', 5}));
    EXPECT_TRUE(refused({"OK", "X", "", false, false, 'C', 0}));
    EXPECT_TRUE(refused({"OK", "X", "", false, false, 'C', 241}));
    EXPECT_TRUE(refused({"OK", "X", "", false, false, 'N', 10}));
    EXPECT_TRUE(refused({"OK", "X", "", false, false, 'Q', 5}));
    EXPECT_TRUE(refused({"OK", std::string(300, 'X'), std::string(300, 'Y'), false, false, 'C', 5}));
    EXPECT_TRUE(refused({"OK", "X", "", false, false, 'C', 5}, {{"TOO LONG", 1}}));
    EXPECT_TRUE(refused({"OK", "X", "", false, false, 'C', 5}, {{"ABCDE", 0}}));
    EXPECT_TRUE(index.tagNames().empty());

    CdxTag& tag = index.createTag({"OK", "X", "", false, false, 'C', 5}, {});
    EXPECT_THROW(tag.insert("ABC", 1), CdxError);
    EXPECT_NO_THROW(tag.insert("ABCDE", 1));
}

TEST_F(CdxRoundTrip, FlushWritesOnlyWhenChanged) {
    const auto path = file("flush.cdx");
    auto index = CdxIndex::create(path);
    index.createTag({"T", "X", "", false, false, 'C', 2}, {{"AA", 1}});
    index.flush();
    std::filesystem::remove(path);
    index.flush();   // nothing changed: nothing written
    EXPECT_FALSE(std::filesystem::exists(path));
    index.tag("T")->insert("AB", 2);
    index.tag("T")->insert("AB", 2);   // already there
    index.flush();
    EXPECT_EQ(walk(*CdxIndex::open(path).tag("T")), (std::vector<KeyEntry>{{"AA", 1}, {"AB", 2}}));

    auto nowhere = CdxIndex::create(file("missing-dir") / "x.cdx");
    EXPECT_THROW(nowhere.flush(), CdxError);
    EXPECT_TRUE(nowhere.dirty());
}

// Other writers leave out our marker, so key types (which decide the pad byte of dropped
// trailing bytes) come from the caller and there is no stamp.
TEST_F(CdxRoundTrip, FilesWithoutOurMarkerAskForKeyTypes) {
    const auto path = file("foreign.cdx");
    std::vector<KeyEntry> numbers;
    for (uint32_t i = 1; i <= 50; ++i) numbers.push_back({encodeNumericKey(double(i % 7)), i});
    {
        auto index = CdxIndex::create(path);
        index.createTag({"PAGES", "PAGES", "", false, false, 'N', 8}, numbers);
        index.createTag({"NAME", "UPPER(NAME)", "", false, false, 'C', 6}, {{"AB    ", 1}, {"ABC   ", 2}});
        index.setStamp(9);
        index.flush();
    }
    auto bytes = readBytes(path);
    for (size_t header : {size_t(0), size_t(1024)})   // the directory's and the first tag's
        std::fill(bytes.begin() + long(header + 0x100), bytes.begin() + long(header + 0x108), 0);
    const size_t nameHeader = bytes.size() - 512 - 512 - 1024;   // NAME's header, its leaf, the directory's leaf
    std::fill(bytes.begin() + long(nameHeader + 0x100), bytes.begin() + long(nameHeader + 0x108), 0);
    writeBytes(path, bytes);

    std::vector<std::string> asked;
    auto index = CdxIndex::open(path, [&](const std::string& tag, const std::string& expression) {
        asked.push_back(tag + "=" + expression);
        return tag == "PAGES" ? 'N' : 'C';
    });
    EXPECT_EQ(asked, (std::vector<std::string>{"PAGES=PAGES", "NAME=UPPER(NAME)"}));
    EXPECT_EQ(index.stamp(), 0u);
    EXPECT_EQ(walk(*index.tag("PAGES")), expectedOrder(numbers, false));
    EXPECT_EQ(walk(*index.tag("NAME")), (std::vector<KeyEntry>{{"AB    ", 1}, {"ABC   ", 2}}));

    EXPECT_THROW(CdxIndex::open(path, [](const std::string&, const std::string&) { return 'D'; }), CdxError);
}

}  // namespace
}  // namespace faxlog::cdx::testing
