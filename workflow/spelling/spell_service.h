// Spell checking as the program's editors use it: one checker shared by every editor,
// underlines as you type, and the check with its suggestion dialog.
#pragma once

#include "workflow/spelling/spell_checker.h"

#include <QObject>
#include <filesystem>
#include <memory>

class QTextDocument;
class QTextEdit;
class QWidget;

namespace spelling {

// The user dictionary's directory (the program's data directory); the shared checker is
// made again on next use. Without it the checker keeps no user dictionary.
void setSpellingDataDirectory(const std::filesystem::path& dir);
// The checker the editors share, made on first use from the installed dictionaries.
std::shared_ptr<SpellChecker> sharedSpellChecker();
// Puts a given checker in its place (tests, another language).
void setSharedSpellChecker(std::shared_ptr<SpellChecker> checker);

// Tells the underlining of every editor that the accepted words changed (a word added
// to the user dictionary or ignored for the run).
class SpellNotifier : public QObject {
    Q_OBJECT
public:
    static SpellNotifier& instance();
signals:
    void acceptedWordsChanged();
};

// Underlines misspelt words of the document as they are typed, with the shared checker.
// Attaching twice keeps one. Nothing is underlined when no dictionary is installed.
void attachSpellHighlighter(QTextDocument* document);

// Checks the editor's words from the top, offering replacements in a dialog; says so
// plainly when no dictionary is installed or nothing is misspelt.
void runSpellCheck(QTextEdit* editor, QWidget* parent);

} // namespace spelling
