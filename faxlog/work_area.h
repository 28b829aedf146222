// One open table in the engine: the DBF file, its memo file and index tags, the current
// record with its edit buffer, the active order, query, scope and the visible rows.
//
// Changes to the current record collect in a buffer and reach the file (and the tags) in
// one write when the record is left, committed or the table closed. Memo texts go to the
// memo file at once; only the pointer waits in the buffer.
#pragma once

#include "faxlog/dbf_file.h"
#include "faxlog/fpt_file.h"
#include "faxlog/table_indexes.h"
#include "faxlog/xbase_expression.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace faxlog {

// Engine-wide switches every work area reads.
struct EngineSwitches {
    bool skipDeleted = false;
    std::uint64_t generation = 0; // bumped when a switch changes, to refresh views
};

class WorkArea {
public:
    WorkArea(const std::filesystem::path& path, std::string alias, OpenMode mode,
             const EngineSwitches& switches);
    ~WorkArea();
    WorkArea(const WorkArea&) = delete;
    WorkArea& operator=(const WorkArea&) = delete;

    const std::string& alias() const { return alias_; }
    const DbfFile& dbf() const { return dbf_; }
    const Schema& schema() const { return dbf_.schema(); }
    TableIndexes& indexes() { return indexes_; }

    // --- navigation (honours order, query, scope and the deleted switch) ---
    void goTop();
    void goBottom();
    void skip(long n);
    bool go(std::uint32_t recno); // any record, visible or not; false when out of range
    // Re-reads the current record; when it is no longer visible, moves to the next visible
    // one, else the previous one, else the end.
    void refresh();
    bool bof() const { return bof_; }
    bool eof() const { return eof_; }
    std::uint32_t recno() const { return recno_; }
    std::uint32_t recordCount() const;

    // --- order, query, scope ---
    int order() const { return order_; }
    void setOrder(int order); // 0 natural; throws when out of range
    int createTag(const TagDef& def);
    void closeIndexes();      // saves and drops the tags; natural order
    void openIndexes();       // re-reads the index file beside the table
    bool seek(std::string_view key);
    void setScope(std::optional<std::string> top, std::optional<std::string> bottom);
    void setQuery(std::string_view expression); // empty clears; throws ExpressionError
    const std::string& queryText() const { return queryText_; }
    std::size_t visibleCount();
    std::uint32_t visibleRecno(std::size_t position);
    std::optional<std::size_t> positionOf(std::uint32_t recno);

    // --- the current record ---
    std::string_view currentRecord() const; // buffer, blank at eof
    bool deleted() const;
    void setDeleted(bool deleted);
    void putRecord(std::string_view bytes);
    void replace(int field, std::string_view utf8Text);
    void replaceNumber(int field, std::optional<double> value);
    void replaceLogical(int field, bool value);
    void replaceDate(int field, const XDate& value);
    void replaceMemo(int field, std::string_view bytes);
    std::string memo(int field) const;
    void appendBlank();
    bool lockRecord(std::uint32_t recno);
    void unlockRecord(std::uint32_t recno);
    void unlockAll();

    bool evalLogical(std::string_view expression) const; // throws ExpressionError
    Value evaluate(std::string_view expression) const;

    void commit(); // writes the buffer, saves the index, syncs the files
    void pack();   // exclusive only: drops deleted records, compacts memos, rebuilds tags

private:
    struct View {
        std::vector<std::uint32_t> rows;
        std::vector<std::int32_t> position; // by recno, -1 when not visible
        std::uint64_t generation = ~0ull;
        bool valid = false;
    };

    void flushBuffer();
    void edit(); // makes the current record's buffer writable
    const View& view();
    void invalidate() { view_.valid = false; }
    bool visible(std::uint32_t recno, std::string_view record) const;
    bool inScope(std::string_view key) const;
    void positionAtEof();
    std::optional<std::uint32_t> nextVisible(std::uint32_t from, int step) const;
    void skipNatural(long n);
    void requireWritable() const;
    void reopenMemo();
    std::string keyFor(std::uint32_t recno, std::string_view record) const;

    const EngineSwitches& switches_;
    DbfFile dbf_;
    std::optional<FptFile> fpt_;
    TableIndexes indexes_;
    std::string alias_;
    int order_ = 0;
    Expression query_;
    std::string queryText_;
    std::optional<std::string> scopeTop_, scopeBottom_;
    std::uint32_t recno_ = 1;
    bool bof_ = false, eof_ = true;
    std::string buffer_;
    bool dirty_ = false;
    bool appending_ = false;
    std::vector<std::uint32_t> locks_;
    View view_;
};

} // namespace faxlog
