// xBase expressions: the operators and functions the log's keys and queries use, their
// typing, and clear refusals of bad text.
#include "faxlog/dbf_record.h"
#include "faxlog/xbase_expression.h"

#include <gtest/gtest.h>

namespace faxlog {
namespace {

class ExpressionTest : public ::testing::Test {
protected:
    Schema schema{{{"SUBJECT", FieldType::Character, 20, 0, 0},
                   {"SENT", FieldType::Logical, 1, 0, 0},
                   {"DATESENT", FieldType::Date, 8, 0, 0},
                   {"TIMESENT", FieldType::Character, 5, 0, 0},
                   {"PAGES", FieldType::Numeric, 2, 0, 0},
                   {"COST", FieldType::Numeric, 7, 2, 0},
                   {"DOC", FieldType::Memo, 10, 0, 0}}};
    std::string rec = blankRecord(schema);

    void set(const char* field, const char* text) {
        const auto& f = schema[static_cast<std::size_t>(schema.indexOf(field))];
        writeCharacter(rec, f, text);
    }
    Value eval(const std::string& text) {
        return Expression::compile(text, schema).evaluate(schema, {rec, 7});
    }
    bool test(const std::string& text) { return Expression::compile(text, schema).test(schema, {rec, 7}); }
    std::string error(const std::string& text) {
        try {
            Expression::compile(text, schema);
        } catch (const ExpressionError& e) {
            return std::to_string(e.position()) + ": " + e.what();
        }
        return "no error";
    }
};

TEST_F(ExpressionTest, KeyExpressionsOfTheLogTables) {
    set("SUBJECT", "Quarterly report");
    set("TIMESENT", "09:05");
    writeDate(rec, schema[2], XDate::fromYmd(2024, 3, 7));
    const auto key = Expression::compile("DTOS(DATESENT)+TIMESENT", schema);
    EXPECT_EQ(key.type(), ValueType::Character);
    EXPECT_EQ(key.width(), 13);
    EXPECT_EQ(key.evaluate(schema, {rec, 1}).str(), "2024030709:05");
    EXPECT_EQ(eval("upper(subject)").str(), "QUARTERLY REPORT    ");
    EXPECT_EQ(Expression::compile("UPPER(SUBJECT)", schema).width(), 20);
    EXPECT_EQ(eval("datesent").date(), XDate::fromYmd(2024, 3, 7));
    // Blank date: DTOS gives eight blanks so unsent faxes sort together.
    writeDate(rec, schema[2], XDate{});
    EXPECT_EQ(eval("DTOS(DATESENT)").str(), "        ");
}

TEST_F(ExpressionTest, LogicalOperatorsInEverySpelling) {
    writeLogical(rec, schema[1], true);
    for (const char* t : {".not. deleted()", "NOT DELETED()", "!deleted()", ".NOT.DELETED()",
                          "sent .and. .t.", "SENT AND .TRUE.", ".f. .or. sent", ".false. OR SENT",
                          "(sent)", ".not. .not. sent"})
        EXPECT_TRUE(test(t)) << t;
    rec[0] = '*';
    EXPECT_TRUE(test("DELETED()"));
    EXPECT_FALSE(test(".not. deleted()"));
    EXPECT_TRUE(Expression::compile(".not. deleted()", schema).isNotDeleted());
    EXPECT_TRUE(Expression::compile("NOT DELETED()", schema).isNotDeleted());
    EXPECT_FALSE(Expression::compile(".not. deleted() .and. sent", schema).isNotDeleted());
}

TEST_F(ExpressionTest, CleanupConditions) {
    set("SUBJECT", "  John Smith");
    // Exact match compares the trimmed, upper-cased field; partial match looks inside it.
    EXPECT_TRUE(test("ALLTRIM(UPPER(SUBJECT))==\"JOHN SMITH\""));
    EXPECT_FALSE(test("ALLTRIM(UPPER(SUBJECT))==\"SMITH\""));
    EXPECT_TRUE(test("\"SMITH\"$ALLTRIM(UPPER(SUBJECT))"));
    set("SUBJECT", "SMITHSON");
    EXPECT_TRUE(test("\"SMITH\"$ALLTRIM(UPPER(SUBJECT))"));
    // A blank search text matches nothing.
    EXPECT_FALSE(test("\"\"$ALLTRIM(UPPER(SUBJECT))"));

    // Before a date, never an empty date; the chosen day itself is kept.
    writeDate(rec, schema[2], XDate::fromYmd(2024, 5, 1));
    const std::string before = "(DATESENT<CTOD(\"05/02/24\")) .and. (.not. EMPTY(DATESENT))";
    EXPECT_TRUE(test(before));
    EXPECT_FALSE(test("(DATESENT<CTOD(\"05/01/24\")) .and. (.not. EMPTY(DATESENT))"));
    writeDate(rec, schema[2], XDate{});
    EXPECT_TRUE(test("DATESENT<CTOD(\"05/01/24\")")); // the empty date sorts first...
    EXPECT_FALSE(test(before));                     // ...which the EMPTY test excludes
    EXPECT_TRUE(test("EMPTY(DATESENT)"));
}

TEST_F(ExpressionTest, ComparisonsLiteralsAndArithmetic) {
    set("SUBJECT", "Invoice 12");
    writeNumber(rec, schema[4], 12);
    writeNumber(rec, schema[5], 3.5);
    writeDate(rec, schema[2], XDate::fromYmd(2023, 12, 31));
    EXPECT_TRUE(test("SUBJECT = 'Invoice'"));     // "=" compares as far as the right side goes
    EXPECT_FALSE(test("SUBJECT == 'Invoice'"));   // "==" is exact
    EXPECT_TRUE(test("SUBJECT <> [Bill]"));
    EXPECT_TRUE(test("SUBJECT # \"Bill\""));
    EXPECT_TRUE(test("'Inv' $ SUBJECT"));
    EXPECT_TRUE(test("PAGES >= 12 .and. PAGES <= 12 .and. PAGES > 11 .and. PAGES < 13"));
    EXPECT_DOUBLE_EQ(eval("PAGES * 2 + COST - 1").num(), 26.5);
    EXPECT_DOUBLE_EQ(eval("-PAGES % 5").num(), -2);
    EXPECT_TRUE(test("DATESENT = {12/31/2023}"));
    EXPECT_TRUE(test("DATESENT + 1 = {^2024-01-01}"));
    EXPECT_DOUBLE_EQ(eval("{01/10/2024} - DATESENT").num(), 10);
    EXPECT_TRUE(test("DATESENT = CTOD('12/31/2023')"));
    EXPECT_EQ(eval("DTOC(DATESENT)").str(), "12/31/2023");
    EXPECT_EQ(eval("'ab  ' - 'cd'").str(), "abcd  ");
    EXPECT_EQ(eval("SUBSTR(SUBJECT, 9, 2) + LEFT('xyz', 1) + RIGHT('xyz', 2)").str(), "12xyz");
    EXPECT_DOUBLE_EQ(eval("VAL('42') + LEN(TRIM(SUBJECT))").num(), 52);
    EXPECT_EQ(eval("STR(PAGES, 4)").str(), "  12");
    EXPECT_EQ(eval("IIF(PAGES > 10, 'many', 'few ')").str(), "many");
    EXPECT_DOUBLE_EQ(eval("RECNO()").num(), 7);
}

TEST_F(ExpressionTest, TwoDigitYearsFallNearToday) {
    const int thisYear = static_cast<int>(XDate::today().ymd().year());
    const int yy = thisYear % 100;
    char text[16];
    std::snprintf(text, sizeof text, "01/15/%02d", yy);
    EXPECT_EQ(static_cast<int>(XDate::fromMdy(text).ymd().year()), thisYear);
    std::snprintf(text, sizeof text, "01/15/%02d", (yy + 21) % 100);
    EXPECT_EQ(static_cast<int>(XDate::fromMdy(text).ymd().year()), thisYear + 21 - 100);
    EXPECT_TRUE(XDate::fromMdy("02/30/2024").empty());
    EXPECT_TRUE(XDate::fromMdy("garbage").empty());
    EXPECT_EQ(XDate::fromMdy("3.7.2024"), XDate::fromYmd(2024, 3, 7)); // other separators
}

TEST_F(ExpressionTest, UpperFollowsTheTableCodePage) {
    set("SUBJECT", "caf\xE9 \x9A"); // Windows-1252 é and š
    EXPECT_EQ(eval("UPPER(SUBJECT)").str().substr(0, 6), "CAF\xC9 \x8A");
    // A UTF-8 literal is compared in the table's code page.
    EXPECT_TRUE(test("UPPER(SUBJECT) = 'CAFÉ'"));
}

TEST_F(ExpressionTest, BadExpressionsAreRefusedWithThePosition) {
    const std::pair<const char*, const char*> cases[] = {
        {"", "empty expression"},
        {"SUBJECT = ", "ends too early"},
        {"NOSUCH = 'x'", "unknown field NOSUCH"},
        {"SUBJECT = 5", "cannot compare character with numeric"},
        {"PAGES + 'x'", "cannot add"},
        {"DATESENT .and. SENT", ".AND. needs a logical"},
        {"UPPER(PAGES)", "UPPER() needs a character"},
        {"DTOS()", "takes 1 argument"},
        {"FOO(SUBJECT)", "unknown function FOO()"},
        {"'unterminated", "closing '"},
        {"\"SMITH\"\"$ALLTRIM(UPPER(SUBJECT))", "without its closing"}, // a quote inside the text
        {"SUBJECT = 'a' )", "unexpected ')'"},
        {".maybe.", "unknown word"},
        {"{13/45/2024}", "not a date"},
        {"DOC = 'x'", "memo field DOC"},
        {"SUBJECT @ 'x'", "unexpected character '@'"},
    };
    for (const auto& [text, what] : cases)
        EXPECT_NE(error(text).find(what), std::string::npos) << text << " -> " << error(text);
    EXPECT_EQ(error("SUBJECT = 5").substr(0, 2), "8:");
    EXPECT_NE(error("SUBJECT = 5").find("SUBJECT = 5"), std::string::npos);
    // A non-logical expression cannot be used as a condition.
    EXPECT_THROW(test("SUBJECT"), ExpressionError);
}

// Widths, counts, decimals, day counts and nesting are bounded: a mistyped or hostile
// expression (also one read from an index file) is an ExpressionError, never a crash, an
// overflowing conversion or a huge allocation.
TEST_F(ExpressionTest, OutOfBoundsArgumentsAreExpressionErrors) {
    writeDate(rec, schema[2], XDate::fromYmd(2024, 3, 7));
    const char* atCompile[] = {"LEFT(SUBJECT,10000000000)", "RIGHT(SUBJECT,70000)", "SUBSTR(SUBJECT,1,100000000000000000000)",
                               "STR(PAGES,9999999999)", "STR(PAGES,0)", "STR(PAGES,10,2147483647)"};
    for (const char* text : atCompile)
        EXPECT_NE(error(text).find("must be"), std::string::npos) << text << " -> " << error(text);
    const char* atEvaluation[] = {"STR(PAGES,0-1)",
                                  "STR(PAGES,9999999999+0)",
                                  "STR(PAGES,10,2147483647+0)",
                                  "STR(PAGES,10,0-5)",
                                  "LEFT(SUBJECT,10000000000+0)",
                                  "RIGHT(SUBJECT,0-10000000000)",
                                  "SUBSTR(SUBJECT,1,VAL('nan'))",
                                  "SUBSTR(SUBJECT,VAL('nan'))",
                                  "DTOS(DATESENT+100000000000000000000)",
                                  "DTOS(DATESENT-4000000)",
                                  "DTOS(DATESENT+3000000)",
                                  "DTOS(DATESENT+VAL('inf'))"};
    for (const char* text : atEvaluation) {
        const auto e = Expression::compile(text, schema);
        try {
            e.evaluate(schema, {rec, 7});
            ADD_FAILURE() << text << " evaluated";
        } catch (const ExpressionError& x) {
            EXPECT_NE(std::string(x.what()).find(text), std::string::npos) << x.what();
        }
    }
    // Values inside the bounds keep their meaning.
    EXPECT_EQ(eval("STR(PAGES,3+0,1)").str(), "0.0");
    EXPECT_EQ(eval("STR(12345,2+1)").str(), "***");
    EXPECT_EQ(eval("LEFT(SUBJECT,65535)").str().size(), 20u);
    EXPECT_EQ(eval("SUBSTR(SUBJECT," + std::string(300, '9') + ")").str(), "");
    EXPECT_EQ(eval("DTOS(DATESENT+3000)").str(), "20320524");
    EXPECT_EQ(eval("DTOS(DATESENT-730000)").str(), "00250705");

    // Nesting: a few levels are fine, thousands are refused before the stack runs out.
    EXPECT_EQ(eval(std::string(60, '(') + "PAGES" + std::string(60, ')')).num(), 0);
    for (const std::string& deep :
         {std::string(2000, '(') + "PAGES" + std::string(2000, ')'), std::string(5000, '-') + "PAGES",
          std::string(3000, '!') + "SENT", [] {
              std::string s = "UPPER(";
              for (int i = 0; i < 2000; ++i)
                  s += "LOWER(";
              return s + "SUBJECT" + std::string(2001, ')');
          }()})
        EXPECT_NE(error(deep).find("levels deep"), std::string::npos) << deep.substr(0, 20);
    std::string chain = "PAGES";
    for (int i = 0; i < 100000; ++i)
        chain += "+1";
    EXPECT_NE(error(chain).find("in a chain"), std::string::npos);
}

} // namespace
} // namespace faxlog
