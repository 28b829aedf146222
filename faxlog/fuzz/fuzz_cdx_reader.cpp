// Compound index files from outside. Whatever the reader accepts must survive a change
// and a write, and read back as the same tags and keys.
#include "faxlog/cdx/cdx_index.h"
#include "fuzz_common.h"

#include <algorithm>
#include <cstdlib>
#include <optional>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxlog;
    const auto path = fuzz::scratchDir() / "FUZZ.CDX";
    fuzz::writeFile(path, std::string_view(reinterpret_cast<const char*>(data), size));
    std::optional<cdx::CdxIndex> index;
    try {
        index.emplace(cdx::CdxIndex::open(path, [](const std::string&, const std::string& key) {
            return key.empty() ? 'C' : "CNDL"[static_cast<unsigned char>(key[0]) % 4];
        }));
    } catch (const cdx::CdxError&) {
        return 0;
    }
    std::vector<std::pair<cdx::TagInfo, std::vector<cdx::KeyEntry>>> before;
    for (const auto& name : index->tagNames()) {
        cdx::CdxTag* tag = index->tag(name);
        if (!tag->empty()) {
            // A change on the way: take the first key out and put it back.
            const cdx::KeyEntry first = *tag->begin();
            tag->erase(first.key, first.recno);
            tag->insert(first.key, first.recno);
            tag->seek(first.key.substr(0, first.key.size() / 2));
        }
        before.push_back({tag->info(), {tag->begin(), tag->end()}});
    }
    index->setStamp(index->stamp() + 1);
    try {
        index->flush();
    } catch (const cdx::CdxError&) {
        return 0; // the disk, not the data
    }
    const auto again = cdx::CdxIndex::open(path, [](const std::string&, const std::string&) { return 'C'; });
    const auto names = again.tagNames();
    if (names.size() != before.size())
        std::abort();
    for (std::size_t i = 0; i < names.size(); ++i) {
        const cdx::CdxTag* tag = again.tag(names[i]);
        const auto& [info, entries] = before[i];
        if (tag->info().name != info.name || tag->info().keyExpression != info.keyExpression ||
            tag->info().forExpression != info.forExpression || tag->info().descending != info.descending ||
            tag->info().keyLength != info.keyLength || tag->info().keyType != info.keyType ||
            !std::equal(tag->begin(), tag->end(), entries.begin(), entries.end()))
            std::abort();
    }
    return 0;
}
