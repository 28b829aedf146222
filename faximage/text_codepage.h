// Character sets of text faxes: the fax font is indexed by Windows-1252 byte values,
// while text files on this system are usually UTF-8.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace faximage {

// Unicode code point of a Windows-1252 byte (0 for the five unassigned values).
char32_t cp1252ToUnicode(std::uint8_t byte);

// A line that is valid UTF-8 with characters beyond ASCII comes back in Windows-1252
// ('?' for characters it lacks); anything else comes back unchanged.
std::string toCp1252(std::string_view line);

// Code points of a line for drawing with a system font: UTF-8 when valid, else 1252.
std::u32string toCodePoints(std::string_view line);

} // namespace faximage
