// Reading and writing field values in a raw DBF record (deleted mark at byte 0).
// Character data stays in the table's byte encoding here; callers convert.
#pragma once

#include "faxlog/dbf_schema.h"
#include "faxlog/xbase_date.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace faxlog {

constexpr char kDeletedMark = '*';

inline std::string_view fieldBytes(std::string_view record, const FieldDef& f) {
    return record.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width));
}

std::string_view readCharacter(std::string_view record, const FieldDef& f); // padded
std::optional<double> readNumber(std::string_view record, const FieldDef& f); // blank: none
bool readLogical(std::string_view record, const FieldDef& f);
XDate readDate(std::string_view record, const FieldDef& f);
std::uint32_t readMemoBlock(std::string_view record, const FieldDef& f); // 0: no memo

// Writers throw std::out_of_range when the value does not fit the field.
void writeCharacter(std::string& record, const FieldDef& f, std::string_view text); // pads/cuts
void writeNumber(std::string& record, const FieldDef& f, std::optional<double> value);
void writeLogical(std::string& record, const FieldDef& f, bool value);
void writeDate(std::string& record, const FieldDef& f, const XDate& value);
void writeMemoBlock(std::string& record, const FieldDef& f, std::uint32_t block);

std::string blankRecord(const Schema& schema);

} // namespace faxlog
