#include "workflow/receive/starting_fax_form.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

namespace workflow::receive {

namespace {

QWidget* panel(QWidget* parent, const char* name, const QStringList& lines) {
    auto* p = new QFrame(parent);
    p->setObjectName(QString::fromLatin1(name));
    p->setFrameShape(QFrame::StyledPanel);
    auto* layout = new QVBoxLayout(p);
    for (const QString& line : lines) {
        auto* label = new QLabel(line, p);
        label->setAlignment(Qt::AlignCenter);
        layout->addWidget(label);
    }
    return p;
}

} // namespace

TStartingFaxForm::TStartingFaxForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TStartingFaxForm"));
    setWindowTitle(QStringLiteral("Starting Receive mode..."));
    // On top, and nothing on the title bar: it goes by itself.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);
    setModal(false);

    StartingPanel = panel(this, "StartingPanel", {QStringLiteral("Please wait while fax receive mode is started.....")});
    ReadyPanel = panel(this, "ReadyPanel",
                       {QStringLiteral("Parvane is in receive mode now"),
                        QStringLiteral("To end receive mode, press the STOP button"),
                        QStringLiteral("While in receive mode, sending faxes is not possible")});
    okbutton = new QPushButton(QStringLiteral("Ok"), this);
    okbutton->setObjectName(QStringLiteral("okbutton"));
    okbutton->setDefault(true);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(StartingPanel);
    layout->addWidget(ReadyPanel);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(okbutton);
    buttons->addStretch();
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);

    for (QWidget* p : {StartingPanel, ReadyPanel}) {
        p->installEventFilter(this);
        for (QLabel* label : p->findChildren<QLabel*>())
            label->installEventFilter(this);
    }

    Timer1 = new QTimer(this);
    Timer1->setSingleShot(true);
    Timer1->setInterval(kShowTime);
    connect(Timer1, &QTimer::timeout, this, &QWidget::hide);
    connect(okbutton, &QPushButton::clicked, this, &QWidget::hide);
    showStarting();
}

void TStartingFaxForm::showStarting() {
    okbutton->hide();
    ReadyPanel->hide();
    StartingPanel->show();
}

void TStartingFaxForm::showReady() {
    okbutton->show();
    StartingPanel->hide();
    ReadyPanel->show();
}

bool TStartingFaxForm::readyShown() const { return ReadyPanel->isVisibleTo(this); }

void TStartingFaxForm::showEvent(QShowEvent* e) {
    QDialog::showEvent(e);
    Timer1->start();
}

void TStartingFaxForm::hideEvent(QHideEvent* e) {
    Timer1->stop();
    QDialog::hideEvent(e);
}

void TStartingFaxForm::mousePressEvent(QMouseEvent* e) {
    hide();
    e->accept();
}

bool TStartingFaxForm::eventFilter(QObject* watched, QEvent* e) {
    if (e->type() == QEvent::MouseButtonPress) {
        hide();
        return true;
    }
    return QDialog::eventFilter(watched, e);
}

} // namespace workflow::receive
