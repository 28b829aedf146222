// Damaged files must give a CdxError naming the file: never a crash, a hang or garbage.
#include "cdx_test_support.h"

#include <random>

namespace faxlog::cdx::testing {
namespace {

void putLe32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}
uint32_t getLe32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

class CdxCorruption : public ScratchDir {
protected:
    // One small tag (header at 1024, its single leaf at 2048, the directory's leaf at
    // 2560) is enough to aim at every field.
    std::vector<uint8_t> smallFile() {
        auto index = CdxIndex::create(file("small.cdx"));
        index.createTag({"NAME", "UPPER(NAME)", "", false, false, 'C', 10},
                        {{"ALPHA     ", 1}, {"ALPHABET  ", 2}, {"BETA      ", 3}});
        index.flush();
        return readBytes(file("small.cdx"));
    }

    std::vector<uint8_t> multiLevelFile() {
        auto index = CdxIndex::create(file("big.cdx"));
        std::vector<KeyEntry> a, b;
        for (uint32_t i = 1; i <= 300; ++i) {
            a.push_back({encodeCharacterKey("REC" + std::to_string(i % 100), 24), i});
            b.push_back({encodeNumericKey(double(i % 17)), i});
        }
        index.createTag({"A", "A", ".not. deleted()", false, false, 'C', 24}, a);
        index.createTag({"B", "B", "", true, false, 'N', 8}, b);
        index.setStamp(5);
        index.flush();
        return readBytes(file("big.cdx"));
    }

