#include "workflow/richtext/rtf_writer.h"

#include "workflow/richtext/merge_field.h"
#include "workflow/richtext/rtf_codepage.h"

#include <QBuffer>
#include <QImage>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextFrame>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <map>

namespace workflow::richtext {

namespace {

constexpr int kHexBytesPerLine = 64;

int tw(double units) { return twipsFromUnits(units); }

QString familyOf(const QTextCharFormat& f, const QTextDocument& doc) {
    const QStringList families = f.fontFamilies().toStringList();
    if (!families.isEmpty() && !families.first().isEmpty())
        return families.first();
    return doc.defaultFont().family();
}

class RtfWriter {
public:
    RtfWriter(const QTextDocument& doc, const PageSetup& page) : doc_(doc), page_(page) {}
    QByteArray run();

private:
    void collectFonts();
    void frame(const QTextFrame* frame);
    void table(const QTextTable* table, int level);
    void rowDefinition(const std::vector<int>& edges);
    void cellContents(const QTextTableCell& cell, int level);
    void block(const QTextBlock& block, int tableLevel, bool lastInCell);
    void paragraphFormat(const QTextBlockFormat& f, int tableLevel);
    void fragment(const QTextFragment& fragment);
    void charFormat(const QTextCharFormat& f);
    void picture(const QTextImageFormat& f);
    void text(QStringView s);

