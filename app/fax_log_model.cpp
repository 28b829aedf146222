#include "fax_log_model.h"

#include "faxlog/log_records.h"

#include <QDate>
#include <QLocale>

namespace app {

const char* to_string(LogKind kind) {
    switch (kind) {
    case LogKind::Sent:
        return "sent";
    case LogKind::Received:
        return "received";
    }
    return "?";
}

const std::vector<LogColumn>& logColumns(LogKind kind) {
    using F = LogColumn::Format;
    static const std::vector<LogColumn> sent = {
        {"Sent", "SENT", F::SentYesNo, 0},
        {"Date Sent", "DATESENT", F::Date, 0},
        {"Time Sent", "TIMESENT", F::Text, 0},
        {"Recipient", "RECIPIENT", F::Text, 20},
        {"Phone", "PHONE", F::Text, 15},
        {"Pages", "PAGES", F::Number, 5},
        {"Subject", "SUBJECT", F::Text, 20},
        {"Last Attempt", "LASTRESULT", F::Text, 35},
    };
    static const std::vector<LogColumn> received = {
        {"Date Rec'd", "DATEREC", F::Date, 0},
        {"Time Rec'd", "TIMEREC", F::Text, 0},
        {"From", "FROM", F::Text, 20},
        {"Pages", "PAGES", F::Number, 0},
        {"Notes", "NOTES", F::Text, 20},
        {"Fax File", "FAXFILE", F::Text, 12},
    };
    switch (kind) {
    case LogKind::Sent:
        return sent;
    case LogKind::Received:
        return received;
    }
    return sent;
}

FaxLogModel::FaxLogModel(LogKind kind, QObject* parent) : QAbstractTableModel(parent), kind_(kind) {}

void FaxLogModel::setTable(LogTable* table) {
    table_ = table;
    refresh();
}

void FaxLogModel::refresh() {
    beginResetModel();
    rows_ = table_ && table_->isOpen() ? table_->rowCount() : 0;
    endResetModel();
}

int FaxLogModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }

int FaxLogModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(logColumns(kind_).size());
}

QString FaxLogModel::formatDate(const std::string& dtos) {
    if (dtos.size() != 8)
        return {};
    const QDate date = QDate::fromString(QString::fromStdString(dtos), QStringLiteral("yyyyMMdd"));
    return date.isValid() ? QLocale().toString(date, QLocale::ShortFormat) : QString();
}

QVariant FaxLogModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || !table_ || index.row() >= rows_)
        return {};
    const LogColumn& column = logColumns(kind_)[std::size_t(index.column())];
    if (role == Qt::TextAlignmentRole)
        return column.format == LogColumn::Format::Number
                   ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                   : QVariant(Qt::AlignLeft | Qt::AlignVCenter);
    if (role != Qt::DisplayRole)
        return {};
    const std::string value = table_->field(index.row(), column.field);
    switch (column.format) {
    case LogColumn::Format::Text:
    case LogColumn::Format::Number:
        return QString::fromStdString(value);
    case LogColumn::Format::Date:
        return formatDate(value);
    case LogColumn::Format::SentYesNo:
        return QString::fromStdString(faxlog::sentYesNo(value == "T"));
    }
    return {};
}

QVariant FaxLogModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    const auto& columns = logColumns(kind_);
    if (section < 0 || section >= int(columns.size()))
        return {};
    return QString::fromLatin1(columns[std::size_t(section)].label);
}

} // namespace app
