// Phone book entries to and from CSV files as spreadsheets write them: fields quoted the
// usual way (a quote inside a quoted field is doubled; quoted fields may hold separators
// and line breaks), UTF-8 with or without a byte-order mark, comma or semicolon as the
// separator, an optional heading row. Reading is all or nothing: any bad row makes the
// whole file refused, with every bad row named by the line it starts on.
#pragma once

#include "workflow/phonebook/phone_entry.h"

#include <string>
#include <string_view>
#include <vector>

namespace phonebook {

struct CsvRowProblem {
    int line;           // 1-based line of the file on which the row starts
    std::string reason; // in words for the user
};

struct CsvReadResult {
    std::vector<PhoneEntry> entries;     // empty whenever problems is not
    std::vector<CsvRowProblem> problems;
    bool ok() const { return problems.empty(); }
};

// Reads a file's bytes. Blank rows are skipped; a first row of column names ("Name" and
// something naming the fax number) is taken as a heading.
CsvReadResult readPhoneCsv(std::string_view bytes);

// Writes the entries with a heading row, comma-separated, CRLF line ends, UTF-8 with a
// byte-order mark (so spreadsheets take the file as UTF-8); readPhoneCsv reads it back.
std::string writePhoneCsv(const std::vector<PhoneEntry>& entries);

// The problems as one text: "line N: reason" per line, at most `maxLines` of them and a
// count of the rest.
std::string describeProblems(const std::vector<CsvRowProblem>& problems, std::size_t maxLines = 10);

} // namespace phonebook
