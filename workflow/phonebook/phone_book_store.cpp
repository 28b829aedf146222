#include "workflow/phonebook/phone_book_store.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"

#include <set>
#include <stdexcept>
#include <utility>

namespace phonebook {

namespace {
constexpr int kSysPropOff = 1009;
}

PhoneBookStore::PhoneBookStore()
    : engine_(std::make_unique<faxlog::DbeEngine>()), env_(std::make_unique<faxlog::TDbeEnv>(*engine_)),
      table_(std::make_unique<faxlog::TDbeTable>(*engine_)) {
    env_->start();
    env_->setDeleted(true);
    env_->setSysProp(kSysPropOff, 0);
}

PhoneBookStore::~PhoneBookStore() { close(); }

bool PhoneBookStore::open(const std::filesystem::path& programDir, std::string* error) {
    close();
    try {
        return faxlog::openLogTable(*table_, faxlog::LogTableKind::Phone, programDir, error);
    } catch (const std::exception& e) {
        if (error)
            *error = e.what();
        return false;
    }
}

bool PhoneBookStore::isOpen() const { return table_->isOpen(); }

void PhoneBookStore::close() {
    if (!table_->isOpen())
        return;
    try {
        table_->commit();
    } catch (const std::exception&) {
        // Every change was committed when it was made; closing still goes ahead.
    }
    table_->close();
}

int PhoneBookStore::rowCount() { return isOpen() ? int(table_->rowCount()) : 0; }

long PhoneBookStore::recNo(int row) {
    if (row < 0 || row >= rowCount())
        return 0;
    return table_->rowRecNo(std::size_t(row));
}

int PhoneBookStore::rowOf(long recno) {
    if (!isOpen() || recno <= 0)
        return -1;
    const auto row = table_->rowOf(recno);
    return row ? int(*row) : -1;
}

PhoneEntry PhoneBookStore::row(int row) {
    const long recno = recNo(row);
    if (recno == 0 || !table_->go(recno))
        return {};
    return {table_->getTrimString("NAME"), table_->getTrimString("PHONE")};
}

std::vector<PhoneEntry> PhoneBookStore::entries() {
    std::vector<PhoneEntry> out;
    const int rows = rowCount();
    out.reserve(std::size_t(rows));
    for (int i = 0; i < rows; ++i)
        out.push_back(row(i));
    return out;
}

void PhoneBookStore::write(const PhoneEntry& entry) {
    table_->replace("NAME", entry.name);
    table_->replace("PHONE", entry.number);
}

void PhoneBookStore::check(const PhoneEntry& entry) {
    // A character the code page lacks would be stored as '?', a longer text cut short.
    std::string problem = fieldProblem(entry.name, kNameWidth, "name");
    if (problem.empty())
        problem = fieldProblem(entry.number, kNumberWidth, "fax number");
    if (!problem.empty())
        throw std::invalid_argument(problem);
}

long PhoneBookStore::add(const PhoneEntry& entry) {
    check(entry);
    table_->appendBlank();
    const long recno = table_->recNo();
    try {
        write(entry);
        table_->commit();
    } catch (...) {
        // A blank entry left behind would be an entry nobody asked for.
        table_->go(recno);
        table_->deleteRecord();
        table_->commit();
        throw;
    }
    return recno;
}

void PhoneBookStore::update(long recno, const PhoneEntry& entry) {
    check(entry);
    if (!table_->go(recno))
        throw std::runtime_error("the phone book entry is no longer there");
    write(entry);
    table_->commit();
}

void PhoneBookStore::remove(long recno) {
    if (!table_->go(recno))
        return;
    table_->deleteRecord();
    table_->commit();
    table_->refresh();
}

void PhoneBookStore::addAll(const std::vector<PhoneEntry>& entries) {
    std::vector<long> added;
    added.reserve(entries.size());
    try {
        for (const PhoneEntry& e : entries)
            added.push_back(add(e));
    } catch (...) {
        for (const long recno : added) {
            try {
                remove(recno);
            } catch (...) {
                // Keep undoing the rest; the first error is the one reported.
            }
        }
        throw;
    }
}

} // namespace phonebook

namespace phonebook {

std::size_t PhoneBookStore::addAllNew(const std::vector<PhoneEntry>& entries) {
    std::set<std::pair<std::string, std::string>> known;
    for (const PhoneEntry& e : this->entries())
        known.emplace(e.name, e.number);
    std::vector<PhoneEntry> fresh;
    for (const PhoneEntry& e : entries)
        if (known.emplace(e.name, e.number).second)
            fresh.push_back(e);
    addAll(fresh);
    return fresh.size();
}

} // namespace phonebook
