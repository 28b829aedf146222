#include "print_status_window.h"

#include <QCloseEvent>
#include <QFormLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

namespace workflow::printing {

TStandardFaxPrinterStatusDisplay::TStandardFaxPrinterStatusDisplay(QWidget* parent)
    : QDialog(parent) {
    setObjectName("TStandardFaxPrinterStatusDisplay");
    setWindowTitle(QStringLiteral("Print Status"));
    auto* layout = new QVBoxLayout(this);

    auto* info = new QGroupBox(QStringLiteral("Fax Information"), this);
    auto* form = new QFormLayout(info);
    const auto value = [this](const char* name) {
        auto* l = new QLabel(this);
        l->setObjectName(name);
        l->setTextInteractionFlags(Qt::TextSelectableByMouse);
        return l;
    };
    fileName_ = value("FileName");
    totalPages_ = value("TotalPages");
    resolution_ = value("Resolution");
    width_ = value("Width");
    firstPage_ = value("FirstPage");
    lastPage_ = value("LastPage");
    form->addRow(QStringLiteral("Filename:"), fileName_);
    form->addRow(QStringLiteral("Total Pages:"), totalPages_);
    form->addRow(QStringLiteral("Resolution:"), resolution_);
    form->addRow(QStringLiteral("Width:"), width_);
    form->addRow(QStringLiteral("First Page to Print:"), firstPage_);
    form->addRow(QStringLiteral("Last Page to Print:"), lastPage_);
    layout->addWidget(info);

    auto* statusBox = new QGroupBox(QStringLiteral("Status"), this);
    auto* statusLayout = new QVBoxLayout(statusBox);
    status_ = new QLabel(QStringLiteral("Idle 0 of 0"), statusBox);
    status_->setObjectName("StatusLine");
    statusLayout->addWidget(status_);
    layout->addWidget(statusBox);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    abort_ = new QPushButton(QStringLiteral("Abort"), this);
    abort_->setObjectName("AbortButton");
    buttons->addWidget(abort_);
    buttons->addStretch();
    layout->addLayout(buttons);
    connect(abort_, &QPushButton::clicked, this, &TStandardFaxPrinterStatusDisplay::abortJob);
    setMinimumWidth(fontMetrics().averageCharWidth() * 44);
}

void TStandardFaxPrinterStatusDisplay::refresh() {
    if (!printer_)
        return;
    fileName_->setText(QString::fromStdString(printer_->FileName().filename().string()).toUpper());
    totalPages_->setText(QString::number(printer_->PageCount()));
    resolution_->setText(printer_->ResolutionCode() == 1 ? QStringLiteral("high")
                                                         : QStringLiteral("standard"));
    width_->setText(printer_->WidthCode() == 1 ? QStringLiteral("2048") : QStringLiteral("1728"));
    firstPage_->setText(QString::number(printer_->FirstPage));
    lastPage_->setText(QString::number(printer_->LastPage));
    status_->setText(QString::fromStdString(
        statusLine(printer_->Status(), printer_->CurrentPage(), printer_->LastPage)));
}

void TStandardFaxPrinterStatusDisplay::abortJob() {
    if (printer_)
        printer_->Abort();
}

void TStandardFaxPrinterStatusDisplay::closeEvent(QCloseEvent* event) {
    // Closing the window while a job runs would leave it running unseen.
    if (printer_ && printer_->Printing()) {
        event->ignore();
        abortJob();
        return;
    }
    QDialog::closeEvent(event);
}

void TStandardFaxPrinterStatusDisplay::reject() {
    if (printer_ && printer_->Printing()) {
        abortJob();
        return;
    }
    QDialog::reject();
}

TVelkFaxPrinterStatus::~TVelkFaxPrinterStatus() { DestroyDisplay(); }

void TVelkFaxPrinterStatus::CreateDisplay() {
    if (!display_)
        display_ = new TStandardFaxPrinterStatusDisplay(parent_);
    display_->setWindowTitle(Caption);
}

void TVelkFaxPrinterStatus::DestroyDisplay() {
    delete display_.data();
}

void TVelkFaxPrinterStatus::UpdateDisplay(TVelkCustomFaxPrinter& printer, bool first, bool last) {
    if (first) {
        CreateDisplay();
        display_->attach(&printer);
        display_->refresh();
        display_->adjustSize();
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            QRect r = display_->frameGeometry();
            r.moveCenter(screen->availableGeometry().center());
            display_->move(r.topLeft());
        }
        display_->show();
        display_->raise();
    }
    if (!display_)
        return;
    if (last) {
        display_->hide();
        display_->attach(nullptr);
    } else if (!first) {
        display_->refresh();
    }
}

bool TVelkFaxPrinterStatus::Visible() const { return display_ && display_->isVisible(); }

} // namespace workflow::printing
