// Field layout of a DBF table: names, dBASE type letters, widths and record offsets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace faxlog {

enum class FieldType { Character, Logical, Date, Numeric, Float, Memo };

char typeLetter(FieldType t);
std::optional<FieldType> fieldTypeFromLetter(char letter); // case-insensitive
const char* to_string(FieldType t);

struct FieldDef {
    std::string name; // upper case, at most 10 characters
    FieldType type = FieldType::Character;
    int width = 0;
    int decimals = 0;
    int offset = 0; // byte offset in the record, after the deleted mark
};

class Schema {
public:
    Schema() = default;
    // Checks names, widths and decimals, computes offsets; throws std::invalid_argument.
    explicit Schema(std::vector<FieldDef> fields);

    const std::vector<FieldDef>& fields() const { return fields_; }
    std::size_t size() const { return fields_.size(); }
    const FieldDef& operator[](std::size_t i) const { return fields_[i]; }
    int recordLength() const { return recordLength_; } // deleted mark included
    bool hasMemo() const;
    // Case-insensitive lookup; -1 when absent.
    int indexOf(std::string_view name) const;

private:
    std::vector<FieldDef> fields_;
    int recordLength_ = 1;
};

} // namespace faxlog
