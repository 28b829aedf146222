// "Fax Editor": a fax's cover sheet and document (two rich-text editors) and its
// recipient, fax number and subject. It writes nothing itself; its owner reads the
// contents back when the user accepts.
#pragma once

#include "workflow/compose/compose_hooks.h"

#include "faxlog/log_records.h"

#include <QDialog>

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QStackedWidget;

namespace faxlog {
class DbeEngine;
class TDbeTable;
} // namespace faxlog

namespace workflow::compose {

class RichEditor;
class TCoverBrowse;
class ZoomButton;

inline constexpr int kRecipientChars = 35;
inline constexpr int kFaxNumberChars = 25;
inline constexpr int kSubjectChars = 50;
inline constexpr int kFaxEditorHelpContext = 1015;

enum class EditorPage { Cover, Document, Recipient };

class TFaxEditor : public QDialog {
    Q_OBJECT
public:
    // `engine` opens the cover table for Load Template (null: Load Template is hidden).
    TFaxEditor(const ComposeHooks& hooks, faxlog::DbeEngine* engine, QWidget* parent = nullptr);

    RichEditor* richCover() const { return RichCover; }
    RichEditor* richDoc() const { return RichDoc; }
    QLineEdit* recipient() const { return Recipient; }
    QLineEdit* faxNumber() const { return FaxNumber; }
    QLineEdit* subject() const { return Subject; }
    ZoomButton* zoomButton() const { return Zoombutton; }

    EditorPage page() const;
    void showPage(EditorPage page);

    // Empty cover and document in the default font.
    void startEmpty();
    // The current sent record's contents; a clone gets "[clone]" before its subject.
    void loadFromRecord(faxlog::TDbeTable& sent, bool clone);
    // What Accept writes: both documents as RTF and the three edits.
    faxlog::SentFaxContent content() const;

    // Load Template: the browser in select mode; on Accept the chosen template replaces
    // the cover and its fields are merged with the edits and the current date and time.
    void LoadCoverButtonClick();
    // Merges the fields of the cover as it is now (what Load Template does after loading).
    void mergeCover();
    void AddressButtonClick();
    // Insert file: asks for a PDF, TIFF or image and inserts its pages.
    void InsertFileButtonClick();

    // Called with the template browser before it is shown (tests answer it from here).
    std::function<void(TCoverBrowse&)> onBrowserShown;

    void done(int result) override;

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    RichEditor* makeEditor(const char* name, const char* toolBar);
    RichEditor* zoomTarget() const;

    const ComposeHooks& hooks_;
    faxlog::DbeEngine* engine_;
    bool shownOnce_ = false;
    QButtonGroup* pageButtons_ = nullptr;
    QPushButton* CoverButton = nullptr;
    QPushButton* DocumentButton = nullptr;
    QPushButton* RecipientButton = nullptr;
    QStackedWidget* Notebook = nullptr;
    RichEditor* RichCover = nullptr;
    RichEditor* RichDoc = nullptr;
    QLineEdit* Recipient = nullptr;
    QLineEdit* FaxNumber = nullptr;
    QLineEdit* Subject = nullptr;
    QPushButton* AddressButton = nullptr;
    QPushButton* OKButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* Helpbutton = nullptr;
    ZoomButton* Zoombutton = nullptr;
};

} // namespace workflow::compose
