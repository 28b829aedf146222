#include "cleanup_model.h"

#include "faxlog/codepage.h"
#include "faxlog/dbe_engine.h"
#include "faxlog/dbf_record.h"
#include "faxlog/log_records.h"
#include "faxlog/work_area.h"

#include <QDate>
#include <QLocale>
#include <cmath>
#include <vector>

namespace maintenance {
namespace {

struct Column {
    const char* label;
    const char* field; // null: the "Deleted?" column
};

const std::vector<Column>& columnsOf(CleanupPage page) {
    static const std::vector<Column> sent = {{"Deleted?", nullptr},   {"Date Sent", "DATESENT"},
                                             {"Time Sent", "TIMESENT"}, {"Recipient", "RECIPIENT"},
                                             {"Subject", "SUBJECT"},   {"Phone", "PHONE"},
                                             {"Last Attempt", "LASTRESULT"}};
    static const std::vector<Column> received = {{"Deleted?", nullptr},   {"Date Rec'd", "DATEREC"},
                                                 {"Time Rec'd", "TIMEREC"}, {"From", "FROM"},
                                                 {"Pages", "PAGES"},      {"Fax File", "FAXFILE"},
                                                 {"Notes", "NOTES"}};
    return page == CleanupPage::Outgoing ? sent : received;
}

QString fieldText(std::string_view record, const faxlog::FieldDef& f) {
    using faxlog::FieldType;
    switch (f.type) {
    case FieldType::Character: {
        std::string s = faxlog::cp1252ToUtf8(faxlog::readCharacter(record, f));
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return QString::fromStdString(s);
    }
    case FieldType::Date: {
        const faxlog::XDate d = faxlog::readDate(record, f);
        if (d.empty())
            return {};
        const QDate q = QDate::fromString(QString::fromStdString(d.dtos()), QStringLiteral("yyyyMMdd"));
        return QLocale().toString(q, QLocale::ShortFormat);
    }
    case FieldType::Numeric:
    case FieldType::Float: {
        const auto n = faxlog::readNumber(record, f);
        return n ? QString::number(std::llround(*n)) : QString();
    }
    case FieldType::Logical: return faxlog::readLogical(record, f) ? QStringLiteral("T") : QStringLiteral("F");
    case FieldType::Memo: return {};
    }
    return {};
}

} // namespace

CleanupModel::CleanupModel(CleanupPage page, faxlog::TDbeTable& table, QObject* parent)
    : QAbstractTableModel(parent), page_(page), table_(table) {
    refresh();
}

void CleanupModel::refresh() {
    beginResetModel();
    rows_ = table_.isOpen() ? static_cast<int>(table_.rowCount()) : 0;
    endResetModel();
}

long CleanupModel::recnoOf(int row) const {
    return row >= 0 && row < rows_ ? table_.rowRecNo(static_cast<std::size_t>(row)) : 0;
}

int CleanupModel::rowOfRecno(long recno) const {
    const auto row = table_.rowOf(recno);
    return row ? static_cast<int>(*row) : -1;
}

int CleanupModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int CleanupModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(columnsOf(page_).size());
}

QVariant CleanupModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || role != Qt::DisplayRole || index.row() >= rows_)
        return {};
    faxlog::WorkArea* area = table_.engine().area(table_.workArea());
    if (!area)
        return {};
    const auto recno = static_cast<std::uint32_t>(recnoOf(index.row()));
    const std::string_view record = area->dbf().record(recno);
    const Column& c = columnsOf(page_)[static_cast<std::size_t>(index.column())];
    if (!c.field)
        return QString::fromStdString(faxlog::isDeletedText(!record.empty() && record[0] == faxlog::kDeletedMark));
    const int field = area->schema().indexOf(c.field);
    return field < 0 ? QVariant() : fieldText(record, area->schema()[static_cast<std::size_t>(field)]);
}

QVariant CleanupModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    const auto& cols = columnsOf(page_);
    return section >= 0 && section < static_cast<int>(cols.size()) ? QString::fromLatin1(cols[std::size_t(section)].label)
                                                                   : QVariant();
}

} // namespace maintenance
