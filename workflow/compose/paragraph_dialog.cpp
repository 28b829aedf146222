#include "workflow/compose/paragraph_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QTextCursor>
#include <QTextEdit>
#include <QVBoxLayout>

namespace workflow::compose {

namespace {

// Block lengths are in layout units, 96 to the inch; the dialog speaks points.
constexpr double kPointsPerUnit = 72.0 / 96.0;
constexpr double kMaxIndentPoints = 432; // six inches

QDoubleSpinBox* pointsBox(double points, double minimum, QWidget* parent) {
    auto* box = new QDoubleSpinBox(parent);
    box->setRange(minimum, kMaxIndentPoints);
    box->setDecimals(1);
    box->setSuffix(QStringLiteral(" pt"));
    box->setValue(points);
    return box;
}

} // namespace

ParagraphDialog::ParagraphDialog(const QTextBlockFormat& format, QWidget* parent) : QDialog(parent) {
    setWindowTitle(tr("Paragraph Properties"));
    alignment_ = new QComboBox(this);
    alignment_->addItem(tr("Left"), int(Qt::AlignLeft));
    alignment_->addItem(tr("Centre"), int(Qt::AlignHCenter));
    alignment_->addItem(tr("Right"), int(Qt::AlignRight));
    alignment_->addItem(tr("Justify"), int(Qt::AlignJustify));
    const Qt::Alignment h = format.alignment() & Qt::AlignHorizontal_Mask;
    for (int i = 0; i < alignment_->count(); ++i)
        if (Qt::Alignment(alignment_->itemData(i).toInt()) & h)
            alignment_->setCurrentIndex(i);
    leftIndent_ = pointsBox(format.leftMargin() * kPointsPerUnit, 0, this);
    rightIndent_ = pointsBox(format.rightMargin() * kPointsPerUnit, 0, this);
    firstLine_ = pointsBox(format.textIndent() * kPointsPerUnit, -kMaxIndentPoints, this);
    spaceBefore_ = pointsBox(format.topMargin() * kPointsPerUnit, 0, this);
    spaceAfter_ = pointsBox(format.bottomMargin() * kPointsPerUnit, 0, this);

    auto* form = new QFormLayout;
    form->addRow(tr("&Alignment"), alignment_);
    form->addRow(tr("&Left indent"), leftIndent_);
    form->addRow(tr("&Right indent"), rightIndent_);
    form->addRow(tr("&First line"), firstLine_);
    form->addRow(tr("Space &before"), spaceBefore_);
    form->addRow(tr("Space &after"), spaceAfter_);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(buttons);
}

QTextBlockFormat ParagraphDialog::chosenFormat() const {
    QTextBlockFormat f;
    f.setAlignment(Qt::Alignment(alignment_->currentData().toInt()));
    f.setLeftMargin(leftIndent_->value() / kPointsPerUnit);
    f.setRightMargin(rightIndent_->value() / kPointsPerUnit);
    f.setTextIndent(firstLine_->value() / kPointsPerUnit);
    f.setTopMargin(spaceBefore_->value() / kPointsPerUnit);
    f.setBottomMargin(spaceAfter_->value() / kPointsPerUnit);
    return f;
}

bool ParagraphDialog::editParagraphs(QTextEdit* editor) {
    QTextCursor cursor = editor->textCursor();
    ParagraphDialog dialog(cursor.blockFormat(), editor);
    if (dialog.exec() != QDialog::Accepted)
        return false;
    cursor.mergeBlockFormat(dialog.chosenFormat());
    editor->setTextCursor(cursor);
    return true;
}

} // namespace workflow::compose
