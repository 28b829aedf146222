// The grids' model: the visible rows of a log table in its active order, with the
// columns, labels and widths the main window shows.
#pragma once

#include "log_table.h"

#include <QAbstractTableModel>
#include <vector>

namespace app {

struct LogColumn {
    enum class Format { Text, Date, Number, SentYesNo };
    const char* label;
    const char* field;
    Format format;
    int displayChars; // the field's display width in characters; 0: as wide as the label
};

// Columns in grid order.
const std::vector<LogColumn>& logColumns(LogKind kind);

class FaxLogModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit FaxLogModel(LogKind kind, QObject* parent = nullptr);

    // The table the model shows; null shows nothing. The model does not own it.
    void setTable(LogTable* table);
    LogTable* table() const { return table_; }
    // Call after the table's rows or order changed.
    void refresh();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // "YYYYMMDD" → the locale's short date; blank or broken → empty.
    static QString formatDate(const std::string& dtos);

private:
    LogKind kind_;
    LogTable* table_ = nullptr;
    int rows_ = 0;
};

} // namespace app
