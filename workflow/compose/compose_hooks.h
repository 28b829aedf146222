// What the composing windows need from the program around them: the data directory,
// window placement, and the windows other parts of the program provide (phone book,
// spelling). Every hook may be left empty; what it drives is then hidden.
#pragma once

#include <QString>

#include <filesystem>
#include <functional>
#include <optional>
#include <utility>

class QTextDocument;
class QTextEdit;
class QWidget;

namespace workflow::compose {

struct ComposeHooks {
    // The program directory: PVN.INI, the log tables and the rich-text transfer file.
    std::filesystem::path programDir;
    // The main window, to centre dialogs over.
    QWidget* mainWindow = nullptr;

    // Window placement memory, restored when a window is created and saved when it closes.
    std::function<void(QWidget* window)> restorePlacement;
    std::function<void(QWidget* window)> savePlacement;
    // Centres a dialog over the main window.
    std::function<void(QWidget* window)> centre;
    // Opens the help page of a context number.
    std::function<void(int context)> help;

    // The phone book in select mode: the chosen name and fax number, or nothing.
    std::function<std::optional<std::pair<QString, QString>>(QWidget* parent)> phoneBook;
    // Checks the spelling of an editor in place.
    std::function<void(QTextEdit* editor)> spellCheck;
    // Called once for every editor document made (e.g. to attach a highlighter).
    std::function<void(QTextDocument* document)> documentCreated;
};

} // namespace workflow::compose
