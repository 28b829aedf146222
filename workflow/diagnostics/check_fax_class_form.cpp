#include "workflow/diagnostics/check_fax_class_form.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace diagnostics {

TCheckFaxClassForm::TCheckFaxClassForm(faxengine::TVelkComPort& port, faxengine::TVelkSendFax& sender, int portNumber,
                                       std::string resetString, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint), port_(port), sender_(sender),
      portNumber_(portNumber), resetString_(std::move(resetString)) {
    setObjectName(QStringLiteral("TCheckFaxClassForm"));
    setWindowTitle(tr("Finding Fax Class...Please wait"));
    auto* layout = new QVBoxLayout(this);
    auto* box = new QGroupBox(tr("Fax Classes:"), this);
    auto* boxLayout = new QVBoxLayout(box);
    Label1 = new QLabel(tr("Class 1 :"), box);
    Label2 = new QLabel(tr("Class 2 :"), box);
    Label3 = new QLabel(tr("Class 2.0 :"), box);
    for (QLabel* l : {Label1, Label2, Label3})
        boxLayout->addWidget(l);
    // The three lines must never be squeezed by a status text that grew.
    box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    layout->addWidget(box);
    Status = new QLabel(tr("Testing Fax Classes...please wait."), this);
    Status->setObjectName(QStringLiteral("Status"));
    Status->setWordWrap(true);
    Status->setMinimumWidth(fontMetrics().averageCharWidth() * 64);
    layout->addWidget(Status);
    auto* buttons = new QHBoxLayout;
    OkButton = new QPushButton(tr("Ok"), this);
    OkButton->hide();
    buttons->addStretch(1);
    buttons->addWidget(OkButton);
    layout->addLayout(buttons);
    connect(OkButton, &QPushButton::clicked, this, &QDialog::accept);
    // Grows with the texts the check writes into it.
    layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void TCheckFaxClassForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    if (!started_) {
        started_ = true;
        QTimer::singleShot(0, this, &TCheckFaxClassForm::runCheck);
    }
}

void TCheckFaxClassForm::reject() {
    if (finished_)
        QDialog::reject();
}

void TCheckFaxClassForm::runCheck() {
    ClassCheckHooks hooks;
    hooks.pump = [] { QApplication::processEvents(); };
    hooks.status = [this](const std::string& text) { Status->setText(QString::fromStdString(text)); };
    hooks.askContinue = [this](const std::string& question) {
        return QMessageBox::question(this, tr("NO MODEM RESPONSE"), QString::fromStdString(question),
                                     QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
    };
    hooks.information = [this](const std::string& text) {
        QMessageBox::information(this, tr("Information"), QString::fromStdString(text));
    };
    result_ = checkFaxClasses(port_, sender_, portNumber_, resetString_, hooks);
    Label1->setText(QString::fromStdString(result_.labels[0]));
    Label2->setText(QString::fromStdString(result_.labels[1]));
    Label3->setText(QString::fromStdString(result_.labels[2]));
    QFont bold = Label3->font();
    bold.setBold(result_.class2_0Bold);
    Label3->setFont(bold);
    Status->setText(QString::fromStdString(result_.status));
    QApplication::beep();
    QApplication::processEvents();
    OkButton->show();
    adjustSize();
    setWindowTitle(tr("Check Fax Class"));
    finished_ = true;
    emit checkFinished();
}

QString TCheckFaxClassForm::labelText(int i) const {
    const QLabel* l[] = {Label1, Label2, Label3};
    return i >= 0 && i < 3 ? l[i]->text() : QString();
}

QString TCheckFaxClassForm::statusText() const { return Status->text(); }
bool TCheckFaxClassForm::class2_0Bold() const { return Label3->font().bold(); }

} // namespace diagnostics
