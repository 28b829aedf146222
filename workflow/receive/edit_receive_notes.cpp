#include "workflow/receive/edit_receive_notes.h"

#include "faxlog/dbe_table.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace workflow::receive {

TEditReceiveNotes::TEditReceiveNotes(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("TEditReceiveNotes"));
    setWindowTitle(QStringLiteral("Received Fax Notes"));

    Descript = new QLabel(this);
    Descript->setObjectName(QStringLiteral("Descript"));
    Notes = new QLineEdit(this);
    Notes->setObjectName(QStringLiteral("Notes"));
    Notes->setMaxLength(kNotesLength);
    // Room for the longest note.
    Notes->setMinimumWidth(Notes->fontMetrics().horizontalAdvance(QString(kNotesLength, QLatin1Char('n'))));
    auto* notesLabel = new QLabel(QStringLiteral("Notes"), this);
    notesLabel->setBuddy(Notes);

    OKButton = new QPushButton(QStringLiteral("&Accept"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    Cancelbutton = new QPushButton(QStringLiteral("Cance&l"), this);
    Cancelbutton->setObjectName(QStringLiteral("Cancelbutton"));
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    connect(Cancelbutton, &QPushButton::clicked, this, &QDialog::reject); // Escape too

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Descript);
    layout->addWidget(notesLabel);
    layout->addWidget(Notes);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(OKButton);
    buttons->addWidget(Cancelbutton);
    layout->addLayout(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void TEditReceiveNotes::setDescription(const QString& text) { Descript->setText(text); }
void TEditReceiveNotes::setNotes(const QString& text) { Notes->setText(text); }
QString TEditReceiveNotes::notes() const { return Notes->text(); }

bool editReceivedNotes(faxlog::TDbeTable& received, QWidget* parent, const std::function<void(QWidget*)>& centre,
                       const std::function<void(TEditReceiveNotes&)>& beforeExec) {
    if (!received.isOpen() || !received.hasRecord())
        return false;
    const long recno = received.recNo();
    TEditReceiveNotes editor(parent);
    editor.setNotes(QString::fromStdString(received.getTrimString("NOTES")));
    editor.setDescription(QStringLiteral("From: ") + QString::fromStdString(received.getTrimString("FROM")));
    editor.adjustSize(); // centred at the size it shows with
    if (centre)
        centre(&editor);
    if (beforeExec)
        beforeExec(editor);
    if (editor.exec() != QDialog::Accepted)
        return false;
    // The grid may have moved the table meanwhile; the note belongs to the record shown.
    if (recno > 0 && !received.go(recno))
        return false;
    received.replace("NOTES", editor.notes().toStdString());
    received.commit();
    return true;
}

} // namespace workflow::receive
