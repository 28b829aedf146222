#include "workflow/spelling/spell_service.h"

#include "workflow/spelling/spell_check_dialog.h"
#include "workflow/spelling/spell_highlighter.h"

#include <QMessageBox>
#include <QTextDocument>
#include <QTextEdit>

namespace spelling {

namespace {

// One checker for the whole program, so that a word added in one editor counts in all.
struct Shared {
    std::filesystem::path dataDir;
    std::shared_ptr<SpellChecker> checker;
};

Shared& shared() {
    static Shared s;
    return s;
}

} // namespace

void setSpellingDataDirectory(const std::filesystem::path& dir) {
    shared().dataDir = dir;
    shared().checker.reset();
}

std::shared_ptr<SpellChecker> sharedSpellChecker() {
    Shared& s = shared();
    if (!s.checker) {
        SpellChecker::Options options;
        options.dataDir = s.dataDir;
        s.checker = std::make_shared<SpellChecker>(std::move(options));
    }
    return s.checker;
}

void setSharedSpellChecker(std::shared_ptr<SpellChecker> checker) { shared().checker = std::move(checker); }

SpellNotifier& SpellNotifier::instance() {
    static SpellNotifier notifier;
    return notifier;
}

void attachSpellHighlighter(QTextDocument* document) {
    if (!document || document->findChild<SpellHighlighter*>(QString(), Qt::FindDirectChildrenOnly))
        return;
    new SpellHighlighter(document, sharedSpellChecker()); // owned by the document
}

void runSpellCheck(QTextEdit* editor, QWidget* parent) {
    if (!editor)
        return;
    const std::shared_ptr<SpellChecker> checker = sharedSpellChecker();
    if (!checker->available()) {
        QMessageBox::information(parent, QObject::tr("Spell Check"),
                                 QObject::tr("Spelling cannot be checked: no spelling dictionary is installed.\n"
                                             "Install a Hunspell dictionary for your language (such as the "
                                             "package hunspell-en-us) and start Parvane again."));
        return;
    }
    SpellCheckDialog dialog(editor, checker, parent);
    if (!dialog.findNext()) {
        QMessageBox::information(parent, QObject::tr("Spell Check"), QObject::tr("No spelling mistakes were found."));
        return;
    }
    dialog.exec();
}

} // namespace spelling
