// Start-up could not open a log table: the program's line, then which file and what is
// wrong with it, and what can still be done: repair it (a copy of each damaged file is
// kept first), open it read-only, or close the program.
#pragma once

#include "log_table.h"

#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace app {

// The buttons of the box, found by these object names (tests press them).
inline constexpr const char* kRepairButtonName = "RepairButton";
inline constexpr const char* kReadOnlyButtonName = "ReadOnlyButton";
inline constexpr const char* kCloseButtonName = "CloseProgramButton";

// Shows the box until the table opens or the user gives up; `reopen` is the normal open.
// Null when the program is to close.
std::unique_ptr<LogTable> rescueLogTable(QWidget* parent, LogOpenRescue& rescue, LogKind kind,
                                         const QString& line,
                                         const std::function<std::unique_ptr<LogTable>()>& reopen);

} // namespace app
