// The spelling check of one editor: goes through its words from the top and, for each
// word the checker does not accept, offers to change it (here or everywhere), ignore it
// (here or for the rest of the run) or add it to the user dictionary.
#pragma once

#include "workflow/spelling/spell_checker.h"

#include <QDialog>
#include <QHash>
#include <memory>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTextEdit;

namespace spelling {

class SpellCheckDialog : public QDialog {
    Q_OBJECT
public:
    SpellCheckDialog(QTextEdit* editor, std::shared_ptr<SpellChecker> checker, QWidget* parent = nullptr);

    // Selects the next misspelt word in the editor and shows it; false when there is none
    // left (words marked "change all" are changed on the way).
    bool findNext();
    // The word shown, empty when none.
    QString currentWord() const { return word_; }

    QLineEdit* NotFoundEdit = nullptr;
    QLineEdit* ChangeToEdit = nullptr;
    QListWidget* SuggestionList = nullptr;
    QPushButton* ChangeButton = nullptr;
    QPushButton* ChangeAllButton = nullptr;
    QPushButton* IgnoreButton = nullptr;
    QPushButton* IgnoreAllButton = nullptr;
    QPushButton* AddButton = nullptr;
    QPushButton* CloseButton = nullptr;
    QLabel* LanguageLabel = nullptr;

public slots:
    void ChangeButtonClick();
    void ChangeAllButtonClick();
    void IgnoreButtonClick();
    void IgnoreAllButtonClick();
    void AddButtonClick();

private:
    // Replaces [start, start + length) keeping the formatting of its first character.
    void replaceAt(int start, int length, const QString& text);
    // Every whole-word occurrence of `word` in the document; returns the change in
    // length of the text before `position`.
    int replaceEverywhere(const QString& word, const QString& text, int position);
    // Moves on; when the end is reached says so and closes.
    void advance();

    QTextEdit* editor_;
    std::shared_ptr<SpellChecker> checker_;
    QHash<QString, QString> changeAll_;
    int position_ = 0; // where the search goes on
    int wordStart_ = -1;
    QString word_;
};

} // namespace spelling
