// Reads RTF into a QTextDocument: text, paragraphs (alignment, indents, spacing, tabs,
// page break before), character formats (font, size, bold, italic, underline, strike,
// raised and lowered text), tables (nested ones too), PNG/JPEG/DIB pictures, WMF/EMF
// pictures drawn by the metafile player, merge fields, and text in single- and
// double-byte code pages. Colours are dropped: a fax page is black on white.
//
// The reader never throws and never loops: unknown destinations are skipped, groups
// nested deeper than kRtfMaxGroupDepth are flattened, and text that is not RTF at all is
// read as plain text with a message saying so.
#pragma once

#include <QString>

#include <string_view>

class QTextDocument;

namespace workflow::richtext {

inline constexpr int kRtfMaxGroupDepth = 200;
inline constexpr std::size_t kRtfMaxPictureBytes = 64u << 20;

enum class RtfReadStatus {
    Ok,
    NotRtf,    // read as plain text
    Truncated, // the groups did not all close; what was read is kept
    Empty,     // nothing at all
};
std::string_view to_string(RtfReadStatus status);

struct RtfReadResult {
    RtfReadStatus status = RtfReadStatus::Ok;
    // Pictures in a form we cannot draw (other formats, bad data); each one stands in the
    // document as a framed box of its size.
    int skippedPictures = 0;
    // A sentence for the user when the status is not Ok, empty otherwise.
    QString message() const;
};

// Whether the bytes start like an RTF document ("{\rtf" after optional white space).
bool looksLikeRtf(std::string_view bytes);

// Replaces the document's contents with the RTF (or plain text) in bytes.
RtfReadResult readRtf(std::string_view bytes, QTextDocument& document);

} // namespace workflow::richtext
