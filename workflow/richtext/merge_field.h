// Merge fields: text runs in a rich-text document that stand for a value of the fax being
// composed (recipient, fax number, subject, date, time). A run carries its field number
// as a character-format property, so the layout paints it like any text and the RTF
// writer can store it as a MERGEFIELD field.
#pragma once

#include <QDateTime>
#include <QLocale>
#include <QString>
#include <QTextCharFormat>

#include <functional>
#include <optional>

class QTextCursor;
class QTextDocument;

namespace workflow::richtext {

enum class MergeField { Recipient = 1, FaxNumber = 2, Subject = 3, Date = 4, Time = 5 };

// The display text a template shows: "[RECIPIENT]", "[FAX#]", ...
QString displayText(MergeField field);
// The name in a MERGEFIELD instruction: "RECIPIENT", "FAX_NUMBER", ...
QString instructionName(MergeField field);
std::optional<MergeField> mergeFieldFromNumber(int number);
// A MERGEFIELD name (ours, or its display text without brackets), case-insensitive.
std::optional<MergeField> mergeFieldFromName(QString name);

inline constexpr int kMergeFieldProperty = QTextFormat::UserProperty + 1;
inline constexpr int kMergeValueMaxChars = 100;

std::optional<MergeField> mergeFieldOf(const QTextCharFormat& format);
void setMergeField(QTextCharFormat& format, std::optional<MergeField> field);

// Inserts the field's display text at the cursor as a field run; typing after it does
// not extend the field.
void insertMergeField(QTextCursor& cursor, MergeField field);

// What a merge fills in, from the fax being composed.
struct MergeSource {
    QString recipient;
    QString faxNumber;
    QString subject;
    QDateTime now = QDateTime::currentDateTime();
    QLocale locale;
};
// The value of a field, cut to kMergeValueMaxChars.
QString mergeValue(MergeField field, const MergeSource& source);

struct FieldRun {
    int start = 0;
    int end = 0; // one past the last character
    MergeField field = MergeField::Recipient;
};
// Every field run in document order (adjacent fragments of one field joined).
std::vector<FieldRun> fieldRuns(const QTextDocument& document);

// Replaces every field's text with the value asked for by its number (cut to
// kMergeValueMaxChars); the runs stay fields. Returns the number of fields merged.
int mergeFields(QTextDocument& document, const std::function<QString(MergeField)>& valueOf);

} // namespace workflow::richtext
