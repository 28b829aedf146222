#include "faxlog/table_indexes.h"

#include "faxlog/table_error.h"

#include <algorithm>
#include <cctype>

namespace faxlog {

std::filesystem::path TableIndexes::indexPathFor(const std::filesystem::path& table) {
    auto p = table;
    const std::string ext = table.extension().string();
    const bool lower = ext.size() > 1 && std::islower(static_cast<unsigned char>(ext[1]));
    p.replace_extension(lower ? ".cdx" : ".CDX");
    return p;
}

char keyTypeOf(const Expression& e) {
    switch (e.type()) {
    case ValueType::Character: return 'C';
    case ValueType::Numeric: return 'N';
    case ValueType::Date: return 'D';
    case ValueType::Logical: return 'L';
    }
    return 'C';
}

int keyLengthOf(const Expression& e) {
    switch (e.type()) {
    case ValueType::Character: return std::clamp(e.width(), 1, 240);
    case ValueType::Numeric:
    case ValueType::Date: return 8;
    case ValueType::Logical: return 1;
    }
    return 1;
}

std::string encodeKey(const Value& v, int keyLength) {
    switch (v.type()) {
    case ValueType::Character: return cdx::encodeCharacterKey(v.str(), keyLength);
    case ValueType::Numeric: return cdx::encodeNumericKey(v.num());
    case ValueType::Date: return cdx::encodeDateKey(static_cast<std::int32_t>(v.date().julianDay()));
    case ValueType::Logical: return cdx::encodeLogicalKey(v.logical());
    }
    return {};
}

bool TableIndexes::fileExists() const { return !path_.empty() && std::filesystem::exists(path_); }

TableIndexes::Tag TableIndexes::compile(const DbfFile& dbf, cdx::CdxTag* t) const {
    Tag tag;
    tag.cdx = t;
    const cdx::TagInfo& info = t->info();
    tag.key = Expression::compile(info.keyExpression, dbf.schema());
    // Keys are written with the type and length the file states; a tag whose statement
    // disagrees with its own expression could never take a key.
    if (info.keyType != keyTypeOf(tag.key))
        throw ExpressionError(info.keyExpression, 0,
                              std::string("tag ") + info.name + " stores '" + info.keyType +
                                  "' keys but its expression gives " + to_string(tag.key.type()));
    if (info.keyType != 'C' && info.keyLength != keyLengthOf(tag.key))
        throw ExpressionError(info.keyExpression, 0,
                              "tag " + info.name + " has keys of " + std::to_string(info.keyLength) +
                                  " bytes, its expression " + std::to_string(keyLengthOf(tag.key)));
    if (!info.forExpression.empty()) {
        tag.condition = Expression::compile(info.forExpression, dbf.schema());
        if (tag.condition.type() != ValueType::Logical)
            throw ExpressionError(info.forExpression, 0, "a FOR condition must be logical");
    }
    return tag;
}

void TableIndexes::open(DbfFile& dbf) {
    path_ = indexPathFor(dbf.path());
    tags_.clear();
    cdx_.reset();
    repairNote_.clear();
    damaged_ = false;
    savedClean_ = true;
    if (!std::filesystem::exists(path_))
        return;
    try {
        const auto resolve = [&dbf](const std::string&, const std::string& key) {
            try {
                return keyTypeOf(Expression::compile(key, dbf.schema()));
            } catch (const ExpressionError&) {
                return 'C';
            }
        };
        cdx_.emplace(cdx::CdxIndex::open(path_, resolve));
        for (const auto& name : cdx_->tagNames())
            tags_.push_back(compile(dbf, cdx_->tag(name)));
        if (!verify(dbf)) {
            // Evaluating the file's keys on every record can fail too (an expression
            // error on some value): that counts as damage like the rest.
            rebuildAll(dbf);
            repairNote_ = path_.string() + ": index did not match the table and was rebuilt";
            savedClean_ = false;
        }
    } catch (const std::exception& e) {
        // The index is derived data: a file we cannot use is dropped, never trusted, and
        // its tag definitions with it; the owner recreates the tags it defines.
        const std::string why = e.what();
        repairNote_ = why.rfind(path_.string(), 0) == 0 ? "index ignored: " + why
                                                         : path_.string() + ": index ignored: " + why;
        damaged_ = true;
        tags_.clear();
        cdx_.reset();
        savedClean_ = true;
    }
}

bool TableIndexes::verify(DbfFile& dbf) const {
    if (cdx_->stamp() != dbf.contentStamp())
        return false;
    // Nothing wrote the table since the index was saved, so the live count saved with it
    // holds, and the tags must have as many keys as their conditions let in.
    dbf.adoptStoredLiveCount();
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        std::size_t expected = 0;
        if (!tags_[i].condition.valid()) {
            expected = dbf.recordCount();
        } else if (tags_[i].condition.isNotDeleted()) {
            expected = dbf.liveCount();
        } else {
            for (std::uint32_t r = 1; r <= dbf.recordCount(); ++r)
                expected += passes(dbf, i, r, dbf.record(r));
        }
        if (expected != tags_[i].cdx->size())
            return false;
    }
    return true;
}

