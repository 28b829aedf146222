// "Call report..." on an error dialog: a button put beside the dialog's "Ok" that opens
// the report of the call over the dialog, which stays open.
#pragma once

#include <functional>

class QDialog;
class QPushButton;
class QWidget;

namespace workflow::receive {

// Adds the button to the row that holds the dialog's button named "OkButton" (or at the
// foot of the dialog when it has none); returns it.
QPushButton* addCallReportButton(QDialog& dialog, const std::function<void(QWidget* parent)>& report);

} // namespace workflow::receive
