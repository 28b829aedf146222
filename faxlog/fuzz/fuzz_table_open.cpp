// A log table with its memo and index files, all three from outside (a copied, damaged or
// hand-made log): opening as the program does and as a reader does, then reading every
// visible record with its memos and walking each tag. Any damage must end in an error or a
// repair, never in a crash.
//
// Input: DBF bytes, the separator, FPT bytes, the separator, CDX bytes.
#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"
#include "fuzz_common.h"

namespace {

constexpr std::string_view kSeparator = "\n--PARTS--\n";

void readAll(faxlog::TDbeTable& t) {
    const std::size_t rows = std::min<std::size_t>(t.rowCount(), 5000);
    const int fields = t.fieldCount();
    for (std::size_t i = 0; i < rows; ++i) {
        t.go(t.rowRecNo(i));
        for (int f = 1; f <= fields; ++f) {
            const std::string name = t.fieldName(f);
            if (t.fieldType(name) == 'M')
                t.getMemo(name);
            else
                t.getString(name);
        }
    }
    for (int order = 1; !t.tagName(order).empty(); ++order) {
        t.setOrder(order);
        t.goTop();
        for (int n = 0; n < 200 && !t.eof(); ++n)
            t.skip(1);
        t.goBottom();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxlog;
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    const auto dir = fuzz::scratchDir();
    const std::string_view dbf = fuzz::nextPart(rest, kSeparator);
    const std::string_view fpt = fuzz::nextPart(rest, kSeparator);
    const std::string_view cdx = rest;
    for (const char* name : {"PVN.DBF", "PVN.FPT", "PVN.CDX", "PVN.CDX.tmp"})
        std::filesystem::remove(dir / name);
    fuzz::writeFile(dir / "PVN.DBF", dbf);
    fuzz::writeFile(dir / "PVN.FPT", fpt);
    if (!cdx.empty())
        fuzz::writeFile(dir / "PVN.CDX", cdx);

    DbeEngine engine;
    TDbeEnv env(engine);
    env.start();
    env.setDeleted(true);
    try {
        TDbeTable reader(engine);
        if (openLogTableForReading(reader, LogTableKind::Sent, dir))
            readAll(reader);
    } catch (const std::exception&) {
        // Reported errors are fine; only crashes and sanitizer findings count.
    }
    try {
        TDbeTable owner(engine);
        if (openLogTable(owner, LogTableKind::Sent, dir)) {
            readAll(owner);
            owner.close();
        }
    } catch (const std::exception&) {
    }
    return 0;
}