    const QTextDocument& doc_;
    PageSetup page_;
    QByteArray out_;
    std::map<QString, int> fonts_;
};

void RtfWriter::collectFonts() {
    fonts_.emplace(doc_.defaultFont().family(), 0);
    for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next())
        for (auto it = b.begin(); !it.atEnd(); ++it)
            fonts_.emplace(familyOf(it.fragment().charFormat(), doc_), static_cast<int>(fonts_.size()));
}

QByteArray RtfWriter::run() {
    collectFonts();
    out_ += "{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n{\\fonttbl";
    std::vector<std::pair<int, QString>> byNumber;
    for (const auto& [name, n] : fonts_)
        byNumber.emplace_back(n, name);
    std::sort(byNumber.begin(), byNumber.end());
    for (const auto& [n, name] : byNumber) {
        out_ += "{\\f" + QByteArray::number(n) + "\\fnil\\fcharset0 ";
        text(name);
        out_ += ";}";
    }
    out_ += "}\n{\\colortbl;\\red0\\green0\\blue0;}\n";
    out_ += "\\paperw" + QByteArray::number(page_.paperWidthTw) + "\\paperh" +
            QByteArray::number(page_.paperHeightTw) + "\\margl" + QByteArray::number(page_.marginLeftTw) +
            "\\margr" + QByteArray::number(page_.marginRightTw) + "\\margt" +
            QByteArray::number(page_.marginTopTw) + "\\margb" + QByteArray::number(page_.marginBottomTw) +
            "\n";
    frame(doc_.rootFrame());
    out_ += "}\n";
    return out_;
}

void RtfWriter::frame(const QTextFrame* f) {
    for (auto it = f->begin(); !it.atEnd(); ++it) {
        if (QTextFrame* child = it.currentFrame()) {
            if (const auto* t = qobject_cast<const QTextTable*>(child))
                table(t, 1);
            else
                frame(child);
        } else if (it.currentBlock().isValid()) {
            // The layout keeps an empty paragraph in front of every table; a reader makes
            // it again, so writing it would add one paragraph per round trip.
            auto next = it;
            ++next;
            if (it.currentBlock().length() == 1 && !next.atEnd() &&
                qobject_cast<const QTextTable*>(next.currentFrame()))
                continue;
            block(it.currentBlock(), 0, false);
        }
    }
}

// A table at level 1 lies in the body, at level 2 in a cell of a level-1 table, and so
// on. Nested rows end with \nestrow in a nesttableprops group that carries their row
// definition; readers that know no nesting read the \nonesttables paragraph instead.
void RtfWriter::table(const QTextTable* t, int level) {
    const QTextTableFormat format = t->format();
    const QList<QTextLength> widths = format.columnWidthConstraints();
    const int columns = t->columns();
    const double textWidthTw = page_.paperWidthTw - page_.marginLeftTw - page_.marginRightTw;
    std::vector<int> edges;
    double edge = 0;
    for (int c = 0; c < columns; ++c) {
        double w = textWidthTw / std::max(columns, 1);
        if (c < widths.size()) {
            const QTextLength& l = widths[c];
            if (l.type() == QTextLength::FixedLength)
                w = l.rawValue() * kTwipsPerUnit;
            else if (l.type() == QTextLength::PercentageLength)
                w = textWidthTw * l.rawValue() / 100.0;
        }
        edge += std::max(w, 150.0);
        edges.push_back(static_cast<int>(std::lround(edge)));
    }
    for (int r = 0; r < t->rows(); ++r) {
        if (level == 1)
            rowDefinition(edges);
        for (int c = 0; c < columns; ++c) {
            const QTextTableCell cell = t->cellAt(r, c);
            if (!cell.isValid() || cell.row() != r || cell.column() != c) {
                // covered by a spanning cell
                out_ += level == 1 ? "\\pard\\intbl\\cell\n"
                                   : "\\pard\\intbl\\itap" + QByteArray::number(level) + "\\nestcell\n";
                continue;
            }
            cellContents(cell, level);
        }
        if (level == 1) {
            out_ += "\\row\n";
        } else {
            out_ += "{\\*\\nesttableprops";
            rowDefinition(edges);
            out_ += "\\nestrow}{\\nonesttables\\par}\n";
        }
    }
    if (level == 1)
        out_ += "\\pard\n";
}

void RtfWriter::rowDefinition(const std::vector<int>& edges) {
    out_ += "\\trowd\\trgaph60";
    for (int e : edges)
        out_ += "\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                "\\clbrdrr\\brdrs\\brdrw10\\cellx" +
                QByteArray::number(e);
    out_ += "\n";
}

void RtfWriter::cellContents(const QTextTableCell& cell, int level) {
    // The cell must end with a paragraph of its own level, which a table cannot give.
    bool endedWithParagraph = false;
    for (auto it = cell.begin(); !it.atEnd(); ++it) {
        auto next = it;
        ++next;
        if (const auto* nested = qobject_cast<const QTextTable*>(it.currentFrame())) {
            table(nested, level + 1);
            endedWithParagraph = false;
            continue;
        }
        if (it.currentFrame())
            continue;
        // As in the body, the empty paragraph in front of a table is made again by readers.
        if (it.currentBlock().length() == 1 && !next.atEnd() && qobject_cast<const QTextTable*>(next.currentFrame()))
            continue;
        block(it.currentBlock(), level, next.atEnd());
        endedWithParagraph = next.atEnd();
    }
    if (!endedWithParagraph)
        out_ += level == 1 ? "\\pard\\intbl\\cell\n"
                           : "\\pard\\intbl\\itap" + QByteArray::number(level) + "\\nestcell\n";
}

void RtfWriter::paragraphFormat(const QTextBlockFormat& f, int tableLevel) {
    out_ += "\\pard\\plain";
    if (tableLevel > 0)
        out_ += "\\intbl";
    if (tableLevel > 1)
        out_ += "\\itap" + QByteArray::number(tableLevel);
    const Qt::Alignment a = f.alignment() & Qt::AlignHorizontal_Mask;
    if (a & Qt::AlignHCenter)
        out_ += "\\qc";
    else if (a & Qt::AlignJustify)
        out_ += "\\qj";
    else if (a & (Qt::AlignRight | Qt::AlignTrailing) && !(a & Qt::AlignLeft))
        out_ += "\\qr";
    else
        out_ += "\\ql";
    auto length = [&](const char* word, double units) {
        const int t = tw(units);
        if (t != 0)
            out_ += QByteArray("\\") + word + QByteArray::number(t);
    };
    length("li", f.leftMargin() + f.indent() * doc_.indentWidth());
    length("ri", f.rightMargin());
    length("fi", f.textIndent());
    length("sb", f.topMargin());
    length("sa", f.bottomMargin());
    switch (f.lineHeightType()) {
    case QTextBlockFormat::ProportionalHeight:
        if (std::lround(f.lineHeight()) != 100)
            out_ += "\\sl" + QByteArray::number(std::lround(f.lineHeight() * 240 / 100)) + "\\slmult1";
        break;
    case QTextBlockFormat::MinimumHeight:
        out_ += "\\sl" + QByteArray::number(tw(f.lineHeight())) + "\\slmult0";
        break;
    case QTextBlockFormat::FixedHeight:
        out_ += "\\sl-" + QByteArray::number(tw(f.lineHeight())) + "\\slmult0";
        break;
    default: break;
    }
    for (const QTextOption::Tab& tab : f.tabPositions()) {
        switch (tab.type) {
        case QTextOption::RightTab: out_ += "\\tqr"; break;
        case QTextOption::CenterTab: out_ += "\\tqc"; break;
        case QTextOption::DelimiterTab: out_ += "\\tqdec"; break;
        case QTextOption::LeftTab: break;
        }
        out_ += "\\tx" + QByteArray::number(tw(tab.position));
    }
    if (f.pageBreakPolicy() & QTextFormat::PageBreak_AlwaysBefore)
        out_ += "\\pagebb";
    out_ += " ";
}

void RtfWriter::block(const QTextBlock& b, int tableLevel, bool lastInCell) {
    paragraphFormat(b.blockFormat(), tableLevel);
    for (auto it = b.begin(); !it.atEnd(); ++it)
        fragment(it.fragment());
    if (!lastInCell)
        out_ += "\\par\n";
    else
        out_ += tableLevel > 1 ? "\\nestcell\n" : "\\cell\n";
}

void RtfWriter::charFormat(const QTextCharFormat& f) {
    out_ += "\\f" + QByteArray::number(fonts_[familyOf(f, doc_)]);
    const double points = f.fontPointSize() > 0 ? f.fontPointSize() : doc_.defaultFont().pointSizeF();
    out_ += "\\fs" + QByteArray::number(std::max(2L, std::lround(points * 2)));
    if (f.fontWeight() >= QFont::DemiBold)
        out_ += "\\b";
    if (f.fontItalic())
        out_ += "\\i";
    if (f.fontUnderline())
        out_ += "\\ul";
    if (f.fontStrikeOut())
        out_ += "\\strike";
    if (f.verticalAlignment() == QTextCharFormat::AlignSuperScript)
        out_ += "\\super";
    else if (f.verticalAlignment() == QTextCharFormat::AlignSubScript)
        out_ += "\\sub";
    out_ += " ";
}

void RtfWriter::fragment(const QTextFragment& fr) {
    const QTextCharFormat f = fr.charFormat();
    const QString s = fr.text();
    if (f.isImageFormat()) {
        for (int i = 0; i < s.size(); ++i)
            picture(f.toImageFormat());
        return;
    }
    const auto field = mergeFieldOf(f);
    if (field) {
        out_ += "{\\field{\\*\\fldinst  MERGEFIELD " + instructionName(*field).toLatin1() +
                " }{\\fldrslt {";
        charFormat(f);
        text(s);
        out_ += "}}}";
        return;
    }
    out_ += "{";
    charFormat(f);
    text(s);
    out_ += "}";
}

void RtfWriter::picture(const QTextImageFormat& f) {
    const QVariant resource = doc_.resource(QTextDocument::ImageResource, QUrl(f.name()));
    QImage image = resource.value<QImage>();
    if (image.isNull())
        return;
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        return;
    const double w = f.width() > 0 ? f.width() : image.width();
    const double h = f.height() > 0 ? f.height() : image.height();
    out_ += "{\\pict\\pngblip\\picw" + QByteArray::number(image.width()) + "\\pich" +
            QByteArray::number(image.height()) + "\\picwgoal" + QByteArray::number(tw(w)) +
            "\\pichgoal" + QByteArray::number(tw(h)) + "\n";
    const QByteArray hex = png.toHex();
    for (qsizetype i = 0; i < hex.size(); i += 2 * kHexBytesPerLine) {
        out_ += hex.mid(i, 2 * kHexBytesPerLine);
        out_ += "\n";
    }
    out_ += "}";
}

void RtfWriter::text(QStringView s) {
    for (const QChar qc : s) {
        const char16_t c = qc.unicode();
        switch (c) {
        case u'\\': out_ += "\\\\"; continue;
        case u'{': out_ += "\\{"; continue;
        case u'}': out_ += "\\}"; continue;
        case u'\t': out_ += "\\tab "; continue;
        case 0x2028: case 0x2029: case u'\n': out_ += "\\line "; continue;
        case 0x00A0: out_ += "\\~"; continue;
        default: break;
        }
        if (c < 0x20)
            continue;
        if (c < 0x80) {
            out_ += static_cast<char>(c);
        } else if (const auto b = encodeWindows1252(c)) {
            out_ += "\\'" + QByteArray::number(*b, 16).rightJustified(2, '0');
        } else {
            out_ += "\\u" + QByteArray::number(static_cast<qint16>(c)) + "?";
        }
    }
}

} // namespace

QByteArray writeRtf(const QTextDocument& document, const PageSetup& page) {
    RtfWriter writer(document, page);
    return writer.run();
}

} // namespace workflow::richtext
