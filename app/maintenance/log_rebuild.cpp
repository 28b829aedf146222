#include "log_rebuild.h"

#include "faxlog/dbe_table.h"
#include "faxlog/table_indexes.h"

namespace maintenance {

const char* to_string(RebuildStep step) {
    switch (step) {
    case RebuildStep::PackSent: return "Removing FAX file records marked for deletion";
    case RebuildStep::IndexSent: return "Rebuilding FAX file indexes";
    case RebuildStep::PackReceived: return "Removing Received FAX records marked for deletion";
    case RebuildStep::IndexReceived: return "Rebuilding Received FAX indexes";
    case RebuildStep::PackPhone: return "Removing PHONE file records marked for deletion";
    case RebuildStep::IndexPhone: return "Rebuilding PHONE file indexes";
    case RebuildStep::PackCover: return "Removing COVER file records marked for deletion";
    case RebuildStep::IndexCover: return "Rebuilding COVER file indexes";
    }
    return "";
}

namespace {

struct TablePlan {
    faxlog::LogTableKind kind;
    RebuildStep pack, index;
};

constexpr TablePlan kPlan[] = {
    {faxlog::LogTableKind::Sent, RebuildStep::PackSent, RebuildStep::IndexSent},
    {faxlog::LogTableKind::Received, RebuildStep::PackReceived, RebuildStep::IndexReceived},
    {faxlog::LogTableKind::Phone, RebuildStep::PackPhone, RebuildStep::IndexPhone},
    {faxlog::LogTableKind::Cover, RebuildStep::PackCover, RebuildStep::IndexCover},
};

} // namespace

RebuildResult rebuildLogIndexes(faxlog::DbeEngine& engine, const std::filesystem::path& programDir,
                                const RebuildProgress& progress) {
    RebuildResult result;
    const auto report = [&](RebuildStep step) {
        if (progress)
            progress(step);
    };
    int slot = 0;
    for (const TablePlan& plan : kPlan) {
        const faxlog::LogTableDef& def = faxlog::logTableDef(plan.kind);
        faxlog::TDbeTable table(engine);
        std::string error;
        if (!faxlog::openLogTable(table, plan.kind, programDir, &error)) {
            result.problems.push_back(std::string(def.fileName) + ": " + error);
            // Without the cover table there is nothing after it to do anyway.
            ++slot;
            continue;
        }
        try {
            // The pack need not keep tags in step that are about to be made anew.
            table.closeIndexes();
            std::error_code ec;
            std::filesystem::remove(faxlog::TableIndexes::indexPathFor(table.path()), ec);
            report(plan.pack);
            try {
                table.pack();
            } catch (const std::exception&) {
                try {
                    table.pack();
                } catch (const std::exception& e) {
                    result.problems.push_back(std::string(def.fileName) + ": " + e.what());
                }
            }
            report(plan.index);
            for (const faxlog::TagDef& tag : def.rebuildTags)
                table.indexTag(tag.name, tag.key, tag.descending, tag.condition);
            table.setOrder(table.tagArea(def.rebuildTags.front().name));
            table.query("");
            result.kept[slot] = table.recCount();
            table.commit();
        } catch (const std::exception& e) {
            result.problems.push_back(std::string(def.fileName) + ": " + e.what());
        }
        table.close();
        ++slot;
    }
    return result;
}

} // namespace maintenance
