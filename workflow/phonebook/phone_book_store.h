// The phone book's own copy of the phone table: opened (created when missing) in the
// program directory, rows in the order of the NAME tag, and the changes the phone book
// makes. Plain C++, so the command line and tests can use it without a display.
#pragma once

#include "workflow/phonebook/phone_entry.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace faxlog {
class DbeEngine;
class TDbeEnv;
class TDbeTable;
} // namespace faxlog

namespace phonebook {

class PhoneBookStore {
public:
    PhoneBookStore();
    ~PhoneBookStore();
    PhoneBookStore(const PhoneBookStore&) = delete;
    PhoneBookStore& operator=(const PhoneBookStore&) = delete;

    // Opens "PVNPB.DBF" of `programDir` exclusively, creating it and its NAME tag when
    // missing; false with the reason in *error when it can be neither opened nor created.
    bool open(const std::filesystem::path& programDir, std::string* error = nullptr);
    bool isOpen() const;
    void close();

    // Visible entries, in NAME tag order (upper-cased name).
    int rowCount();
    PhoneEntry row(int row);
    long recNo(int row);
    // Row of a record, -1 when it is not visible.
    int rowOf(long recno);
    std::vector<PhoneEntry> entries();

    // Each change is committed before it returns; an entry the fields cannot hold as it
    // is (see fieldProblem) throws std::invalid_argument. The record number of a new entry.
    long add(const PhoneEntry& entry);
    void update(long recno, const PhoneEntry& entry);
    // Puts the deleted mark on the record; it leaves the rows at once.
    void remove(long recno);
    // Adds every entry or, when one of them fails, none: the ones already written are
    // marked deleted again and the error is passed on.
    void addAll(const std::vector<PhoneEntry>& entries);
    // As addAll, leaving out entries the book already holds with the same name and number
    // (so that importing a file twice does not double it) and repeats within `entries`.
    // The number of entries added.
    std::size_t addAllNew(const std::vector<PhoneEntry>& entries);

private:
    static void check(const PhoneEntry& entry);
    void write(const PhoneEntry& entry);

    std::unique_ptr<faxlog::DbeEngine> engine_;
    std::unique_ptr<faxlog::TDbeEnv> env_;
    std::unique_ptr<faxlog::TDbeTable> table_;
};

} // namespace phonebook