    // Opens `bytes` as a file; a result is either a clean index or a CdxError naming it.
    bool opens(const std::vector<uint8_t>& bytes) {
        const auto path = file("victim.cdx");
        writeBytes(path, bytes);
        try {
            auto index = CdxIndex::open(path);
            size_t total = 0;
            for (const auto& name : index.tagNames()) total += walk(*index.tag(name)).size();
            (void)total;
            return true;
        } catch (const CdxError& e) {
            EXPECT_NE(std::string(e.what()).find(path.string()), std::string::npos) << e.what();
            return false;
        }
    }
};

TEST_F(CdxCorruption, TruncatedFilesAreRefused) {
    const auto good = multiLevelFile();
    ASSERT_TRUE(opens(good));
    for (size_t size : {size_t(0), size_t(1), size_t(511), size_t(1023), good.size() - 1}) {
        EXPECT_FALSE(opens(std::vector<uint8_t>(good.begin(), good.begin() + long(size)))) << size;
    }
    for (size_t size = 512; size < good.size(); size += 512)
        EXPECT_FALSE(opens(std::vector<uint8_t>(good.begin(), good.begin() + long(size)))) << size;
    EXPECT_THROW(CdxIndex::open(file("does-not-exist.cdx")), CdxError);
}

TEST_F(CdxCorruption, BadPointersCountsAndLayoutsAreRefused) {
    const auto good = smallFile();
    ASSERT_TRUE(opens(good));
    auto damaged = [&](auto change) {
        auto bytes = good;
        change(bytes);
        return opens(bytes);
    };
    // Page pointers outside the file, off a page boundary, or onto pages already used.
    EXPECT_FALSE(damaged([](auto& b) { putLe32(b, 0, 0x7FFFFE00); }));           // directory root
    EXPECT_FALSE(damaged([](auto& b) { putLe32(b, 1024, uint32_t(b.size())); })); // tag root past the end
    EXPECT_FALSE(damaged([](auto& b) { putLe32(b, 1024, 2049); }));              // not on a page
    EXPECT_FALSE(damaged([](auto& b) { putLe32(b, 1024, 1536); }));              // into its own header
    EXPECT_FALSE(damaged([](auto& b) { putLe32(b, 1024, 2560); }));              // the directory's leaf
    // Directory entry pointing at a header outside the file: its record number field.
    EXPECT_FALSE(damaged([](auto& b) { b[2560 + 24] = 0xFF; b[2560 + 25] = 0xFF; }));
    // Leaf fields: key count, bit widths, masks, counts that overrun the page.
    EXPECT_FALSE(damaged([](auto& b) { b[2048 + 2] = 0xFF; b[2048 + 3] = 0x7F; }));
    EXPECT_FALSE(damaged([](auto& b) { b[2048 + 20] = 0; }));
    EXPECT_FALSE(damaged([](auto& b) { b[2048 + 23] = 0; }));
    EXPECT_FALSE(damaged([](auto& b) { b[2048 + 18] = 0x0E; }));
    EXPECT_FALSE(damaged([](auto& b) { b[2048 + 24 + 2] = 0xFF; }));   // first key's dup/trail counts
    EXPECT_FALSE(damaged([](auto& b) { b[2048] = 0x10; }));            // unknown node attributes
    // A leaf whose sibling points at itself.
    EXPECT_FALSE(damaged([](auto& b) { putLe32(b, 2048 + 8, 2048); }));
    // Header fields: key length, format, order flag.
    EXPECT_FALSE(damaged([](auto& b) { b[1024 + 12] = 0; b[1024 + 13] = 0; }));
    EXPECT_FALSE(damaged([](auto& b) { b[1024 + 12] = 0xF1; }));
    EXPECT_FALSE(damaged([](auto& b) { b[1024 + 14] = 0; }));
    EXPECT_FALSE(damaged([](auto& b) { b[1024 + 502] = 7; }));
    EXPECT_FALSE(damaged([](auto& b) { b[1024 + 512] = 0; }));         // no key expression
    EXPECT_FALSE(damaged([](auto& b) { b[1024 + 0x104] = 'N'; }));     // numeric type on 10-byte keys
    // Keys out of order: swap the stored tails of ALPHA.../BETA... is easiest as a record 0.
    EXPECT_FALSE(damaged([](auto& b) { b[2048 + 24] = 0; }));
}

TEST_F(CdxCorruption, InteriorLoopsAndMixedDepthsAreRefused) {
    const auto good = multiLevelFile();
    ASSERT_TRUE(opens(good));
    const uint32_t root = getLe32(good, 1024);
    ASSERT_EQ(good[root] & 2, 0) << "tag A should have an interior root";
    auto damaged = [&](auto change) {
        auto bytes = good;
        change(bytes);
        return opens(bytes);
    };
    // First child pointer (big-endian, after the 24-byte key and record number) aimed at
    // the root itself, at a sibling leaf already reached, and at nothing.
    const size_t child = root + 12 + 24 + 4;
    auto setChild = [&](std::vector<uint8_t>& b, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[child + size_t(i)] = uint8_t(v >> (8 * (3 - i)));
    };
    EXPECT_FALSE(damaged([&](auto& b) { setChild(b, root); }));
    EXPECT_FALSE(damaged([&](auto& b) { setChild(b, 2048 + 512); }));
    EXPECT_FALSE(damaged([&](auto& b) { setChild(b, 0xFFFFFE00u); }));
    EXPECT_FALSE(damaged([&](auto& b) { b[root + 2] = 0; b[root + 3] = 0; }));   // no keys
    EXPECT_FALSE(damaged([&](auto& b) { b[root + 2] = 200; }));                  // too many keys
}

// Random damage: every outcome must be a clean open or a CdxError, and a clean open must
// write back a file that opens again.
TEST_F(CdxCorruption, RandomByteDamageNeverCrashes) {
    const auto good = multiLevelFile();
    std::mt19937 rng(1234);
    int refused = 0, accepted = 0;
    for (int round = 0; round < 2000; ++round) {
        auto bytes = good;
        const int flips = 1 + int(rng() % 6);
        for (int f = 0; f < flips; ++f) {
            const size_t at = round % 2 ? rng() % bytes.size() : (rng() % 4 == 0 ? rng() % 1024 : 2048 + rng() % (bytes.size() - 2048));
            bytes[at] = uint8_t(rng());
        }
        const auto path = file("victim.cdx");
        writeBytes(path, bytes);
        try {
            auto index = CdxIndex::open(path);
            for (const auto& name : index.tagNames()) walk(*index.tag(name));
            if (accepted++ % 50 == 0) {   // flushing syncs to disk: only now and then
                index.setStamp(index.stamp() + 1);
                index.flush();
                EXPECT_NO_THROW(CdxIndex::open(path));
            }
        } catch (const CdxError&) {
            ++refused;
        }
    }
    EXPECT_GT(refused, 0);
    EXPECT_GT(accepted, 0);
    // Pure garbage.
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> bytes(512 * (1 + rng() % 12));
        for (auto& b : bytes) b = uint8_t(rng());
        opens(bytes);
    }
}

}  // namespace
}  // namespace faxlog::cdx::testing
