#include "workflow/phonebook/phone_book_dialogs.h"

namespace phonebook {

bool runPhoneBookBrowser(QWidget* parent, const std::filesystem::path& programDir, const PhoneBookHooks& hooks) {
    TPhoneBook book(parent, hooks);
    if (!book.openTable(programDir))
        return false;
    if (hooks.centre)
        hooks.centre(&book);
    book.setMode(TPhoneBook::Mode::Browse);
    book.exec();
    return true;
}

std::optional<std::pair<QString, QString>> pickRecipient(QWidget* parent, const std::filesystem::path& programDir,
                                                         const PhoneBookHooks& hooks) {
    TPhoneBook book(parent, hooks);
    if (!book.openTable(programDir))
        return std::nullopt;
    if (hooks.centre)
        hooks.centre(&book);
    book.setMode(TPhoneBook::Mode::Select);
    if (book.exec() != QDialog::Accepted || !book.selection())
        return std::nullopt;
    return std::pair{QString::fromStdString(book.selection()->name), QString::fromStdString(book.selection()->number)};
}

} // namespace phonebook
