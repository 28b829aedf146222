// Cover templates in the cover table: opening it, and reading and writing a template's
// description (DESCRIPT) and rich text (COVER).
#pragma once

#include <QString>

#include <filesystem>
#include <memory>

class QTextDocument;

namespace faxlog {
class DbeEngine;
class TDbeTable;
} // namespace faxlog

namespace workflow::compose {

inline constexpr const char* kClonePrefix = "[clone]";

// "[clone]" directly followed by `text`, cut to `width` characters so it fits its field.
QString clonedText(const QString& text, int width);

// The cover table of the program directory, open and ordered; null when it cannot be
// opened (or created).
std::unique_ptr<faxlog::TDbeTable> openCoverTable(faxlog::DbeEngine& engine, const std::filesystem::path& dir);

QString currentDescription(faxlog::TDbeTable& covers);
// Loads the current template's COVER (an unreadable memo gives an empty document).
void loadCurrentCover(QTextDocument& document, faxlog::TDbeTable& covers, const std::filesystem::path& dir);
// Appends a template and makes it current.
void appendCover(faxlog::TDbeTable& covers, const QString& description, const QTextDocument& cover);
// Rewrites the current template.
void updateCover(faxlog::TDbeTable& covers, const QString& description, const QTextDocument& cover);

} // namespace workflow::compose
