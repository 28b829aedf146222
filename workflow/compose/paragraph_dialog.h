// "Paragraph Properties": alignment, indents and spacing of the paragraphs at a cursor.
#pragma once

#include <QDialog>
#include <QTextBlockFormat>

class QComboBox;
class QDoubleSpinBox;
class QTextEdit;

namespace workflow::compose {

class ParagraphDialog : public QDialog {
    Q_OBJECT
public:
    explicit ParagraphDialog(const QTextBlockFormat& format, QWidget* parent = nullptr);
    // The chosen properties as a format to merge into the paragraphs (lengths in points).
    QTextBlockFormat chosenFormat() const;

    // Shows the dialog for the paragraphs of the editor's selection and applies it on OK.
    static bool editParagraphs(QTextEdit* editor);

private:
    QComboBox* alignment_ = nullptr;
    QDoubleSpinBox* leftIndent_ = nullptr;
    QDoubleSpinBox* rightIndent_ = nullptr;
    QDoubleSpinBox* firstLine_ = nullptr;
    QDoubleSpinBox* spaceBefore_ = nullptr;
    QDoubleSpinBox* spaceAfter_ = nullptr;
};

} // namespace workflow::compose
