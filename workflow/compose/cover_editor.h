// "Cover Sheet Template Editor": a template's description and its rich text, with merge
// fields inserted from the Insert menu.
#pragma once

#include "workflow/compose/compose_hooks.h"
#include "workflow/richtext/merge_field.h"

#include <QDialog>

class QLineEdit;
class QMenu;
class QPushButton;

namespace workflow::compose {

class RichEditor;
class ZoomButton;

inline constexpr int kCoverDescriptionChars = 35;
inline constexpr int kCoverEditorHelpContext = 1018;

class TCoverEditor : public QDialog {
    Q_OBJECT
public:
    explicit TCoverEditor(const ComposeHooks& hooks, QWidget* parent = nullptr);

    QLineEdit* description() const { return CoverDescription; }
    RichEditor* richCover() const { return RichCover; }
    QMenu* insertMenu() const { return InsertMenu; }
    ZoomButton* zoomButton() const { return Zoombutton; }

    // Inserts the field whose menu caption is `caption` (compared in upper case); false
    // when no field has that caption.
    bool insertFieldByCaption(const QString& caption);

    void done(int result) override;

private:
    const ComposeHooks& hooks_;
    QLineEdit* CoverDescription = nullptr;
    RichEditor* RichCover = nullptr;
    QPushButton* InsertButton = nullptr;
    QMenu* InsertMenu = nullptr;
    ZoomButton* Zoombutton = nullptr;
    QPushButton* OKbutton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;
};

} // namespace workflow::compose
