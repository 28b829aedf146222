// Moving rich text between a memo field of the current record and a document, through
// the transfer file "Eraseme.rtf" in the program directory.
#pragma once

#include "workflow/richtext/page_setup.h"
#include "workflow/richtext/rtf_reader.h"

#include <filesystem>
#include <string_view>

class QTextDocument;

namespace faxlog { class TDbeTable; }

namespace workflow::render {

// Clears the document, then loads the memo into it. A memo the engine cannot write out
// leaves the document empty (status Empty). The transfer file is deleted afterwards.
richtext::RtfReadResult loadRichText(QTextDocument& document, faxlog::TDbeTable& table,
                                     std::string_view field, const std::filesystem::path& dir);

// Writes the document as RTF to the transfer file and replaces the memo of the current
// record (in edit or append state; the caller posts) with it. The file stays in place.
void saveRichText(const QTextDocument& document, faxlog::TDbeTable& table, std::string_view field,
                  const std::filesystem::path& dir, const richtext::PageSetup& page = {});

} // namespace workflow::render
