// The fax printer's status component and its window "Print Status": what is printed,
// how far the job is, and "Abort".
#pragma once

#include "fax_printer.h"

#include <QDialog>
#include <QPointer>

class QLabel;
class QPushButton;

namespace workflow::printing {

class TStandardFaxPrinterStatusDisplay : public QDialog {
    Q_OBJECT
public:
    explicit TStandardFaxPrinterStatusDisplay(QWidget* parent = nullptr);

    void attach(TVelkCustomFaxPrinter* printer) { printer_ = printer; }
    // Every value from the attached printer.
    void refresh();

    QLabel* fileNameLabel() const { return fileName_; }
    QLabel* statusLabel() const { return status_; }
    QPushButton* abortButton() const { return abort_; }

protected:
    void closeEvent(QCloseEvent* event) override;
    void reject() override; // Escape aborts as the button does

private:
    void abortJob();

    TVelkCustomFaxPrinter* printer_ = nullptr;
    QLabel* fileName_ = nullptr;
    QLabel* totalPages_ = nullptr;
    QLabel* resolution_ = nullptr;
    QLabel* width_ = nullptr;
    QLabel* firstPage_ = nullptr;
    QLabel* lastPage_ = nullptr;
    QLabel* status_ = nullptr;
    QPushButton* abort_ = nullptr;
};

class TVelkFaxPrinterStatus : public TVelkAbstractFaxPrinterStatus {
public:
    explicit TVelkFaxPrinterStatus(QWidget* parent = nullptr) : parent_(parent) {}
    ~TVelkFaxPrinterStatus() override;

    QString Caption = QStringLiteral("Print Status");

    void CreateDisplay() override;
    void DestroyDisplay() override;
    void UpdateDisplay(TVelkCustomFaxPrinter& printer, bool first, bool last) override;
    bool Visible() const override;

    TStandardFaxPrinterStatusDisplay* Display() const { return display_; }

private:
    QWidget* parent_;
    QPointer<TStandardFaxPrinterStatusDisplay> display_;
};

} // namespace workflow::printing
