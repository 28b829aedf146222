// Rebuild indexes without a window: packs the four log tables (records with the deleted
// mark go for good) and creates every index tag of each again, reporting each step.
//
// Crash safety: a pack writes the packed table beside the old one, syncs it and renames
// it over (faxlog/table_pack.h); the next open finishes or drops a pack cut short. An index
// file removed before the pack and not yet rebuilt is made again by the next open with
// the tag opening needs, and the missing rebuild tags make the program ask for a rebuild.
#pragma once

#include "faxlog/dbe_engine.h"
#include "faxlog/log_tables.h"

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace maintenance {

enum class RebuildStep {
    PackSent,
    IndexSent,
    PackReceived,
    IndexReceived,
    PackPhone,
    IndexPhone,
    PackCover,
    IndexCover,
};
const char* to_string(RebuildStep step); // the text the rebuild window shows
inline constexpr int kRebuildStepCount = 8;

struct RebuildResult {
    // What failed and was passed over (a pack failing twice, a table that did not open).
    std::vector<std::string> problems;
    // Records each table kept, in the order sent, received, phone, cover (-1: not reached).
    long kept[4] = {-1, -1, -1, -1};
};

// Called before each step's work with the step; may pump the window's messages.
using RebuildProgress = std::function<void(RebuildStep step)>;

// Opens each table on `engine` (creating the phone and cover tables when missing), packs
// it and makes its tags, then closes it. The sent and received tables must not be open
// elsewhere; the rebuild needs them exclusively.
RebuildResult rebuildLogIndexes(faxlog::DbeEngine& engine, const std::filesystem::path& programDir,
                                const RebuildProgress& progress = {});

} // namespace maintenance
