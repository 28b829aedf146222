// The rich-text editor both composing windows use: a formatting bar (font, size, bold,
// italic, underline, alignment, undo/redo, cut/copy/paste) and a tool bar (paragraph
// properties, page break, word wrap, default font, spell check, and what the owner adds)
// over a FaxTextEdit.
#pragma once

#include "workflow/compose/compose_hooks.h"
#include "workflow/compose/fax_text_edit.h"

#include <QWidget>

class QAction;
class QComboBox;
class QFontComboBox;
class QToolBar;

namespace workflow::compose {

inline constexpr const char* kWordWrapOnHint = "Toggle word wrap on";
inline constexpr const char* kWordWrapOffHint = "Toggle word wrap off";

class RichEditor : public QWidget {
    Q_OBJECT
public:
    RichEditor(const ComposeHooks& hooks, QWidget* parent = nullptr);

    FaxTextEdit* edit() const { return edit_; }
    QTextDocument* document() const;
    QToolBar* toolBar() const { return toolBar_; }
    QToolBar* formatBar() const { return formatBar_; }

    // The editor's own actions, for their owners to name and place.
    QAction* pageBreakAction() const { return pageBreak_; }
    QAction* wordWrapAction() const { return wordWrap_; }
    QAction* paragraphAction() const { return paragraph_; }
    QAction* defaultFontAction() const { return defaultFont_; }
    QAction* spellCheckAction() const { return spellCheck_; }

    // Empty text in the default font.
    void startEmpty();
    // Makes the default font the format typed text gets.
    void useDefaultFont();

    // Asks "Add a page break here?" and marks the paragraph at the cursor.
    void askPageBreak();
    void toggleWordWrap();

private:
    void syncFormatControls(const QTextCharFormat& format);
    void mergeFormat(const QTextCharFormat& format);
    void syncAlignment();

    const ComposeHooks& hooks_;
    FaxTextEdit* edit_ = nullptr;
    QToolBar* toolBar_ = nullptr;
    QToolBar* formatBar_ = nullptr;
    QFontComboBox* fontBox_ = nullptr;
    QComboBox* sizeBox_ = nullptr;
    QAction* bold_ = nullptr;
    QAction* italic_ = nullptr;
    QAction* underline_ = nullptr;
    QAction* alignLeft_ = nullptr;
    QAction* alignCentre_ = nullptr;
    QAction* alignRight_ = nullptr;
    QAction* alignJustify_ = nullptr;
    QAction* pageBreak_ = nullptr;
    QAction* wordWrap_ = nullptr;
    QAction* paragraph_ = nullptr;
    QAction* defaultFont_ = nullptr;
    QAction* spellCheck_ = nullptr;
};

} // namespace workflow::compose
