// Small shared pieces of the composing windows: the question box with No as default,
// the beep, and the default font kept in the settings.
#pragma once

#include "workflow/richtext/editor_operations.h"

#include <QString>

#include <filesystem>

class QWidget;

namespace workflow::compose {

// Yes and No with No as the default; true on Yes. "\r" in the text breaks the line.
bool askDefaultNo(QWidget* parent, const QString& text, const QString& title);
void beep();

// [Default Font] of the settings record.
richtext::DefaultFont defaultFont();
// Reloads the settings, shows the font dialog preset with the default font and on OK
// stores the choice as the default font and saves the settings. True when chosen.
bool chooseDefaultFont(QWidget* parent, const std::filesystem::path& programDir);

} // namespace workflow::compose
