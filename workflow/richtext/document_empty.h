// Whether a document counts as empty for faxing: nothing but spaces in its first lines.
#pragma once

class QTextDocument;

namespace workflow::richtext {

// Empty when it holds no text; not empty when its text is 256 characters or longer;
// otherwise empty exactly when each of its first 201 lines is empty once leading and
// trailing space characters (only those) are removed.
bool isDocumentEmpty(const QTextDocument& document);

} // namespace workflow::richtext
