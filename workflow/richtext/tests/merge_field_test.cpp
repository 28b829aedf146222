// Merge fields: inserting, merging once, values cut to 100 characters, reading fields
// another word processor wrote.
#include "workflow/richtext/merge_field.h"
#include "workflow/richtext/rtf_reader.h"

#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace workflow::richtext;

TEST(MergeField, NamesAndNumbersMatchTheFiveFields) {
    EXPECT_EQ(displayText(MergeField::Recipient), "[RECIPIENT]");
    EXPECT_EQ(displayText(MergeField::FaxNumber), "[FAX#]");
    EXPECT_EQ(displayText(MergeField::Subject), "[SUBJECT]");
    EXPECT_EQ(displayText(MergeField::Date), "[DATE]");
    EXPECT_EQ(displayText(MergeField::Time), "[TIME]");
    for (int n = 1; n <= 5; ++n) {
        const auto f = mergeFieldFromNumber(n);
        ASSERT_TRUE(f);
        EXPECT_EQ(mergeFieldFromName(instructionName(*f)), f);
        EXPECT_EQ(mergeFieldFromName(displayText(*f)), f);
    }
    EXPECT_FALSE(mergeFieldFromNumber(0));
    EXPECT_FALSE(mergeFieldFromNumber(6));
    EXPECT_EQ(mergeFieldFromName("\"fax#\""), MergeField::FaxNumber);
    EXPECT_FALSE(mergeFieldFromName("CUSTOMER_ID"));
}

TEST(MergeField, MergeFillsEveryFieldOnceAndKeepsTheRestOfTheText) {
    QTextDocument doc;
    QTextCursor c(&doc);
    c.insertText("Dear ");
    insertMergeField(c, MergeField::Recipient);
    c.insertText(", re: ");
    insertMergeField(c, MergeField::Subject);
    c.insertText(" on ");
    insertMergeField(c, MergeField::Date);
    c.insertText(" (");
    insertMergeField(c, MergeField::Recipient);
    c.insertText(")");
    // Typing right after a field is not part of it.
    EXPECT_FALSE(mergeFieldOf(c.charFormat()));

    MergeSource source;
    source.recipient = "Ada Lovelace";
    source.subject = QString(150, u'x');
    source.now = QDateTime(QDate(2026, 3, 4), QTime(9, 5, 7));
    source.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    const int merged = mergeFields(doc, [&](MergeField f) { return mergeValue(f, source); });
    EXPECT_EQ(merged, 4);
    const QString date = source.locale.toString(QDate(2026, 3, 4), QLocale::ShortFormat);
    EXPECT_EQ(doc.toPlainText(),
              "Dear Ada Lovelace, re: " + QString(100, u'x') + " on " + date + " (Ada Lovelace)");
    // The runs stay fields, showing their values.
    const auto runs = fieldRuns(doc);
    ASSERT_EQ(runs.size(), 4u);
    EXPECT_EQ(runs[0].end - runs[0].start, 12);
    EXPECT_EQ(runs[1].end - runs[1].start, 100);

    // An empty value leaves nothing behind, and the next field is untouched.
    mergeFields(doc, [](MergeField f) { return f == MergeField::Recipient ? QString() : QStringLiteral("S"); });
    EXPECT_EQ(doc.toPlainText(), "Dear , re: S on S ()");
}

TEST(MergeField, TimeUsesTheLocaleLongFormat) {
    MergeSource source;
    source.now = QDateTime(QDate(2026, 3, 4), QTime(21, 5, 7));
    source.locale = QLocale(QLocale::German, QLocale::Germany);
    EXPECT_EQ(mergeValue(MergeField::Time, source), source.locale.toString(QTime(21, 5, 7), QLocale::LongFormat));
    EXPECT_TRUE(mergeValue(MergeField::Time, source).startsWith("21:05:07"));
}

TEST(MergeField, FieldsOfOtherWordProcessorsAreRead) {
    QTextDocument doc;
    // A field as LibreOffice writes a mail-merge field, one with a quoted name, and a
    // hyperlink field whose result is plain text.
    readRtf("{\\rtf1 A {\\field{\\*\\fldinst { MERGEFIELD Recipient \\\\* MERGEFORMAT }}"
            "{\\fldrslt {\\b [RECIPIENT]}}} B {\\field{\\*\\fldinst MERGEFIELD \"TIME\"}{\\fldrslt x}}"
            " C {\\field{\\*\\fldinst HYPERLINK \"http://example.org\"}{\\fldrslt link}}\\par}",
            doc);
    EXPECT_EQ(doc.toPlainText(), "A [RECIPIENT] B x C link");
    const auto runs = fieldRuns(doc);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_EQ(runs[0].field, MergeField::Recipient);
    EXPECT_EQ(runs[1].field, MergeField::Time);
}
