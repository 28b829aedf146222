// CSV import and export of the phone book: quoting, byte-order mark, separators, and
// files with bad rows refused as a whole.
#include "workflow/phonebook/phone_csv.h"

#include <gtest/gtest.h>

namespace phonebook {
namespace {

TEST(PhoneCsv, WhatExportWritesImportReadsBack) {
    const std::vector<PhoneEntry> entries = {
        {"Plain Name", "+1 555 0100"},
        {"Smith, John", "555-0101"},
        {"The \"Quoted\" Firm", "(030) 1234,,5"},
        {"Semi;colon & Co", "0049 30 99"},
        {"Zoë Müller-Lüdenscheidt", "#31*2"},
    };
    const std::string csv = writePhoneCsv(entries);
    EXPECT_TRUE(csv.starts_with("\xEF\xBB\xBFName,Fax number\r\n"));
    EXPECT_NE(csv.find("\"Smith, John\""), std::string::npos);
    EXPECT_NE(csv.find("\"The \"\"Quoted\"\" Firm\""), std::string::npos);
    const CsvReadResult back = readPhoneCsv(csv);
    ASSERT_TRUE(back.ok()) << describeProblems(back.problems);
    EXPECT_EQ(back.entries, entries);
    EXPECT_TRUE(readPhoneCsv(writePhoneCsv({})).entries.empty());
}

TEST(PhoneCsv, ReadsWhatSpreadsheetsWrite) {
    // Semicolons, no BOM, LF line ends, no heading, a quoted field over two lines that
    // fails (a line break in a name) is covered below; here the quoted separators.
    const CsvReadResult semi = readPhoneCsv("Name;Fax\n\"Doe; Jane\";\"0 30, 1\"\nBob;123;;\n\n");
    ASSERT_TRUE(semi.ok()) << describeProblems(semi.problems);
    ASSERT_EQ(semi.entries.size(), 2u);
    EXPECT_EQ(semi.entries[0], (PhoneEntry{"Doe; Jane", "0 30, 1"}));
    EXPECT_EQ(semi.entries[1], (PhoneEntry{"Bob", "123"})); // empty cells of a wider range

    // With a BOM and CRLF, no heading, blanks around unquoted cells trimmed.
    const CsvReadResult bom = readPhoneCsv("\xEF\xBB\xBF Alice , 555 1\r\n\"Bob\",\"2\"\r\n");
    ASSERT_TRUE(bom.ok());
    EXPECT_EQ(bom.entries, (std::vector<PhoneEntry>{{"Alice", "555 1"}, {"Bob", "2"}}));

    // A semicolon file whose names hold commas is still told by its first row.
    const CsvReadResult commaInName = readPhoneCsv("\"Smith, J\";1\n\"Jones, K\";2\n");
    ASSERT_TRUE(commaInName.ok());
    EXPECT_EQ(commaInName.entries[1].name, "Jones, K");
}

TEST(PhoneCsv, ABadRowRefusesTheWholeFileNamingEachLine) {
    const std::string csv = "Name,Fax number\n"            // 1
                            "Good One,555\n"               // 2
                            "Only a name\n"                // 3
                            "\"Two\nLines\",555\n"         // 4-5: a line break in a name
                            "Fine,\"unterminated\n";       // 6
    const CsvReadResult r = readPhoneCsv(csv);
    EXPECT_FALSE(r.ok());
    EXPECT_TRUE(r.entries.empty());
    ASSERT_EQ(r.problems.size(), 3u) << describeProblems(r.problems);
    EXPECT_EQ(r.problems[0].line, 3);
    EXPECT_EQ(r.problems[1].line, 4);
    EXPECT_EQ(r.problems[2].line, 6);
    EXPECT_NE(describeProblems(r.problems).find("line 3: expected two fields"), std::string::npos);

    struct Case {
        std::string csv;
        int line;
        std::string reasonPart;
    };
    const std::vector<Case> cases = {
        {"a,1\nb,no digits\n", 2, "no digits"},
        {"a,1\n,555\n", 2, "name is empty"},
        {"a,\n", 1, "fax number is empty"},
        {std::string(36, 'x') + ",1\n", 1, "longer than 35"},
        {"a," + std::string(26, '1') + "\n", 1, "longer than 25"},
        {"\xC5\x81ukasz,1\n", 1, "cannot store"},        // Ł has no place in the table's code page
        {"ok,1\n\xE9t\xE9,1\n", 2, "not UTF-8"},           // a Windows-1252 file
        {"a,1,extra\n", 1, "found 3"},
        {"a\"b,1\n", 1, "quote inside"},
        {"\"a\"b,1\n", 1, "after the closing quote"},
    };
    for (const Case& c : cases) {
        const CsvReadResult bad = readPhoneCsv(c.csv);
        ASSERT_EQ(bad.problems.size(), 1u) << c.csv;
        EXPECT_EQ(bad.problems[0].line, c.line) << c.csv;
        EXPECT_NE(bad.problems[0].reason.find(c.reasonPart), std::string::npos) << bad.problems[0].reason;
        EXPECT_TRUE(bad.entries.empty());
    }
    // Exactly at the widths is fine, counted in characters, not bytes.
    const std::string name35 = std::string(33, 'a') + "\xC3\xA9\xC3\xA9";
    EXPECT_TRUE(readPhoneCsv(name35 + "," + std::string(25, '9') + "\n").ok());
}

TEST(PhoneCsv, ManyProblemsAreSummarised) {
    std::string csv;
    for (int i = 0; i < 30; ++i)
        csv += "name only\n";
    const CsvReadResult r = readPhoneCsv(csv);
    EXPECT_EQ(r.problems.size(), 30u);
    const std::string text = describeProblems(r.problems);
    EXPECT_NE(text.find("line 10:"), std::string::npos);
    EXPECT_EQ(text.find("line 11:"), std::string::npos);
    EXPECT_NE(text.find("and 20 more"), std::string::npos);
}

} // namespace
} // namespace phonebook
