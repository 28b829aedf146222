#include "faxengine/string_resource.h"
#include "faxengine/fax_status.h"

#include <gtest/gtest.h>

using namespace faxengine;

TEST(AdStringResource, EmbeddedTablesMatchTheErrorVocabulary) {
    // Every entry of the compiled-in table reads back through the STR0 layout unchanged.
    for (const auto& e : faximage::errorStringTable())
        EXPECT_EQ(errorStrings().GetString(e.id), e.text) << e.id;
    for (const auto& e : faxStatusTable())
        EXPECT_EQ(faxStrings().GetString(e.id, 81), e.text) << e.id;
    EXPECT_EQ(faxStrings().GetString(43, 81), "Finished");
    EXPECT_FALSE(faxStrings().Contains(9));
}

TEST(AdStringResource, LayoutLookupAndCutting) {
    const faximage::StringEntry entries[] = {{3, "abc"}, {10, "h\xC3\xA9llo"}, {4000, "\xF0\x9F\x93\xA0"}};
    auto data = buildStr0(entries);
    // Header and the first entry as laid out on disk.
    ASSERT_GE(data.size(), 8u + 36u);
    EXPECT_EQ(std::string(data.begin(), data.begin() + 4), "STR0");
    EXPECT_EQ(data[4], 3);
    EXPECT_EQ(data[8], 3);          // id
    EXPECT_EQ(data[8 + 4], 8 + 36); // offset of the first text
    EXPECT_EQ(data[8 + 8], 3);      // length in UTF-16 units
    EXPECT_EQ(data[8 + 36], 'a');
    EXPECT_EQ(data[8 + 36 + 1], 0);

    TVelkStringResource r(data);
    EXPECT_EQ(r.GetString(10), "h\xC3\xA9llo");
    EXPECT_EQ(r.GetString(4000), "\xF0\x9F\x93\xA0"); // a surrogate pair survives
    EXPECT_EQ(r.GetString(10, 3), "h");                // never half a character
    EXPECT_EQ(r.GetString(3, 3), "ab");
    EXPECT_EQ(r.GetString(3, 0), "");
    try {
        r.GetString(11);
        FAIL();
    } catch (const EAdStringResourceError& e) {
        EXPECT_EQ(e.Number(), 1);
        EXPECT_STREQ(e.what(), "String not found: 11");
    }
}

TEST(AdStringResource, MalformedDataIsRefusedNotRead) {
    const faximage::StringEntry entries[] = {{1, "one"}, {2, "two"}};
    auto good = buildStr0(entries);
    auto refused = [](std::vector<std::uint8_t> d) {
        try {
            TVelkStringResource r(d);
        } catch (const EAdStringResourceError& e) {
            return e.Number() == 5;
        }
        return false;
    };
    auto badMagic = good;
    badMagic[3] = '1';
    EXPECT_TRUE(refused(badMagic));
    auto hugeCount = good;
    hugeCount[7] = 0x7F;
    EXPECT_TRUE(refused(hugeCount));
    auto textPastEnd = good;
    textPastEnd[8 + 12 + 8] = 0xFF; // second entry's length
    EXPECT_TRUE(refused(textPastEnd));
    auto unsorted = good;
    unsorted[8] = 9; // first id above the second
    EXPECT_TRUE(refused(unsorted));
    EXPECT_TRUE(refused({'S', 'T', 'R'}));
    EXPECT_FALSE(refused(good));
}
