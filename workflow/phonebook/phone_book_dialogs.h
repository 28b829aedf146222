// The two ways the program opens the phone book: browsing from the main window, and
// picking a recipient for the fax editor.
#pragma once

#include "workflow/phonebook/phone_book_window.h"

#include <QString>
#include <filesystem>
#include <optional>
#include <utility>

class QWidget;

namespace phonebook {

// Browse mode over the phone table of `programDir`; false (and nothing shown) when the
// table can be neither opened nor created.
bool runPhoneBookBrowser(QWidget* parent, const std::filesystem::path& programDir,
                         const PhoneBookHooks& hooks = {});

// Select mode: the name and fax number of the entry the user accepts; nothing when the
// user cancels or the table cannot be opened.
std::optional<std::pair<QString, QString>> pickRecipient(QWidget* parent, const std::filesystem::path& programDir,
                                                         const PhoneBookHooks& hooks = {});

} // namespace phonebook
