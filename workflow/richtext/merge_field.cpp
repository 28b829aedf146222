#include "workflow/richtext/merge_field.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <vector>

namespace workflow::richtext {

QString displayText(MergeField field) {
    switch (field) {
    case MergeField::Recipient: return QStringLiteral("[RECIPIENT]");
    case MergeField::FaxNumber: return QStringLiteral("[FAX#]");
    case MergeField::Subject: return QStringLiteral("[SUBJECT]");
    case MergeField::Date: return QStringLiteral("[DATE]");
    case MergeField::Time: return QStringLiteral("[TIME]");
    }
    return {};
}

QString instructionName(MergeField field) {
    switch (field) {
    case MergeField::Recipient: return QStringLiteral("RECIPIENT");
    case MergeField::FaxNumber: return QStringLiteral("FAX_NUMBER");
    case MergeField::Subject: return QStringLiteral("SUBJECT");
    case MergeField::Date: return QStringLiteral("DATE");
    case MergeField::Time: return QStringLiteral("TIME");
    }
    return {};
}

std::optional<MergeField> mergeFieldFromNumber(int number) {
    if (number < 1 || number > 5)
        return std::nullopt;
    return static_cast<MergeField>(number);
}

std::optional<MergeField> mergeFieldFromName(QString name) {
    name = name.trimmed().toUpper();
    if (name.startsWith(u'"') && name.endsWith(u'"') && name.size() >= 2)
        name = name.mid(1, name.size() - 2);
    if (name.startsWith(u'[') && name.endsWith(u']') && name.size() >= 2)
        name = name.mid(1, name.size() - 2);
    if (name == u"FAX#" || name == u"FAXNUMBER" || name == u"FAX NUMBER")
        return MergeField::FaxNumber;
    for (int n = 1; n <= 5; ++n) {
        const auto f = static_cast<MergeField>(n);
        if (name == instructionName(f))
            return f;
    }
    return std::nullopt;
}

std::optional<MergeField> mergeFieldOf(const QTextCharFormat& format) {
    if (!format.hasProperty(kMergeFieldProperty))
        return std::nullopt;
    return mergeFieldFromNumber(format.intProperty(kMergeFieldProperty));
}

void setMergeField(QTextCharFormat& format, std::optional<MergeField> field) {
    if (field)
        format.setProperty(kMergeFieldProperty, static_cast<int>(*field));
    else
        format.clearProperty(kMergeFieldProperty);
}

void insertMergeField(QTextCursor& cursor, MergeField field) {
    QTextCharFormat plain = cursor.charFormat();
    setMergeField(plain, std::nullopt);
    QTextCharFormat fieldFormat = plain;
    setMergeField(fieldFormat, field);
    cursor.insertText(displayText(field), fieldFormat);
    cursor.setCharFormat(plain);
}

QString mergeValue(MergeField field, const MergeSource& source) {
    QString value;
    switch (field) {
    case MergeField::Recipient: value = source.recipient; break;
    case MergeField::FaxNumber: value = source.faxNumber; break;
    case MergeField::Subject: value = source.subject; break;
    case MergeField::Date: value = source.locale.toString(source.now.date(), QLocale::ShortFormat); break;
    case MergeField::Time: value = source.locale.toString(source.now.time(), QLocale::LongFormat); break;
    }
    return value.left(kMergeValueMaxChars);
}

std::vector<FieldRun> fieldRuns(const QTextDocument& document) {
    std::vector<FieldRun> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const auto field = mergeFieldOf(fragment.charFormat());
            if (!field)
                continue;
            const int start = fragment.position();
            const int end = start + fragment.length();
            if (!runs.empty() && runs.back().end == start && runs.back().field == *field)
                runs.back().end = end;
            else
                runs.push_back({start, end, *field});
        }
    }
    return runs;
}

int mergeFields(QTextDocument& document, const std::function<QString(MergeField)>& valueOf) {
    const auto runs = fieldRuns(document);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    // Back to front, so the positions of the runs not yet replaced stay valid.
    for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
        cursor.setPosition(it->start);
        cursor.setPosition(it->end, QTextCursor::KeepAnchor);
        QTextCharFormat format = cursor.charFormat();
        setMergeField(format, it->field);
        cursor.insertText(valueOf(it->field).left(kMergeValueMaxChars), format);
    }
    cursor.endEditBlock();
    return static_cast<int>(runs.size());
}

} // namespace workflow::richtext
