#include "faxlog/work_area.h"

#include "faxlog/codepage.h"
#include "faxlog/dbf_record.h"
#include "faxlog/table_error.h"
#include "faxlog/table_pack.h"

#include <algorithm>
#include <cstdlib>

namespace faxlog {
namespace {

DbfFile openTable(const std::filesystem::path& path, OpenMode mode) {
    if (mode != OpenMode::Exclusive)
        return DbfFile::open(path, mode);
    std::optional<DbfFile> f(DbfFile::open(path, mode));
    // Only an exclusive opener may finish someone's interrupted pack.
    if (recoverInterruptedPack(path)) {
        f.reset();
        f.emplace(DbfFile::open(path, mode));
    }
    return std::move(*f);
}

} // namespace

WorkArea::WorkArea(const std::filesystem::path& path, std::string alias, OpenMode mode,
                   const EngineSwitches& switches)
    : switches_(switches), dbf_(openTable(path, mode)), alias_(std::move(alias)) {
    reopenMemo();
    indexes_.open(dbf_);
    buffer_ = blankRecord(schema());
    if (dbf_.recordCount() > 0) {
        recno_ = 1;
        buffer_ = std::string(dbf_.record(1));
        eof_ = false;
    } else {
        positionAtEof();
    }
}

WorkArea::~WorkArea() {
    try {
        flushBuffer();
        indexes_.close(dbf_);
    } catch (...) {
        // Closing must not throw; the index stamp makes the next open rebuild if needed.
    }
    unlockAll();
}

void WorkArea::reopenMemo() {
    fpt_.reset();
    if (!schema().hasMemo())
        return;
    const auto mp = memoPathFor(dbf_.path());
    if (!std::filesystem::exists(mp))
        throw TableError(mp, "the table has memo fields but its memo file is missing");
    fpt_.emplace(FptFile::open(mp, dbf_.readOnly(), dbf_.mode() == OpenMode::Shared));
}

void WorkArea::requireWritable() const {
    if (dbf_.readOnly())
        throw TableError(dbf_.path(), "opened read-only");
}

std::uint32_t WorkArea::recordCount() const { return dbf_.recordCount() + (appending_ ? 1 : 0); }

void WorkArea::positionAtEof() {
    recno_ = dbf_.recordCount() + 1;
    eof_ = true;
    buffer_ = blankRecord(schema());
}

// ---------------------------------------------------------------- buffer

void WorkArea::flushBuffer() {
    if (!dirty_)
        return;
    indexes_.beginChange(dbf_);
    if (appending_) {
        const std::uint32_t r = dbf_.appendRecord(buffer_);
        appending_ = false;
        recno_ = r;
        indexes_.recordChanged(dbf_, r, {}, buffer_);
    } else {
        const std::string old(dbf_.record(recno_));
        dbf_.writeRecord(recno_, buffer_);
        indexes_.recordChanged(dbf_, recno_, old, buffer_);
    }
    dirty_ = false;
    invalidate();
}

void WorkArea::edit() {
    requireWritable();
    if (eof_ && !appending_)
        throw TableError(dbf_.path(), "no current record to change (end of table)");
}

std::string_view WorkArea::currentRecord() const { return buffer_; }

bool WorkArea::deleted() const { return !buffer_.empty() && buffer_[0] == kDeletedMark; }

void WorkArea::setDeleted(bool del) {
    edit();
    buffer_[0] = del ? kDeletedMark : ' ';
    dirty_ = true;
    flushBuffer();
}

void WorkArea::putRecord(std::string_view bytes) {
    edit();
    if (bytes.size() != buffer_.size())
        throw TableError(dbf_.path(), "record of " + std::to_string(bytes.size()) + " bytes, expected " +
                                          std::to_string(buffer_.size()));
    buffer_.assign(bytes);
    dirty_ = true;
}

void WorkArea::replace(int field, std::string_view text) {
    const FieldDef& f = schema()[static_cast<std::size_t>(field)];
    switch (f.type) {
    case FieldType::Character:
        edit();
        writeCharacter(buffer_, f, utf8ToCp1252(text));
        dirty_ = true;
        return;
    case FieldType::Numeric:
    case FieldType::Float: {
        const std::string t(text);
        char* end = nullptr;
        const double v = std::strtod(t.c_str(), &end);
        if (t.find_first_not_of(' ') == std::string::npos)
            return replaceNumber(field, std::nullopt);
        if (end == t.c_str() || std::string_view(end).find_first_not_of(' ') != std::string_view::npos)
            throw TableError(dbf_.path(), f.name + ": '" + t + "' is not a number");
        return replaceNumber(field, v);
    }
    case FieldType::Logical: {
        const char c = text.empty() ? 'F' : text[0];
        return replaceLogical(field, c == 'T' || c == 't' || c == 'Y' || c == 'y' || c == '1');
    }
    case FieldType::Date: {
        if (text.find_first_not_of(' ') == std::string_view::npos)
            return replaceDate(field, XDate{});
        XDate d = XDate::fromDtos(text);
        if (d.empty())
            d = XDate::fromMdy(text);
        if (d.empty())
            throw TableError(dbf_.path(), f.name + ": '" + std::string(text) + "' is not a date");
        return replaceDate(field, d);
    }
    case FieldType::Memo: return replaceMemo(field, text);
    }
}

void WorkArea::replaceNumber(int field, std::optional<double> value) {
    edit();
    try {
        writeNumber(buffer_, schema()[static_cast<std::size_t>(field)], value);
    } catch (const std::out_of_range& e) {
        throw TableError(dbf_.path(), e.what());
    }
    dirty_ = true;
}

void WorkArea::replaceLogical(int field, bool value) {
    edit();
    writeLogical(buffer_, schema()[static_cast<std::size_t>(field)], value);
    dirty_ = true;
}

void WorkArea::replaceDate(int field, const XDate& value) {
    edit();
    writeDate(buffer_, schema()[static_cast<std::size_t>(field)], value);
    dirty_ = true;
}

void WorkArea::replaceMemo(int field, std::string_view bytes) {
    edit();
    const FieldDef& f = schema()[static_cast<std::size_t>(field)];
    if (f.type != FieldType::Memo || !fpt_)
        throw TableError(dbf_.path(), f.name + " is not a memo field");
    // The text is in the memo file before the record points at it.
    writeMemoBlock(buffer_, f, fpt_->append(bytes));
    dirty_ = true;
}

std::string WorkArea::memo(int field) const {
    const FieldDef& f = schema()[static_cast<std::size_t>(field)];
    if (f.type != FieldType::Memo || !fpt_)
        throw TableError(dbf_.path(), f.name + " is not a memo field");
    const std::uint32_t block = readMemoBlock(buffer_, f);
    return block ? fpt_->read(block) : std::string();
}

void WorkArea::appendBlank() {
    requireWritable();
    flushBuffer();
    buffer_ = blankRecord(schema());
    appending_ = true;
    dirty_ = true;
    recno_ = dbf_.recordCount() + 1;
    eof_ = bof_ = false;
}

bool WorkArea::lockRecord(std::uint32_t recno) {
    if (dbf_.mode() != OpenMode::Shared)
        return true;
    if (!dbf_.lockRecord(recno))
        return false;
    locks_.push_back(recno);
    return true;
}

void WorkArea::unlockRecord(std::uint32_t recno) {
    const auto it = std::find(locks_.begin(), locks_.end(), recno);
    if (it == locks_.end())
        return;
    dbf_.unlockRecord(recno);
    locks_.erase(it);
}

void WorkArea::unlockAll() {
    for (auto r : locks_)
        dbf_.unlockRecord(r);
    locks_.clear();
}

void WorkArea::commit() {
    flushBuffer();
    if (dbf_.readOnly())
        return;
    indexes_.save(dbf_);
    dbf_.sync();
    if (fpt_)
        fpt_->sync();
}

// ---------------------------------------------------------------- view

std::string WorkArea::keyFor(std::uint32_t recno, std::string_view record) const {
    return indexes_.keyOf(dbf_, static_cast<std::size_t>(order_ - 1), recno, record);
}

bool WorkArea::visible(std::uint32_t recno, std::string_view record) const {
    if (switches_.skipDeleted && record[0] == kDeletedMark)
        return false;
    if (!query_.valid())
        return true;
    if (query_.isNotDeleted())
        return record[0] != kDeletedMark;
    return query_.test(schema(), {record, recno});
}

bool WorkArea::inScope(std::string_view key) const {
    if (order_ == 0)
        return true;
    const cdx::KeyOrder ord{indexes_[static_cast<std::size_t>(order_ - 1)].cdx->info().descending};
    if (scopeTop_ && ord.compareKeys(key.substr(0, scopeTop_->size()), *scopeTop_) < 0)
        return false;
    if (scopeBottom_ && ord.compareKeys(key.substr(0, scopeBottom_->size()), *scopeBottom_) > 0)
        return false;
    return true;
}

const WorkArea::View& WorkArea::view() {
    if (view_.valid && view_.generation == switches_.generation)
        return view_;
    const std::uint32_t n = dbf_.recordCount();
    view_.rows.clear();
    view_.position.assign(n + 1, -1);
    const auto add = [this](std::uint32_t r) {
        view_.position[r] = static_cast<std::int32_t>(view_.rows.size());
        view_.rows.push_back(r);
    };
    if (order_ == 0) {
        for (std::uint32_t r = 1; r <= n; ++r)
            if (visible(r, dbf_.record(r)))
                add(r);
    } else {
        const auto& t = indexes_[static_cast<std::size_t>(order_ - 1)];
        // A tag that holds live records only needs no look at them when the view asks for
        // nothing more than that: the first screen of a big log reads 30 records, not all.
        const bool liveTag = t.condition.valid() && t.condition.isNotDeleted();
        const bool trustTag = liveTag && (!query_.valid() || query_.isNotDeleted());
        const bool scoped = scopeTop_ || scopeBottom_;
        for (const auto& e : *t.cdx) {
            if (e.recno < 1 || e.recno > n || view_.position[e.recno] >= 0)
                continue;
            if (scoped && !inScope(e.key))
                continue;
            if (trustTag || visible(e.recno, dbf_.record(e.recno)))
                add(e.recno);
        }
    }
    view_.generation = switches_.generation;
    view_.valid = true;
    return view_;
}

std::size_t WorkArea::visibleCount() {
    flushBuffer();
    return view().rows.size();
}

std::uint32_t WorkArea::visibleRecno(std::size_t position) {
    flushBuffer();
    const View& v = view();
    if (position >= v.rows.size())
        throw TableError(dbf_.path(), "row " + std::to_string(position) + " is past the last visible row");
    return v.rows[position];
}

std::optional<std::size_t> WorkArea::positionOf(std::uint32_t recno) {
    flushBuffer();
    const View& v = view();
    if (recno < 1 || recno >= v.position.size() || v.position[recno] < 0)
        return std::nullopt;
    return static_cast<std::size_t>(v.position[recno]);
}

// ---------------------------------------------------------------- navigation

std::optional<std::uint32_t> WorkArea::nextVisible(std::uint32_t from, int step) const {
    for (std::int64_t r = from; r >= 1 && r <= static_cast<std::int64_t>(dbf_.recordCount()); r += step) {
        const auto rec = static_cast<std::uint32_t>(r);
        if (visible(rec, dbf_.record(rec)))
            return rec;
    }
    return std::nullopt;
}

void WorkArea::goTop() {
    flushBuffer();
    if (dbf_.mode() == OpenMode::Shared) {
        dbf_.refresh();
        invalidate();
    }
    bof_ = false;
    std::optional<std::uint32_t> first;
    if (order_ == 0) {
        first = nextVisible(1, 1);
    } else if (const View& v = view(); !v.rows.empty()) {
        first = v.rows.front();
    }
    if (!first) {
        positionAtEof();
        bof_ = true;
        return;
    }
    go(*first);
}

void WorkArea::goBottom() {
    flushBuffer();
    bof_ = false;
    std::optional<std::uint32_t> last;
    if (order_ == 0) {
        last = dbf_.recordCount() ? nextVisible(dbf_.recordCount(), -1) : std::nullopt;
    } else if (const View& v = view(); !v.rows.empty()) {
        last = v.rows.back();
    }
    if (!last) {
        positionAtEof();
        bof_ = true;
        return;
    }
    go(*last);
}

bool WorkArea::go(std::uint32_t recno) {
    flushBuffer();
    if (recno < 1 || recno > dbf_.recordCount()) {
        positionAtEof();
        bof_ = false;
        return false;
    }
    recno_ = recno;
    buffer_ = std::string(dbf_.record(recno));
    eof_ = bof_ = false;
    return true;
}

void WorkArea::refresh() {
    flushBuffer();
    if (eof_)
        return;
    go(recno_);
    if (visible(recno_, buffer_) && (order_ == 0 || view().position[recno_] >= 0))
        return;
    const std::uint32_t from = recno_;
    skip(1);
    if (!eof_)
        return;
    go(from);
    skip(-1);
    if (bof_ && !eof_ && !visible(recno_, buffer_))
        positionAtEof();
}

void WorkArea::skipNatural(long n) {
    const int step = n > 0 ? 1 : -1;
    long left = n > 0 ? n : -n;
    std::uint32_t cur = eof_ ? dbf_.recordCount() + 1 : recno_;
    while (left > 0) {
        const auto next = (step < 0 && cur <= 1) ? std::nullopt : nextVisible(cur + step, step);
        if (!next)
            break;
        cur = *next;
        --left;
    }
    if (left == 0) {
        go(cur);
    } else if (step > 0) {
        positionAtEof();
        bof_ = false;
    } else {
        const auto first = nextVisible(1, 1);
        if (first)
            go(*first);
        else
            positionAtEof();
        bof_ = true;
    }
}

void WorkArea::skip(long n) {
    flushBuffer();
    if (n == 0) {
        if (!eof_)
            go(recno_);
        return;
    }
    if (eof_ && n > 0)
        return;
    if (order_ == 0)
        return skipNatural(n);
    const View& v = view();
    const long size = static_cast<long>(v.rows.size());
    long p;
    if (eof_) {
        p = size + n;
    } else if (v.position[recno_] >= 0) {
        p = v.position[recno_] + n;
    } else {
        // The current record is filtered out: start from where it would stand.
        long insertion = size;
        const cdx::CdxTag& tag = *indexes_[static_cast<std::size_t>(order_ - 1)].cdx;
        const std::string key = keyFor(recno_, buffer_);
        const cdx::KeyOrder ord{tag.info().descending};
        for (auto it = tag.seek(key); it != tag.end(); ++it) {
            if (ord.compareKeys(it->key, key) == 0 && !ord(cdx::KeyEntry{key, recno_}, *it))
                continue;
            if (v.position[it->recno] >= 0) {
                insertion = v.position[it->recno];
                break;
            }
        }
        p = n > 0 ? insertion + n - 1 : insertion + n;
    }
    if (p >= size) {
        positionAtEof();
        bof_ = false;
    } else if (p < 0) {
        if (size == 0)
            positionAtEof();
        else
            go(v.rows.front());
        bof_ = true;
    } else {
        go(v.rows[static_cast<std::size_t>(p)]);
    }
}

// ---------------------------------------------------------------- order, query

void WorkArea::setOrder(int order) {
    flushBuffer();
    if (order < 0 || order > static_cast<int>(indexes_.size()))
        throw TableError(dbf_.path(), "no index order " + std::to_string(order));
    order_ = order;
    scopeTop_.reset();
    scopeBottom_.reset();
    invalidate();
}

int WorkArea::createTag(const TagDef& def) {
    // A read-only opener may still order its view: the tag then lives in memory only.
    flushBuffer();
    const int n = indexes_.createTag(dbf_, def);
    order_ = n;
    scopeTop_.reset();
    scopeBottom_.reset();
    invalidate();
    return n;
}

void WorkArea::closeIndexes() {
    flushBuffer();
    indexes_.close(dbf_);
    order_ = 0;
    invalidate();
}

void WorkArea::openIndexes() {
    flushBuffer();
    indexes_.close(dbf_);
    indexes_.open(dbf_);
    order_ = 0;
    invalidate();
}

namespace {

std::string searchKeyFor(const cdx::TagInfo& info, std::string_view text) {
    switch (info.keyType) {
    case 'D': {
        XDate d = XDate::fromDtos(text);
        if (d.empty())
            d = XDate::fromMdy(text);
        return cdx::encodeDateKey(static_cast<std::int32_t>(d.julianDay()));
    }
    case 'N': return cdx::encodeNumericKey(std::strtod(std::string(text).c_str(), nullptr));
    case 'L': return cdx::encodeLogicalKey(!text.empty() && (text[0] == 'T' || text[0] == 't'));
    default: return utf8ToCp1252(text).substr(0, static_cast<std::size_t>(info.keyLength));
    }
}

} // namespace

bool WorkArea::seek(std::string_view key) {
    flushBuffer();
    if (order_ == 0)
        throw TableError(dbf_.path(), "seek needs an index order");
    const cdx::CdxTag& tag = *indexes_[static_cast<std::size_t>(order_ - 1)].cdx;
    const std::string k = searchKeyFor(tag.info(), key);
    const View& v = view();
    for (auto it = tag.seek(k); it != tag.end(); ++it) {
        if (std::string_view(it->key).substr(0, k.size()) != k)
            break;
        if (it->recno < v.position.size() && v.position[it->recno] >= 0) {
            go(it->recno);
            return true;
        }
    }
    positionAtEof();
    bof_ = false;
    return false;
}

void WorkArea::setScope(std::optional<std::string> top, std::optional<std::string> bottom) {
    flushBuffer();
    if (order_ == 0)
        throw TableError(dbf_.path(), "a scope needs an index order");
    const auto& info = indexes_[static_cast<std::size_t>(order_ - 1)].cdx->info();
    scopeTop_ = top ? std::optional<std::string>(searchKeyFor(info, *top)) : std::nullopt;
    scopeBottom_ = bottom ? std::optional<std::string>(searchKeyFor(info, *bottom)) : std::nullopt;
    invalidate();
}

void WorkArea::setQuery(std::string_view expression) {
    flushBuffer();
    if (expression.find_first_not_of(' ') == std::string_view::npos) {
        query_ = Expression{};
        queryText_.clear();
    } else {
        Expression e = Expression::compile(expression, schema());
        if (e.type() != ValueType::Logical)
            throw ExpressionError(std::string(expression), 0,
                                  std::string("a query must be logical, this one is ") + to_string(e.type()));
        query_ = std::move(e);
        queryText_ = std::string(expression);
    }
    invalidate();
    goTop();
}

bool WorkArea::evalLogical(std::string_view expression) const {
    const Expression e = Expression::compile(expression, schema());
    return e.test(schema(), {buffer_, recno_});
}

Value WorkArea::evaluate(std::string_view expression) const {
    return Expression::compile(expression, schema()).evaluate(schema(), {buffer_, recno_});
}

// ---------------------------------------------------------------- pack

void WorkArea::pack() {
    if (dbf_.mode() != OpenMode::Exclusive)
        throw TableError(dbf_.path(), "pack needs the table opened exclusively");
    flushBuffer();
    dbf_.flushAppends();
    const PackPaths paths = packPathsFor(dbf_.path());
    std::error_code ec;
    std::filesystem::remove(paths.tableTemp, ec);
    std::filesystem::remove(paths.memoTemp, ec);
    bool committing = false;
    try {
        std::optional<FptFile> newMemo;
        if (fpt_) {
            FptFile::create(paths.memoTemp, fpt_->blockSize());
            newMemo.emplace(FptFile::open(paths.memoTemp, false, false));
        }
        std::string records;
        std::uint32_t kept = 0;
        for (std::uint32_t r = 1; r <= dbf_.recordCount(); ++r) {
            std::string rec(dbf_.record(r));
            if (rec[0] == kDeletedMark)
                continue;
            if (newMemo) {
                for (const auto& f : schema().fields()) {
                    if (f.type != FieldType::Memo)
                        continue;
                    const std::uint32_t block = readMemoBlock(rec, f);
                    writeMemoBlock(rec, f, block ? newMemo->append(fpt_->read(block)) : 0);
                }
            }
            records += rec;
            ++kept;
        }
        if (newMemo)
            newMemo->sync();
        dbf_.writeCopy(paths.tableTemp, records, kept);
        // Lock the new table before it takes the old one's name, so no one slips in.
        DbfFile packed = DbfFile::open(paths.tableTemp, OpenMode::Exclusive);
        newMemo.reset();
        committing = true;
        commitPack(paths, fpt_.has_value());
        packed.renamed(paths.table);
        dbf_ = std::move(packed);
    } catch (...) {
        // Once renaming began, the leftovers are what the next open needs to finish it.
        if (!committing) {
            std::filesystem::remove(paths.tableTemp, ec);
            std::filesystem::remove(paths.memoTemp, ec);
        }
        throw;
    }
    reopenMemo();
    indexes_.rebuildAll(dbf_);
    indexes_.save(dbf_);
    invalidate();
    goTop();
}

} // namespace faxlog
