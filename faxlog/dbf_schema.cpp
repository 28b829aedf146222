#include "faxlog/dbf_schema.h"

#include <cctype>
#include <stdexcept>

namespace faxlog {

char typeLetter(FieldType t) {
    switch (t) {
    case FieldType::Character: return 'C';
    case FieldType::Logical: return 'L';
    case FieldType::Date: return 'D';
    case FieldType::Numeric: return 'N';
    case FieldType::Float: return 'F';
    case FieldType::Memo: return 'M';
    }
    return '?';
}

const char* to_string(FieldType t) {
    switch (t) {
    case FieldType::Character: return "character";
    case FieldType::Logical: return "logical";
    case FieldType::Date: return "date";
    case FieldType::Numeric: return "numeric";
    case FieldType::Float: return "float";
    case FieldType::Memo: return "memo";
    }
    return "?";
}

std::optional<FieldType> fieldTypeFromLetter(char letter) {
    switch (std::toupper(static_cast<unsigned char>(letter))) {
    case 'C': return FieldType::Character;
    case 'L': return FieldType::Logical;
    case 'D': return FieldType::Date;
    case 'N': return FieldType::Numeric;
    case 'F': return FieldType::Float;
    case 'M': return FieldType::Memo;
    default: return std::nullopt;
    }
}

Schema::Schema(std::vector<FieldDef> fields) : fields_(std::move(fields)) {
    int offset = 1;
    for (auto& f : fields_) {
        if (f.name.empty() || f.name.size() > 10)
            throw std::invalid_argument("field name '" + f.name + "' must have 1 to 10 characters");
        for (auto& c : f.name) {
            const auto u = static_cast<unsigned char>(c);
            if (!std::isalnum(u) && c != '_')
                throw std::invalid_argument("field name '" + f.name + "' has a character other than A-Z, 0-9, _");
            c = static_cast<char>(std::toupper(u));
        }
        if (std::isdigit(static_cast<unsigned char>(f.name[0])))
            throw std::invalid_argument("field name '" + f.name + "' starts with a digit");
        if (indexOf(f.name) != static_cast<int>(&f - fields_.data()))
            throw std::invalid_argument("field name '" + f.name + "' appears twice");
        bool ok = true;
        switch (f.type) {
        case FieldType::Character: ok = f.width >= 1 && f.width <= 254 && f.decimals == 0; break;
        case FieldType::Logical: ok = f.width == 1 && f.decimals == 0; break;
        case FieldType::Date: ok = f.width == 8 && f.decimals == 0; break;
        case FieldType::Numeric:
        case FieldType::Float:
            ok = f.width >= 1 && f.width <= 20 && f.decimals >= 0 &&
                 (f.decimals == 0 || f.decimals <= f.width - 2);
            break;
        case FieldType::Memo: ok = (f.width == 10 || f.width == 4) && f.decimals == 0; break;
        }
        if (!ok)
            throw std::invalid_argument("field " + f.name + ": width " + std::to_string(f.width) +
                                        ", decimals " + std::to_string(f.decimals) +
                                        " do not suit type " + typeLetter(f.type));
        f.offset = offset;
        offset += f.width;
    }
    if (fields_.empty())
        throw std::invalid_argument("a table needs at least one field");
    if (offset > 65535)
        throw std::invalid_argument("record longer than 65535 bytes");
    recordLength_ = offset;
}

bool Schema::hasMemo() const {
    for (const auto& f : fields_)
        if (f.type == FieldType::Memo)
            return true;
    return false;
}

int Schema::indexOf(std::string_view name) const {
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const auto& n = fields_[i].name;
        if (n.size() != name.size())
            continue;
        bool same = true;
        for (std::size_t k = 0; k < n.size() && same; ++k)
            same = std::toupper(static_cast<unsigned char>(n[k])) ==
                   std::toupper(static_cast<unsigned char>(name[k]));
        if (same)
            return static_cast<int>(i);
    }
    return -1;
}

} // namespace faxlog
