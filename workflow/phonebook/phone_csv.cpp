#include "workflow/phonebook/phone_csv.h"

#include <algorithm>
#include <cctype>
#include <utility>

namespace phonebook {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";

struct RawRow {
    int line = 0;
    std::vector<std::string> fields;
    std::string error; // set when the row itself cannot be split
};

bool validUtf8(std::string_view s) {
    for (std::size_t i = 0; i < s.size();) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t n = 0;
        char32_t cp = 0;
        if (b < 0x80) {
            ++i;
            continue;
        }
        if ((b & 0xE0) == 0xC0) {
            n = 2;
            cp = b & 0x1F;
        } else if ((b & 0xF0) == 0xE0) {
            n = 3;
            cp = b & 0x0F;
        } else if ((b & 0xF8) == 0xF0) {
            n = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + n > s.size())
            return false;
        for (std::size_t k = 1; k < n; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        // Overlong forms, surrogates and values beyond Unicode are not text.
        static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < kMinimum[n] || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF)
            return false;
        i += n;
    }
    return true;
}

// The separator of the first row: a semicolon when it has more of them than commas
// outside quotes, else a comma.
char detectSeparator(std::string_view text) {
    int commas = 0, semicolons = 0;
    bool quoted = false;
    for (const char c : text) {
        if (c == '"')
            quoted = !quoted;
        else if (!quoted && (c == '\n' || c == '\r'))
            break;
        else if (!quoted && c == ',')
            ++commas;
        else if (!quoted && c == ';')
            ++semicolons;
    }
    return semicolons > commas ? ';' : ',';
}

// Splits the text into rows of fields. A row that cannot be read (a stray quote, an
// unterminated quoted field) carries an error; reading goes on at its next line.
std::vector<RawRow> splitRows(std::string_view text, char sep) {
    std::vector<RawRow> rows;
    std::size_t i = 0;
    int line = 1;
    while (i < text.size()) {
        RawRow row;
        row.line = line;
        std::string field;
        bool inQuotes = false, wasQuoted = false, rowDone = false;
        while (i < text.size() && !rowDone) {
            const char c = text[i];
            if (inQuotes) {
                if (c == '"') {
                    if (i + 1 < text.size() && text[i + 1] == '"') {
                        field += '"';
                        i += 2;
                    } else {
                        inQuotes = false;
                        ++i;
                    }
                } else {
                    if (c == '\n')
                        ++line;
                    // A CRLF inside a quoted field is one line break.
                    if (!(c == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
                        field += c;
                    ++i;
                }
                continue;
            }
            if (c == sep) {
                row.fields.push_back(std::move(field));
                field.clear();
                wasQuoted = false;
                ++i;
            } else if (c == '\r' || c == '\n') {
                i += (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ? 2 : 1;
                ++line;
                rowDone = true;
            } else if (c == '"') {
                const bool onlyBlanksBefore = field.find_first_not_of(" \t") == std::string::npos;
                if (wasQuoted || !onlyBlanksBefore) {
                    if (row.error.empty())
                        row.error = "a quote inside a field that is not quoted as a whole";
                    field += c;
                } else {
                    field.clear();
                    inQuotes = wasQuoted = true;
                }
                ++i;
            } else {
                if (wasQuoted && c != ' ' && c != '\t' && row.error.empty())
                    row.error = "text after the closing quote of a field";
                field += c;
                ++i;
            }
        }
        if (inQuotes) {
            row.error = "a quoted field is not closed before the end of the file";
        }
        row.fields.push_back(std::move(field));
        rows.push_back(std::move(row));
    }
    return rows;
}

std::string lower(std::string_view s) {
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

bool isHeading(const RawRow& row) {
    if (row.fields.size() < 2 || !row.error.empty())
        return false;
    const std::string name = lower(trimBlanks(row.fields[0]));
    const std::string number = lower(trimBlanks(row.fields[1]));
    const bool numberWord = number.find("fax") != std::string::npos ||
                            number.find("number") != std::string::npos ||
                            number.find("phone") != std::string::npos;
    return (name == "name" || name == "recipient") && numberWord;
}

bool blankRow(const RawRow& row) {
    return std::all_of(row.fields.begin(), row.fields.end(),
                       [](const std::string& f) { return trimBlanks(f).empty(); });
}

std::string numberProblem(std::string_view number) {
    if (number.empty())
        return "the fax number is empty";
    if (std::none_of(number.begin(), number.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return "the fax number has no digits";
    return fieldProblem(number, kNumberWidth, "fax number");
}

bool needsQuotes(std::string_view field) {
    return field.find_first_of(",;\"\r\n") != std::string_view::npos ||
           (!field.empty() && (field.front() == ' ' || field.front() == '\t' || field.back() == ' ' ||
                               field.back() == '\t'));
}

void appendField(std::string& out, std::string_view field) {
    if (!needsQuotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

} // namespace

CsvReadResult readPhoneCsv(std::string_view bytes) {
    CsvReadResult result;
    if (bytes.starts_with(kBom))
        bytes.remove_prefix(kBom.size());
    const std::vector<RawRow> rows = splitRows(bytes, detectSeparator(bytes));

    bool first = true;
    for (const RawRow& row : rows) {
        const bool firstRow = std::exchange(first, false);
        if (!row.error.empty()) {
            result.problems.push_back({row.line, row.error});
            continue;
        }
        if (blankRow(row) || (firstRow && isHeading(row)))
            continue;
        bool textOk = true;
        for (const std::string& f : row.fields)
            textOk = textOk && validUtf8(f);
        if (!textOk) {
            result.problems.push_back({row.line, "the row is not UTF-8 text"});
            continue;
        }
        // Spreadsheets write empty cells for every column of a wider range.
        std::size_t used = row.fields.size();
        while (used > 2 && trimBlanks(row.fields[used - 1]).empty())
            --used;
        if (used != 2) {
            result.problems.push_back({row.line, "expected two fields, a name and a fax number, found " +
                                                     std::to_string(used)});
            continue;
        }
        PhoneEntry entry{trimBlanks(row.fields[0]), trimBlanks(row.fields[1])};
        std::string problem = entry.name.empty() ? std::string("the name is empty")
                                                 : fieldProblem(entry.name, kNameWidth, "name");
        if (problem.empty())
            problem = numberProblem(entry.number);
        if (!problem.empty()) {
            result.problems.push_back({row.line, problem});
            continue;
        }
        result.entries.push_back(std::move(entry));
    }
    if (!result.ok())
        result.entries.clear();
    return result;
}

std::string writePhoneCsv(const std::vector<PhoneEntry>& entries) {
    std::string out(kBom);
    out += "Name,Fax number\r\n";
    for (const PhoneEntry& e : entries) {
        appendField(out, e.name);
        out += ',';
        appendField(out, e.number);
        out += "\r\n";
    }
    return out;
}

std::string describeProblems(const std::vector<CsvRowProblem>& problems, std::size_t maxLines) {
    std::string out;
    const std::size_t shown = std::min(problems.size(), maxLines);
    for (std::size_t i = 0; i < shown; ++i)
        out += "line " + std::to_string(problems[i].line) + ": " + problems[i].reason + "\n";
    if (problems.size() > shown)
        out += "and " + std::to_string(problems.size() - shown) + " more\n";
    if (!out.empty())
        out.pop_back();
    return out;
}

} // namespace phonebook
