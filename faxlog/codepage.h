// Text in the tables is stored in Windows-1252, one byte per character, so that field
// widths count characters and other DBF tools read the names as the original program
// wrote them. The engine's callers speak UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace faxlog {

// UTF-8 to Windows-1252; characters without a Windows-1252 form become '?', and invalid
// UTF-8 bytes are taken as Windows-1252 bytes as they are.
std::string utf8ToCp1252(std::string_view utf8);

// Windows-1252 to UTF-8; the five unassigned bytes map to the C1 controls of the same value.
std::string cp1252ToUtf8(std::string_view cp1252);

// Upper/lower case of one Windows-1252 byte (ASCII and the Latin-1 letters).
char cp1252Upper(char c);
char cp1252Lower(char c);

} // namespace faxlog
