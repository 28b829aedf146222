// Text in the East Asian double-byte code pages: byte pairs read as one character, as
// LibreOffice reads the same bytes; broken pairs lose nothing that follows them.
#include "rich_test_support.h"

#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace workflow::richtext;
using namespace workflow::testing;

namespace {

struct DoubleByteSample {
    int codePage;
    int charset;
    const char* python; // the codec name in Python's library
    const char* utf8;
};

const DoubleByteSample kSamples[] = {
    {932, 128, "cp932", "日本語のテキスト、ソ表ｱｲｳ"}, // ソ and 表 have '\' as their trail byte
    {936, 134, "gbk", "中文文本，简体字"},
    {949, 129, "cp949", "한국어 텍스트"},
    {950, 136, "big5", "中文繁體字"},
};

// The text in the code page as Python's codecs write it (a second implementation).
std::string encoded(const DoubleByteSample& s) {
    int status = 0;
    const std::string bytes = runCommand(std::string("/usr/bin/python3 -c \"import sys; sys.stdout.buffer.write('") +
                                             s.utf8 + "'.encode('" + s.python + "'))\"",
                                         &status);
    EXPECT_EQ(status, 0) << s.python;
    return bytes;
}

// RTF text for the bytes: high bytes as \'hh, ASCII as it is (trail bytes in the ASCII
// range stay literal, as some writers leave them), and the three RTF specials escaped.
std::string rtfText(const std::string& bytes) {
    std::string out;
    static const char* hex = "0123456789abcdef";
    for (unsigned char b : bytes) {
        if (b >= 0x80 || b == '\\' || b == '{' || b == '}')
            out += std::string("\\'") + hex[b >> 4] + hex[b & 15];
        else
            out += static_cast<char>(b);
    }
    return out;
}

std::string toStd(const QByteArray& b) { return std::string(b.constData(), static_cast<std::size_t>(b.size())); }

} // namespace

TEST(DoubleByteText, PairsReadAsOneCharacterLikeLibreOfficeReadsThem) {
    // One paragraph per code page, each through a font's charset; the same text again
    // through the document's code page.
    std::string fonts = "{\\fonttbl{\\f0 Arial;}", paragraphs;
    QStringList expected;
    for (const DoubleByteSample& s : kSamples) {
        const std::string text = rtfText(encoded(s));
        const std::string f = std::to_string(s.charset);
        fonts += "{\\f" + f + "\\fcharset" + f + " Font" + f + ";}";
        paragraphs += "\\f0 A\\f" + f + " " + text + "\\f0 \\'e9\\par\n";
        expected << QString::fromUtf8("A") + QString::fromUtf8(s.utf8) + QChar(0xE9);

        QTextDocument doc;
        readRtf("{\\rtf1\\ansi\\ansicpg" + std::to_string(s.codePage) + " " + text + "\\par}", doc);
        EXPECT_EQ(doc.toPlainText(), QString::fromUtf8(s.utf8)) << s.codePage;
    }
    const std::string rtf = "{\\rtf1\\ansi\\ansicpg1252" + fonts + "}\n" + paragraphs + "}";
    QTextDocument doc;
    readRtf(rtf, doc);
    EXPECT_EQ(doc.toPlainText(), expected.join(u'\n'));

    // Our own writer keeps the text, as \uN with a fallback.
    QTextDocument back;
    readRtf(toStd(writeRtf(doc)), back);
    EXPECT_EQ(back.toPlainText(), doc.toPlainText());

    if (!requireProgram("soffice"))
        return;
    TempDir dir;
    writeFile(dir.path / "dbcs.rtf", rtf);
    int status = 0;
    runCommand("cd '" + dir.path.string() + "' && HOME='" + dir.path.string() +
                   "' timeout 180 soffice --headless --convert-to 'txt:Text (encoded):UTF8' dbcs.rtf >/dev/null 2>&1",
               &status);
    EXPECT_EQ(status, 0);
    std::string office = readFile(dir.path / "dbcs.txt");
    if (office.rfind("\xEF\xBB\xBF", 0) == 0)
        office.erase(0, 3);
    EXPECT_EQ(QString::fromUtf8(office).trimmed().split(QRegularExpression("\\r?\\n")), expected) << "LibreOffice";
}

TEST(DoubleByteText, ALeadByteWithoutItsTrailSwallowsNothing) {
    QTextDocument doc;
    auto read = [&](const std::string& body) {
        readRtf("{\\rtf1\\ansi\\ansicpg932 " + body + "}", doc);
        return doc.toPlainText();
    };
    const QString bad(QChar::ReplacementCharacter);
    EXPECT_EQ(read("a\\'93}b"), "a" + bad + "b");                       // group ends
    EXPECT_EQ(read("a\\'93\\par b"), "a" + bad + "\nb");                 // control word
    EXPECT_EQ(read("a\\'93 b"), "a" + bad + " b");                       // not a trail byte
    EXPECT_EQ(read("a\\'93{\\b b}"), "a" + bad + "b");                   // group opens
    EXPECT_EQ(read("a\\'93"), "a" + bad);                                // document ends
    EXPECT_EQ(read("\\'83e\\'b1"), QString::fromUtf8("テｱ"));             // literal trail; half-width kana
    // A \u character's fallback is the pair: both bytes are skipped.
    EXPECT_EQ(read("\\uc2\\u26085\\'93\\'fa x"), QString::fromUtf8("日 x"));
    EXPECT_EQ(read("\\uc1\\u26085\\'93\\'fa x"), QString::fromUtf8("日") + bad + " x");

    // Font names are in their font's charset too.
    readRtf("{\\rtf1\\ansi{\\fonttbl{\\f1\\fcharset128 \\'82\\'6c\\'82\\'72 \\'96\\'be\\'92\\'a9;}}\\f1 x}", doc);
    QTextCursor c(&doc);
    c.setPosition(1);
    EXPECT_EQ(c.charFormat().fontFamilies().toStringList().value(0), QString::fromUtf8("ＭＳ 明朝"));
}
