// Single-byte code pages of RTF text: \'hh bytes to Unicode, and the reverse for the
// writer's fallback characters.
#pragma once

#include <QString>

#include <optional>

namespace workflow::richtext {

// The Windows code page a font charset number stands for (0 for "the document's").
int codePageOfCharset(int charset);

// The character a byte of the code page stands for; bytes of code pages we do not know
// are read as windows-1252.
char16_t decodeCodePageByte(int codePage, unsigned char byte);

// The windows-1252 byte of a character, if it has one.
std::optional<unsigned char> encodeWindows1252(char16_t ch);

} // namespace workflow::richtext
