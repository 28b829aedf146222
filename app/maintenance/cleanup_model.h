// The cleanup utility's grids: every record of a log table the engine does not skip, in
// the table's order, with a "Deleted?" column first.
#pragma once

#include "log_cleanup.h"

#include <QAbstractTableModel>

namespace maintenance {

class CleanupModel : public QAbstractTableModel {
    Q_OBJECT
public:
    CleanupModel(CleanupPage page, faxlog::TDbeTable& table, QObject* parent = nullptr);

    // Call after the table's rows changed.
    void refresh();
    long recnoOf(int row) const;
    int rowOfRecno(long recno) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    static constexpr int kDeletedColumn = 0;

private:
    CleanupPage page_;
    faxlog::TDbeTable& table_;
    int rows_ = 0;
};

} // namespace maintenance