int TableIndexes::find(std::string_view name) const {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const auto& n = tags_[i].cdx->info().name;
        if (n.size() == name.size() &&
            std::equal(n.begin(), n.end(), name.begin(), [](char a, char b) {
                return std::toupper(static_cast<unsigned char>(a)) == std::toupper(static_cast<unsigned char>(b));
            }))
            return static_cast<int>(i) + 1;
    }
    return 0;
}

std::string TableIndexes::keyOf(const DbfFile& dbf, std::size_t i, std::uint32_t recno,
                                std::string_view record) const {
    const Tag& t = tags_[i];
    return encodeKey(t.key.evaluate(dbf.schema(), {record, recno}), t.cdx->info().keyLength);
}

bool TableIndexes::passes(const DbfFile& dbf, std::size_t i, std::uint32_t recno,
                          std::string_view record) const {
    const Tag& t = tags_[i];
    return !t.condition.valid() || t.condition.test(dbf.schema(), {record, recno});
}

std::vector<cdx::KeyEntry> TableIndexes::entriesFor(const DbfFile& dbf, std::size_t i) const {
    std::vector<cdx::KeyEntry> out;
    out.reserve(dbf.recordCount());
    for (std::uint32_t r = 1; r <= dbf.recordCount(); ++r) {
        const auto rec = dbf.record(r);
        if (passes(dbf, i, r, rec))
            out.push_back({keyOf(dbf, i, r, rec), r});
    }
    return out;
}

int TableIndexes::createTag(DbfFile& dbf, const TagDef& def) {
    Expression key = Expression::compile(def.key, dbf.schema());
    if (!def.condition.empty()) {
        auto cond = Expression::compile(def.condition, dbf.schema());
        if (cond.type() != ValueType::Logical)
            throw ExpressionError(def.condition, 0, "a FOR condition must be logical");
    }
    if (path_.empty())
        path_ = indexPathFor(dbf.path());
    if (!cdx_)
        cdx_.emplace(cdx::CdxIndex::create(path_));
    cdx::TagInfo info;
    info.name = def.name;
    for (auto& c : info.name)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    info.keyExpression = def.key;
    info.forExpression = def.condition;
    info.descending = def.descending;
    info.keyType = keyTypeOf(key);
    info.keyLength = keyLengthOf(key);
    // Compile against a placeholder first so entriesFor can use the common path.
    const int existing = find(info.name);
    cdx::CdxTag& created = cdx_->createTag(info, {});
    Tag t = compile(dbf, &created);
    std::size_t slot;
    if (existing) {
        slot = static_cast<std::size_t>(existing - 1);
        tags_[slot] = std::move(t);
    } else {
        tags_.push_back(std::move(t));
        slot = tags_.size() - 1;
    }
    cdx_->createTag(info, entriesFor(dbf, slot));
    // createTag replaced the tag in place; refresh the pointer all the same.
    tags_[slot].cdx = cdx_->tag(info.name);
    savedClean_ = false;
    save(dbf);
    return static_cast<int>(slot) + 1;
}

void TableIndexes::removeAll() {
    tags_.clear();
    cdx_.reset();
    savedClean_ = true;
}

void TableIndexes::recordChanged(const DbfFile& dbf, std::uint32_t recno, std::string_view oldRecord,
                                 std::string_view newRecord) {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const bool wasIn = !oldRecord.empty() && passes(dbf, i, recno, oldRecord);
        const bool isIn = passes(dbf, i, recno, newRecord);
        const std::string oldKey = wasIn ? keyOf(dbf, i, recno, oldRecord) : std::string();
        const std::string newKey = isIn ? keyOf(dbf, i, recno, newRecord) : std::string();
        if (wasIn == isIn && oldKey == newKey)
            continue;
        if (wasIn)
            tags_[i].cdx->erase(oldKey, recno);
        if (isIn)
            tags_[i].cdx->insert(newKey, recno);
    }
}

void TableIndexes::rebuildAll(const DbfFile& dbf) {
    for (std::size_t i = 0; i < tags_.size(); ++i) {
        const cdx::TagInfo info = tags_[i].cdx->info();
        cdx_->createTag(info, entriesFor(dbf, i));
        tags_[i].cdx = cdx_->tag(info.name);
    }
}

void TableIndexes::beginChange(DbfFile& dbf) {
    if (!cdx_ || !savedClean_)
        return;
    dbf.bumpGeneration();
    savedClean_ = false;
}

void TableIndexes::save(DbfFile& dbf) {
    if (!cdx_ || dbf.readOnly())
        return;
    dbf.storeLiveCount();
    cdx_->setStamp(dbf.contentStamp());
    cdx_->flush();
    savedClean_ = true;
}

void TableIndexes::close(DbfFile& dbf) {
    save(dbf);
    removeAll();
}

} // namespace faxlog
