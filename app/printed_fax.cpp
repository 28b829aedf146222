#include "printed_fax.h"

#include "main_screen.h"
#include "print_inbox.h"
#include "single_instance.h"
#include "workflow/compose/fax_editor.h"
#include "workflow/compose/fax_text_edit.h"
#include "workflow/compose/inserted_pages.h"
#include "workflow/compose/rich_editor.h"

#include <QApplication>
#include <QMessageBox>
#include <QTextCursor>

#include <memory>

namespace app {

int insertPrintedPages(workflow::compose::TFaxEditor& editor, const std::filesystem::path& file) {
    namespace compose = workflow::compose;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const compose::FilePages pages = compose::readFilePages(file);
    compose::FaxTextEdit* edit = editor.richDoc()->edit();
    int inserted = 0;
    if (!pages.pages.empty()) {
        QTextCursor cursor(edit->document());
        cursor.movePosition(QTextCursor::Start);
        inserted = compose::insertPages(cursor, pages.pages, edit->page());
        cursor.movePosition(QTextCursor::Start); // the document opens on its first page
        edit->setTextCursor(cursor);
        edit->refreshLayout();
    }
    QApplication::restoreOverrideCursor();
    if (!pages.error.isEmpty() || pages.pages.empty()) {
        const QString why = pages.error.isEmpty() ? QObject::tr("it has no pages") : pages.error;
        QMessageBox::warning(&editor, QObject::tr("Printed fax"),
                             QObject::tr("The printed file %1 could not be read: %2")
                                 .arg(QString::fromStdString(file.filename().string()), why));
    }
    return inserted;
}

QString printedWaitingText(int waiting) {
    if (waiting <= 0)
        return {};
    return waiting == 1 ? QObject::tr("A printed fax is waiting")
                        : QObject::tr("%1 printed faxes are waiting").arg(waiting);
}

void connectPrintInbox(PrintInbox& inbox, TMainScreen& window, SingleInstance& instance) {
    inbox.canOpen = [&window] { return window.printedFaxCanOpen(); };
    // The notice stands in for the status line's text until nothing waits any more.
    auto saved = std::make_shared<QString>();
    auto shown = std::make_shared<QString>();
    inbox.onWaiting = [&window, saved, shown](int waiting) {
        const QString text = printedWaitingText(waiting);
        if (text == *shown)
            return;
        if (shown->isEmpty())
            *saved = window.statusText();
        else if (window.statusText() != *shown)
            *saved = window.statusText(); // someone else wrote meanwhile: keep theirs
        window.setStatus(text.isEmpty() ? *saved : text);
        *shown = text;
    };
    QObject::connect(&instance, &SingleInstance::inboxCheckRequested, &inbox, &PrintInbox::checkInbox);
    QObject::connect(&instance, &SingleInstance::faxFileRequested, &inbox,
                     [&inbox](const QString& file) { inbox.addFile(file.toStdString()); });
}

bool TMainScreen::newFaxFromPrintedFile(const std::filesystem::path& file) {
    cloneRequested_ = false;
    bringToFront(this);
    return runNewFax(&file);
}

bool TMainScreen::printedFaxCanOpen() const {
    // Not before the first activation's questions (first-run setup, reindexing) are done.
    return !firstActivation_ && !receiveMode_ && !QApplication::activeModalWidget() && writableSentTable();
}

} // namespace app
