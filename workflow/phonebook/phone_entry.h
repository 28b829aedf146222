// One phone book entry as the windows and the CSV files see it, and the rules an entry
// must meet before it goes into the phone table.
#pragma once

#include <string>
#include <string_view>

namespace phonebook {

// Field widths of the phone table, in characters.
inline constexpr int kNameWidth = 35;
inline constexpr int kNumberWidth = 25;

struct PhoneEntry {
    std::string name;   // UTF-8, no trailing blanks
    std::string number; // UTF-8, no trailing blanks
    bool operator==(const PhoneEntry&) const = default;
};

// Characters of `utf8` that the table's one-byte code page cannot hold (they would be
// stored as '?'), each listed once in order of appearance; empty when all fit.
std::string unstorableCharacters(std::string_view utf8);

// Number of characters (code points) in valid UTF-8.
int characterCount(std::string_view utf8);

// Blanks (spaces and tabs) removed at both ends.
std::string trimBlanks(std::string_view s);

// Why a name or number cannot be stored as it is, in words for the user; empty when it
// can. `what` names the field in the message ("name", "fax number").
std::string fieldProblem(std::string_view utf8, int width, std::string_view what);

} // namespace phonebook
