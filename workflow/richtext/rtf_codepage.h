// Code pages of RTF text: \'hh bytes to Unicode (single bytes, and the byte pairs of the
// East Asian double-byte code pages), and the reverse for the writer's fallback characters.
#pragma once

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace workflow::richtext {

// The Windows code page a font charset number stands for (0 for "the document's").
int codePageOfCharset(int charset);

// The character a byte of the code page stands for; bytes of code pages we do not know
// are read as windows-1252.
char16_t decodeCodePageByte(int codePage, unsigned char byte);

// Shift_JIS (932), GBK (936), Korean (949) and Big5 (950) write most characters as a lead
// byte and a trail byte.
bool isDoubleByteCodePage(int codePage);
bool isLeadByte(int codePage, unsigned char byte);
bool isTrailByte(int codePage, unsigned char byte);
// The character of a lead and trail byte pair; U+FFFD when the pair stands for nothing.
QString decodeDoubleByte(int codePage, unsigned char lead, unsigned char trail);

// A run of bytes in a code page, double-byte pairs included (metafile text, names).
QString decodeCodePageBytes(int codePage, QByteArrayView bytes);

// The windows-1252 byte of a character, if it has one.
std::optional<unsigned char> encodeWindows1252(char16_t ch);

} // namespace workflow::richtext
