// Writes a QTextDocument as RTF that other word processors read with the same text and
// paragraph formatting: fonts, sizes, bold/italic/underline/strike, alignment, indents,
// spacing, tabs, page-break-before, simple tables, pictures (as PNG) and merge fields
// (as MERGEFIELD fields whose result is the field's text).
#pragma once

#include "workflow/richtext/page_setup.h"

#include <QByteArray>

class QTextDocument;

namespace workflow::richtext {

QByteArray writeRtf(const QTextDocument& document, const PageSetup& page = {});

} // namespace workflow::richtext
