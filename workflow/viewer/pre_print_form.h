// TPrePrintForm: the page range and options asked before a fax is printed.
#pragma once

#include <QDialog>

class QCheckBox;
class QSpinBox;

namespace workflow::viewer {

class TPrePrintForm : public QDialog {
    Q_OBJECT
public:
    explicit TPrePrintForm(QWidget* parent = nullptr);

    QSpinBox* FromPage = nullptr;
    QSpinBox* ToPage = nullptr;
    QCheckBox* PrintHeader = nullptr;
    QCheckBox* PrintFooter = nullptr;
    QCheckBox* MultiPage = nullptr; // "Print 4 faxes to a page"

    // "Ok": with an enabled "To Page" below "From Page" beeps and stays open.
    void OkButtonClick();
};

} // namespace workflow::viewer
