#include "workflow/richtext/rtf_reader.h"

#include "workflow/richtext/merge_field.h"
#include "workflow/richtext/metafile_player.h"
#include "workflow/richtext/rich_units.h"
#include "workflow/richtext/rtf_codepage.h"

#include <QImage>
#include <QPainter>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextTable>
#include <QUrl>

#include <algorithm>
#include <cstring>
#include <map>
#include <optional>
#include <vector>

namespace workflow::richtext {

std::string_view to_string(RtfReadStatus status) {
    switch (status) {
    case RtfReadStatus::Ok: return "ok";
    case RtfReadStatus::NotRtf: return "not RTF";
    case RtfReadStatus::Truncated: return "truncated";
    case RtfReadStatus::Empty: return "empty";
    }
    return "?";
}

QString RtfReadResult::message() const {
    switch (status) {
    case RtfReadStatus::Ok: return {};
    case RtfReadStatus::NotRtf:
        return QStringLiteral("The document is not in rich text format; it was read as plain text.");
    case RtfReadStatus::Truncated:
        return QStringLiteral("The rich text document is cut off; the part that could be read is shown.");
    case RtfReadStatus::Empty: return QStringLiteral("The document is empty.");
    }
    return {};
}

bool looksLikeRtf(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size() && (bytes[i] == ' ' || bytes[i] == '\t' || bytes[i] == '\r' || bytes[i] == '\n'))
        ++i;
    return bytes.substr(i, 5) == "{\\rtf";
}

namespace {

constexpr int kDefaultHalfPoints = 24;
constexpr std::size_t kMaxControlWordLetters = 32;
constexpr int kMaxControlDigits = 10;
// Lengths beyond 22 inches are clamped: no page is that large, and a paragraph squeezed
// to nothing by a wild indent would lay out one glyph per line.
constexpr int kMaxLengthTw = 31680;

int clampTw(int twips) { return std::clamp(twips, -kMaxLengthTw, kMaxLengthTw); }

enum class Dest { Text, Skip, FontTable, ColorTable, Picture, FieldInstruction };

struct CharState {
    int font = -1;
    int halfPoints = kDefaultHalfPoints;
    bool bold = false;
    bool italic = false;
    bool underline = false;
    bool strike = false;
    bool hidden = false;
    int vertical = 0; // 1 raised, -1 lowered
    std::optional<MergeField> field;
};

struct ParaState {
    Qt::Alignment align = Qt::AlignLeft;
    int leftTw = 0, rightTw = 0, firstTw = 0, beforeTw = 0, afterTw = 0;
    int lineTw = 0;
    bool lineMultiple = false;
    bool pageBreakBefore = false;
    bool inTable = false;
    int nestLevel = 1; // \itap: 1 for a table in the body, 2 for a table in its cells...
    QList<QTextOption::Tab> tabs;
    QTextOption::TabType nextTabType = QTextOption::LeftTab;
};

struct Group {
    CharState chr;
    ParaState para;
    Dest dest = Dest::Text;
    int unicodeSkip = 1;
    bool opensField = false;
    bool opensPicture = false;
};

enum class PictureKind { None, Png, Jpeg, Dib, Wmf, Emf, Unsupported };

struct Picture {
    PictureKind kind = PictureKind::None;
    int width = 0, height = 0;         // \picw \pich
    int goalWidthTw = 0, goalHeightTw = 0;
    int scaleX = 100, scaleY = 100;
    QByteArray data;
    int highNibble = -1;
    bool tooBig = false;
};

struct Font {
    QString name;
    int codePage = 0;
};

int hexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

// Destinations whose text is not document text (skipped with their groups).
bool isSkippedDestination(std::string_view w) {
    static constexpr std::string_view kSkipped[] = {
        "stylesheet", "info",     "header",   "headerl",   "headerr",   "headerf",
        "footer",     "footerl",  "footerr",  "footerf",   "footnote",  "pgdsctbl",
        "listtable",  "listoverridetable",    "revtbl",    "rsidtbl",   "generator",
        "xmlnstbl",   "themedata", "colorschememapping",   "latentstyles", "datastore",
        "ftnsep",     "ftnsepc",  "aftnsep",  "aftnsepc",  "pntxta",    "pntxtb",
        "nonshppict", "object",   "annotation", "atnid",   "atnauthor", "template",
        "filetbl",    "pgptbl",   "private",  "bkmkstart", "bkmkend",   "xe",
        "tc",         "txe",      "userprops", "docvar",   "mmathPr",   "fldtype",
        "title",      "subject",  "author",   "operator",  "keywords",  "comment",
        "doccomm",    "company",  "category", "manager",   "hlinkbase", "picprop",
        "blipuid",    "falt",     "panose",   "fname",     "protusertbl", "wgrffmtfilter",
        "passwordhash", "xmlopen", "xmlclose", "formfield", "datafield", "shpinst",
        "shptxt",     "do",       "ud",       "nonesttables",
    };
    for (auto s : kSkipped)
        if (s == w)
            return true;
    return false;
}

struct OpenTable {
    QTextTable* table = nullptr;
    int row = 0, cell = 0;
    bool cellMovePending = false, rowPending = false;
    bool widthsSet = false;
};

class RtfParser {
public:
    RtfParser(std::string_view in, QTextDocument& doc) : in_(in), doc_(doc), cursor_(&doc) {}

    RtfReadResult run();

private:
    Group& top() { return stack_.back(); }
    void pushGroup();
    void popGroup();
    void controlWord();
    void controlSymbol(char c);
    void word(std::string_view w, bool hasParam, int param);
    void textWord(std::string_view w, bool hasParam, int param);
    void byte(unsigned char b, bool fromHex);
    void putChar(char32_t ch);
    void flushText();
    QTextCharFormat charFormat() const;
    QTextBlockFormat blockFormat() const;
    void finishBlock();
    void endParagraph();
    void pageBreak();
    void prepareInsert();
    void openTable();
    void closeTable();
    void moveToPendingCell(OpenTable& t);
    void setColumnWidths(OpenTable& t);
    void cell(int level);
    void row(int level);
    void dropLoneLead();
    void endPicture(Picture& picture);
    void readBinary(int count);
    int codePage() const;

    std::string_view in_;
    std::size_t pos_ = 0;
    QTextDocument& doc_;
    QTextCursor cursor_;
    std::vector<Group> stack_;
    int overflowDepth_ = 0;
    bool star_ = false;
    int skipChars_ = 0;
    char16_t highSurrogate_ = 0;
    QString pending_;
    bool lastWasPar_ = false;
    bool pageBreakNext_ = false;
    bool sawRtf_ = false;
    int defaultFont_ = 0;
    int ansiCodePage_ = 1252;

    std::map<int, Font> fonts_;
    int fontEntry_ = -1;
    QString fontName_;

    struct FieldContext {
        QString instruction;
        std::size_t depth = 0;
    };
    std::vector<FieldContext> fields_;

    std::vector<Picture> pictures_; // one per open picture group
    int pictureCount_ = 0;
    int skippedPictures_ = 0;

    // The open tables, outermost first: a nested table lives in a cell of the one before.
    std::vector<OpenTable> tables_;
    std::vector<int> rowCellEdgesTw;
    int rowLeftTw_ = 0;
    int pendingLead_ = -1; // a double-byte lead byte waiting for its trail byte
    int pendingLeadCodePage_ = 0;
};

RtfReadResult RtfParser::run() {
    doc_.clear();
    cursor_ = QTextCursor(&doc_);
    stack_.emplace_back();
    cursor_.beginEditBlock();
    while (pos_ < in_.size()) {
        const char c = in_[pos_];
        if (c == '{') {
            ++pos_;
            pushGroup();
        } else if (c == '}') {
            ++pos_;
            popGroup();
        } else if (c == '\\') {
            ++pos_;
            if (pos_ >= in_.size())
                break;
            if (isLetter(in_[pos_]))
                controlWord();
            else
                controlSymbol(in_[pos_++]);
        } else if (c == '\r' || c == '\n') {
            ++pos_;
        } else {
            ++pos_;
            byte(static_cast<unsigned char>(c), false);
        }
    }
    const bool truncated = stack_.size() > 1 || overflowDepth_ > 0;
    while (stack_.size() > 1)
        popGroup();
    dropLoneLead();
    flushText();
    while (!tables_.empty())
        closeTable();
    finishBlock();
    // A final \par ends the last paragraph; it does not start an empty one.
    if (lastWasPar_ && doc_.blockCount() > 1 && doc_.lastBlock().length() == 1) {
        const QTextBlock previous = doc_.lastBlock().previous();
        QTextCursor c(&doc_);
        c.movePosition(QTextCursor::End);
        if (!c.currentTable() && !QTextCursor(previous).currentTable()) {
            const QTextBlockFormat keep = previous.blockFormat();
            c.deletePreviousChar();
            c.setBlockFormat(keep);
        }
    }
    cursor_.endEditBlock();
    RtfReadResult result;
    result.skippedPictures = skippedPictures_;
    if (truncated)
        result.status = RtfReadStatus::Truncated;
    return result;
}

void RtfParser::pushGroup() {
    dropLoneLead();
    flushText();
    if (stack_.size() >= static_cast<std::size_t>(kRtfMaxGroupDepth)) {
        ++overflowDepth_; // deeper groups share their parent's state
        return;
    }
    Group g = top();
    g.opensField = false;
    g.opensPicture = false;
    stack_.push_back(std::move(g));
    star_ = false;
    skipChars_ = 0;
}

void RtfParser::popGroup() {
    dropLoneLead();
    flushText();
    skipChars_ = 0;
    star_ = false;
    if (overflowDepth_ > 0) {
        --overflowDepth_;
        return;
    }
    if (stack_.size() <= 1)
        return; // a stray closing brace
    Group closing = std::move(stack_.back());
    stack_.pop_back();
    if (closing.dest == Dest::FontTable && fontEntry_ >= 0 && !fontName_.trimmed().isEmpty()) {
        fonts_[fontEntry_].name = fontName_.trimmed();
        fontName_.clear();
    }
    if (closing.opensPicture && !pictures_.empty()) {
        Picture picture = std::move(pictures_.back());
        pictures_.pop_back();
        if (top().dest != Dest::Skip)
            endPicture(picture);
    }
    if (closing.opensField && !fields_.empty())
        fields_.pop_back();
}

void RtfParser::controlWord() {
    const std::size_t start = pos_;
    while (pos_ < in_.size() && isLetter(in_[pos_]) && pos_ - start < kMaxControlWordLetters)
        ++pos_;
    while (pos_ < in_.size() && isLetter(in_[pos_]))
        ++pos_; // an over-long word: the rest of it is dropped
    const std::string_view w = in_.substr(start, std::min(pos_ - start, kMaxControlWordLetters));
    bool negative = false;
    bool hasParam = false;
    long long value = 0;
    if (pos_ < in_.size() && in_[pos_] == '-' && pos_ + 1 < in_.size() && isDigit(in_[pos_ + 1])) {
        negative = true;
        ++pos_;
    }
    int digits = 0;
    while (pos_ < in_.size() && isDigit(in_[pos_])) {
        if (digits++ < kMaxControlDigits)
            value = value * 10 + (in_[pos_] - '0');
        hasParam = true;
        ++pos_;
    }
    if (pos_ < in_.size() && in_[pos_] == ' ')
        ++pos_;
    value = std::clamp<long long>(negative ? -value : value, -2147483647LL, 2147483647LL);
    word(w, hasParam, static_cast<int>(value));
}

void RtfParser::controlSymbol(char c) {
    switch (c) {
    case '\'': {
        if (pos_ + 1 < in_.size()) {
            const int hi = hexValue(in_[pos_]), lo = hexValue(in_[pos_ + 1]);
            pos_ += 2;
            if (hi >= 0 && lo >= 0)
                byte(static_cast<unsigned char>(hi * 16 + lo), true);
        } else {
            pos_ = in_.size();
        }
        return;
    }
    case '\\': case '{': case '}': byte(static_cast<unsigned char>(c), true); return;
    default: break;
    }
    dropLoneLead();
    switch (c) {
    case '*': star_ = true; return;
    case '~': putChar(0x00A0); return;
    case '_': putChar(0x2011); return;
    case '-': if (skipChars_ > 0) --skipChars_; return; // optional hyphen
    case '\r': case '\n': if (top().dest == Dest::Text) endParagraph(); return;
    case '\t': putChar(u'\t'); return;
    default: if (skipChars_ > 0) --skipChars_; return;
    }
}

int RtfParser::codePage() const {
    const int font = stack_.back().chr.font >= 0 ? stack_.back().chr.font : defaultFont_;
    const auto it = fonts_.find(font);
    if (it != fonts_.end() && it->second.codePage > 0)
        return it->second.codePage;
    return ansiCodePage_;
}

void RtfParser::byte(unsigned char b, bool fromHex) {
    Group& g = top();
    if (g.dest == Dest::Picture && !pictures_.empty()) {
        Picture& p = pictures_.back();
        const int v = fromHex ? -1 : hexValue(static_cast<char>(b));
        if (v < 0 || p.tooBig)
            return;
        if (p.highNibble < 0) {
            p.highNibble = v;
        } else {
            if (static_cast<std::size_t>(p.data.size()) >= kRtfMaxPictureBytes) {
                p.tooBig = true;
                p.data.clear();
                return;
            }
            p.data.append(static_cast<char>(p.highNibble * 16 + v));
            p.highNibble = -1;
        }
        return;
    }
    if (skipChars_ > 0) {
        --skipChars_;
        return;
    }
    if (g.dest != Dest::Text && g.dest != Dest::FontTable && g.dest != Dest::FieldInstruction)
        return;
    if (pendingLead_ >= 0) {
        const auto lead = static_cast<unsigned char>(pendingLead_);
        const int cp = pendingLeadCodePage_;
        pendingLead_ = -1;
        if (isTrailByte(cp, b)) {
            for (const QChar ch : decodeDoubleByte(cp, lead, b))
                putChar(ch.unicode());
            return;
        }
        // Not a trail byte: the lead stands alone and this byte is read on its own.
        putChar(QChar::ReplacementCharacter);
    }
    if (g.dest == Dest::FontTable && b == ';' && !fromHex) {
        if (fontEntry_ >= 0)
            fonts_[fontEntry_].name = fontName_.trimmed();
        fontName_.clear();
        return;
    }
    if (g.dest == Dest::Text && !fromHex && b == '\t') {
        putChar(u'\t');
        return;
    }
    // A font's name is in its own charset (Japanese font names in Shift_JIS).
    int cp = ansiCodePage_;
    if (g.dest == Dest::Text)
        cp = codePage();
    else if (g.dest == Dest::FontTable && fontEntry_ >= 0 && fonts_[fontEntry_].codePage > 0)
        cp = fonts_[fontEntry_].codePage;
    if (isLeadByte(cp, b)) {
        pendingLead_ = b;
        pendingLeadCodePage_ = cp;
        return;
    }
    putChar(decodeCodePageByte(cp, b));
}

void RtfParser::putChar(char32_t ch) {
    if (top().dest == Dest::FieldInstruction) {
        if (!fields_.empty())
            fields_.back().instruction.append(QChar(static_cast<char16_t>(ch)));
        return;
    }
    if (top().dest == Dest::FontTable) {
        fontName_.append(QString::fromUcs4(&ch, 1));
        return;
    }
    if (top().dest != Dest::Text || top().chr.hidden)
        return;
    if (ch == 0)
        return;
    if (pending_.isEmpty())
        prepareInsert();
    pending_.append(QString::fromUcs4(&ch, 1));
    lastWasPar_ = false;
}

QTextCharFormat RtfParser::charFormat() const {
    const CharState& c = stack_.back().chr;
    QTextCharFormat f;
    const int fontNumber = c.font >= 0 ? c.font : defaultFont_;
    const auto it = fonts_.find(fontNumber);
    if (it != fonts_.end() && !it->second.name.isEmpty())
        f.setFontFamilies(QStringList{it->second.name});
    f.setFontPointSize(std::clamp(c.halfPoints, 2, 3276) / 2.0);
    if (c.bold)
        f.setFontWeight(QFont::Bold);
    f.setFontItalic(c.italic);
    f.setFontUnderline(c.underline);
    f.setFontStrikeOut(c.strike);
    if (c.vertical > 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSuperScript);
    else if (c.vertical < 0)
        f.setVerticalAlignment(QTextCharFormat::AlignSubScript);
    setMergeField(f, c.field);
    return f;
}

QTextBlockFormat RtfParser::blockFormat() const {
    const ParaState& p = stack_.back().para;
    QTextBlockFormat f;
    f.setAlignment(p.align);
    f.setLeftMargin(unitsFromTwips(std::max(0, clampTw(p.leftTw))));
    f.setRightMargin(unitsFromTwips(std::max(0, clampTw(p.rightTw))));
    f.setTextIndent(unitsFromTwips(clampTw(p.firstTw)));
    f.setTopMargin(unitsFromTwips(std::max(0, clampTw(p.beforeTw))));
    f.setBottomMargin(unitsFromTwips(std::max(0, clampTw(p.afterTw))));
    if (p.lineTw != 0) {
        if (p.lineMultiple && p.lineTw > 0)
            f.setLineHeight(std::clamp(p.lineTw * 100.0 / 240.0, 50.0, 500.0),
                            QTextBlockFormat::ProportionalHeight);
        else if (p.lineTw > 0)
            f.setLineHeight(unitsFromTwips(std::min(p.lineTw, 31680)), QTextBlockFormat::MinimumHeight);
        else
            f.setLineHeight(unitsFromTwips(std::min(-p.lineTw, 31680)), QTextBlockFormat::FixedHeight);
    }
    if (!p.tabs.isEmpty())
        f.setTabPositions(p.tabs);
    if (p.pageBreakBefore || pageBreakNext_)
        f.setPageBreakPolicy(QTextFormat::PageBreak_AlwaysBefore);
    return f;
}

void RtfParser::finishBlock() {
    cursor_.setBlockFormat(blockFormat());
    pageBreakNext_ = false;
}

void RtfParser::flushText() {
    if (pending_.isEmpty())
        return;
    cursor_.insertText(pending_, charFormat());
    pending_.clear();
}

// Nested tables deeper than this are read into the innermost one kept.
constexpr int kMaxTableNesting = 16;

// Before anything goes into the document: leave or enter tables until the paragraph's
// nesting level is reached, and move to the cell where its text goes.
void RtfParser::prepareInsert() {
    const ParaState& p = top().para;
    const std::size_t wanted = p.inTable ? static_cast<std::size_t>(std::clamp(p.nestLevel, 1, kMaxTableNesting)) : 0;
    while (tables_.size() > wanted)
        closeTable();
    for (;;) {
        if (!tables_.empty())
            moveToPendingCell(tables_.back());
        if (tables_.size() >= wanted)
            break;
        openTable();
    }
}

void RtfParser::moveToPendingCell(OpenTable& t) {
    if (t.rowPending) {
        t.table->appendRows(1);
        ++t.row;
        t.cell = 0;
        t.rowPending = false;
        t.cellMovePending = false;
        cursor_ = t.table->cellAt(t.row, t.cell).firstCursorPosition();
    } else if (t.cellMovePending) {
        ++t.cell;
        if (t.cell >= t.table->columns())
            t.table->appendColumns(1);
        t.cellMovePending = false;
        cursor_ = t.table->cellAt(t.row, t.cell).firstCursorPosition();
    }
}

void RtfParser::setColumnWidths(OpenTable& t) {
    if (t.widthsSet || rowCellEdgesTw.empty())
        return;
    QTextTableFormat format = t.table->format();
    QList<QTextLength> widths;
    int left = rowLeftTw_;
    for (int edge : rowCellEdgesTw) {
        widths.append(QTextLength(QTextLength::FixedLength,
                                  unitsFromTwips(std::clamp(edge - left, 150, kMaxLengthTw))));
        left = edge;
    }
    // One constraint per column, no more and no fewer: Qt copies a neighbour's constraint
    // when it adds a column and reads past the list's end if it is short.
    widths.resize(t.table->columns(), QTextLength());
    format.setColumnWidthConstraints(widths);
    t.table->setFormat(format);
    t.widthsSet = true;
}

void RtfParser::openTable() {
    // A nested table's row definition comes after its cells; the one known now belongs to
    // the table around it.
    const bool nested = !tables_.empty();
    const int columns = nested ? 1 : std::max<int>(1, static_cast<int>(rowCellEdgesTw.size()));
    QTextTableFormat format;
    format.setBorder(1);
    format.setBorderStyle(QTextFrameFormat::BorderStyle_Solid);
    format.setCellPadding(4);
    format.setCellSpacing(0);
    if (cursor_.block().length() > 1)
        cursor_.insertBlock();
    OpenTable t;
    t.table = cursor_.insertTable(1, columns, format);
    if (!nested)
        setColumnWidths(t);
    tables_.push_back(t);
    cursor_ = t.table->cellAt(0, 0).firstCursorPosition();
}

void RtfParser::closeTable() {
    const QTextTable* t = tables_.back().table;
    tables_.pop_back();
    // Just after the table: the paragraph Qt keeps behind it (in the document or the cell).
    cursor_.setPosition(t->lastPosition() + 1);
}

// \cell ends a cell of the outermost table, \nestcell one of the table at the paragraph's
// nesting level.
void RtfParser::cell(int level) {
    flushText();
    ParaState& p = top().para;
    if (!p.inTable && tables_.empty()) {
        putChar(u'\t'); // a cell mark outside any row: keep the cells apart
        return;
    }
    p.inTable = true;
    p.nestLevel = level;
    prepareInsert();
    finishBlock();
    tables_.back().cellMovePending = true;
    lastWasPar_ = false;
}

void RtfParser::row(int level) {
    flushText();
    if (tables_.empty() && !top().para.inTable && level > 1) {
        putChar(0x2028); // a nested row mark outside any table: keep the rows apart
        return;
    }
    if (static_cast<int>(tables_.size()) < level || level < 1)
        return;
    while (static_cast<int>(tables_.size()) > level)
        closeTable();
    OpenTable& t = tables_.back();
    setColumnWidths(t);
    t.cellMovePending = false;
    t.rowPending = true;
}

void RtfParser::dropLoneLead() {
    if (pendingLead_ < 0)
        return;
    pendingLead_ = -1;
    putChar(QChar::ReplacementCharacter);
}

void RtfParser::endParagraph() {
    flushText();
    prepareInsert();
    finishBlock();
    cursor_.insertBlock();
    lastWasPar_ = true;
}

void RtfParser::pageBreak() {
    flushText();
    if (cursor_.block().length() > 1)
        endParagraph();
    pageBreakNext_ = true;
}

void RtfParser::readBinary(int count) {
    const std::size_t n = std::min<std::size_t>(static_cast<std::size_t>(std::max(count, 0)), in_.size() - pos_);
    if (top().dest == Dest::Picture && !pictures_.empty()) {
        Picture& p = pictures_.back();
        if (static_cast<std::size_t>(p.data.size()) + n > kRtfMaxPictureBytes) {
            p.tooBig = true;
            p.data.clear();
        } else if (!p.tooBig) {
            p.data.append(in_.data() + pos_, static_cast<qsizetype>(n));
        }
    }
    pos_ += n;
}

// The size a picture takes on the page, in document units: the goal when the document
// gives one, else the picture's own size (pixels of a bitmap, hundredths of a millimetre
// of a metafile), scaled.
QSizeF pictureSize(const Picture& p, QSize imageSize) {
    const bool metafile = p.kind == PictureKind::Wmf || p.kind == PictureKind::Emf;
    auto own = [&](int pic, int image) {
        if (metafile && pic > 0)
            return pic * kUnitsPerInch / 2540.0;
        return static_cast<double>(image > 0 ? image : std::max(pic, 0));
    };
    double w = p.goalWidthTw > 0 ? unitsFromTwips(p.goalWidthTw) : own(p.width, imageSize.width());
    double h = p.goalHeightTw > 0 ? unitsFromTwips(p.goalHeightTw) : own(p.height, imageSize.height());
    if (w <= 0 || h <= 0)
        w = h = kUnitsPerInch; // nothing says how large: an inch square
    w = std::min(w * std::clamp(p.scaleX, 1, 1000) / 100.0, unitsFromTwips(kMaxLengthTw));
    h = std::min(h * std::clamp(p.scaleY, 1, 1000) / 100.0, unitsFromTwips(kMaxLengthTw));
    return {std::max(1.0, w), std::max(1.0, h)};
}

QSize pixelsFor(QSizeF units) {
    auto px = [](double u) {
        return std::clamp(static_cast<int>(std::lround(u * kMetafileDotsPerInch / kUnitsPerInch)), 1,
                          kMetafileMaxPixels);
    };
    return {px(units.width()), px(units.height())};
}

// What stands in for a picture we cannot draw: a framed box with a cross, so the reader
// of the fax sees that something was there.
QImage placeholderPicture(QSize pixels) {
    QImage image(pixels, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    const int pen = std::max(1, std::min(pixels.width(), pixels.height()) / 60);
    painter.setPen(QPen(Qt::black, pen));
    const QRectF box = QRectF(image.rect()).adjusted(pen / 2.0, pen / 2.0, -pen / 2.0, -pen / 2.0);
    painter.drawRect(box);
    painter.setPen(QPen(Qt::black, std::max(1, pen / 2)));
    painter.drawLine(box.topLeft(), box.bottomRight());
    painter.drawLine(box.topRight(), box.bottomLeft());
    return image;
}

void RtfParser::endPicture(Picture& p) {
    QImage image;
    const bool haveData = !p.tooBig && !p.data.isEmpty();
    QSizeF size;
    switch (p.kind) {
    case PictureKind::Png: if (haveData) image.loadFromData(p.data, "PNG"); break;
    case PictureKind::Jpeg: if (haveData) image.loadFromData(p.data, "JPEG"); break;
    case PictureKind::Dib: if (haveData) image = imageFromDib(p.data); break;
    case PictureKind::None: if (haveData) image.loadFromData(p.data); break;
    case PictureKind::Wmf:
    case PictureKind::Emf:
        size = pictureSize(p, {});
        if (haveData)
            image = playMetafile(p.kind == PictureKind::Wmf ? MetafileKind::Wmf : MetafileKind::Emf, p.data,
                                 pixelsFor(size)).image;
        break;
    case PictureKind::Unsupported: break;
    }
    if (!size.isValid())
        size = pictureSize(p, image.size());
    if (image.isNull()) {
        ++skippedPictures_;
        image = placeholderPicture(pixelsFor(size));
    }
    const QUrl name(QStringLiteral("rtfpicture:%1").arg(++pictureCount_));
    doc_.addResource(QTextDocument::ImageResource, name, image);
    QTextImageFormat format;
    format.setName(name.toString());
    format.setWidth(size.width());
    format.setHeight(size.height());
    // The picture keeps the paragraph's table state like text does.
    prepareInsert();
    cursor_.insertImage(format);
    lastWasPar_ = false;
}

void RtfParser::word(std::string_view w, bool hasParam, int param) {
    dropLoneLead();
    Group& g = top();
    const bool starred = star_;
    star_ = false;
    flushText();
    if (g.dest == Dest::Skip)
        return;
    if (w == "bin") {
        readBinary(param);
        return;
    }
    // Destinations.
    if (w == "rtf") { sawRtf_ = true; return; }
    if (w == "fonttbl") { g.dest = Dest::FontTable; return; }
    if (w == "colortbl") { g.dest = Dest::ColorTable; return; }
    if (w == "pict") {
        g.dest = Dest::Picture;
        g.opensPicture = true;
        pictures_.emplace_back();
        return;
    }
    if (w == "shppict") return; // its \pict is the picture
    if (w == "nesttableprops") return; // a nested row's definition and its \nestrow
    if (w == "field") {
        g.opensField = true;
        fields_.push_back({QString(), stack_.size()});
        return;
    }
    if (w == "fldinst") { g.dest = Dest::FieldInstruction; return; }
    if (w == "fldrslt") {
        if (!fields_.empty()) {
            const QStringList parts = fields_.back().instruction.simplified().split(u' ');
            if (parts.size() >= 2 && parts[0].compare(u"MERGEFIELD", Qt::CaseInsensitive) == 0)
                g.chr.field = mergeFieldFromName(parts[1]);
        }
        return;
    }
    if (isSkippedDestination(w) || (starred && g.dest == Dest::Text)) {
        g.dest = Dest::Skip;
        return;
    }
    switch (g.dest) {
    case Dest::FontTable:
        if (w == "f" && hasParam) {
            fontEntry_ = param;
            fontName_.clear();
            fonts_[param];
        } else if (w == "fcharset" && fontEntry_ >= 0) {
            fonts_[fontEntry_].codePage = codePageOfCharset(param);
        } else if (w == "cpg" && fontEntry_ >= 0) {
            fonts_[fontEntry_].codePage = param;
        } else if (w == "u" && param >= -32768 && param <= 65535) {
            putChar(static_cast<char32_t>(param < 0 ? param + 65536 : param));
        }
        return;
    case Dest::Picture: {
        if (pictures_.empty())
            return;
        Picture& p = pictures_.back();
        if (w == "pngblip") p.kind = PictureKind::Png;
        else if (w == "jpegblip") p.kind = PictureKind::Jpeg;
        else if (w == "dibitmap") p.kind = PictureKind::Dib;
        else if (w == "wmetafile") p.kind = PictureKind::Wmf;
        else if (w == "emfblip") p.kind = PictureKind::Emf;
        else if (w == "wbitmap" || w == "macpict" || w == "pmmetafile")
            p.kind = PictureKind::Unsupported;
        else if (w == "picw") p.width = param;
        else if (w == "pich") p.height = param;
        else if (w == "picwgoal") p.goalWidthTw = param;
        else if (w == "pichgoal") p.goalHeightTw = param;
        else if (w == "picscalex") p.scaleX = param;
        else if (w == "picscaley") p.scaleY = param;
        return;
    }
    case Dest::ColorTable:
    case Dest::Skip:
        return;
    case Dest::FieldInstruction:
        if (w == "u" || w == "uc")
            textWord(w, hasParam, param);
        return;
    case Dest::Text:
        textWord(w, hasParam, param);
        return;
    }
}

void RtfParser::textWord(std::string_view w, bool hasParam, int param) {
    Group& g = top();
    CharState& c = g.chr;
    ParaState& p = g.para;
    const bool on = !hasParam || param != 0;
    // Words that are text (these count as one fallback character after \u).
    auto character = [&](char32_t ch) { putChar(ch); };
    if (w == "u") {
        skipChars_ = g.unicodeSkip;
        if (param < -32768 || param > 65535)
            return; // not a UTF-16 unit: only its fallback is dropped
        const char32_t ch = static_cast<char32_t>(param < 0 ? param + 65536 : param);
        if (ch >= 0xD800 && ch <= 0xDBFF) {
            highSurrogate_ = static_cast<char16_t>(ch);
        } else if (ch >= 0xDC00 && ch <= 0xDFFF && highSurrogate_) {
            putChar(0x10000 + ((highSurrogate_ - 0xD800u) << 10) + (ch - 0xDC00u));
            highSurrogate_ = 0;
        } else {
            highSurrogate_ = 0;
            putChar(ch);
        }
        return;
    }
    if (skipChars_ > 0 && (w == "par" || w == "tab" || w == "line" || w == "emdash" ||
                           w == "endash" || w == "bullet" || w == "lquote" || w == "rquote" ||
                           w == "ldblquote" || w == "rdblquote")) {
        --skipChars_;
        return;
    }
    if (w == "par" || w == "sect") { if (g.dest == Dest::Text) endParagraph(); }
    else if (w == "line") character(0x2028);
    else if (w == "page") pageBreak();
    else if (w == "tab") character(u'\t');
    else if (w == "emdash") character(0x2014);
    else if (w == "endash") character(0x2013);
    else if (w == "bullet") character(0x2022);
    else if (w == "lquote") character(0x2018);
    else if (w == "rquote") character(0x2019);
    else if (w == "ldblquote") character(0x201C);
    else if (w == "rdblquote") character(0x201D);
    else if (w == "emspace" || w == "enspace" || w == "qmspace") character(u' ');
    else if (w == "uc") g.unicodeSkip = std::clamp(param, 0, 10);
    else if (w == "ansicpg") ansiCodePage_ = param;
    else if (w == "deff") defaultFont_ = param;
    else if (w == "plain") c = CharState{.field = c.field};
    else if (w == "pard") p = ParaState{};
    else if (w == "f") c.font = param;
    else if (w == "fs") c.halfPoints = hasParam ? param : kDefaultHalfPoints;
    else if (w == "b") c.bold = on;
    else if (w == "i") c.italic = on;
    else if (w == "ul" || w == "uld" || w == "uldb" || w == "ulw" || w == "uldash" || w == "ulth" ||
             w == "ulwave" || w == "uldashd" || w == "ulldash" || w == "ulhwave")
        c.underline = on;
    else if (w == "ulnone") c.underline = false;
    else if (w == "strike" || w == "striked") c.strike = on;
    else if (w == "v") c.hidden = on;
    else if (w == "super" || w == "up") c.vertical = on ? 1 : 0;
    else if (w == "sub" || w == "dn") c.vertical = on ? -1 : 0;
    else if (w == "nosupersub") c.vertical = 0;
    else if (w == "ql") p.align = Qt::AlignLeft;
    else if (w == "qc") p.align = Qt::AlignHCenter;
    else if (w == "qr") p.align = Qt::AlignRight;
    else if (w == "qj" || w == "qd") p.align = Qt::AlignJustify;
    else if (w == "li" || w == "lin") p.leftTw = param;
    else if (w == "ri" || w == "rin") p.rightTw = param;
    else if (w == "fi") p.firstTw = param;
    else if (w == "sb") p.beforeTw = param;
    else if (w == "sa") p.afterTw = param;
    else if (w == "sl") { p.lineTw = param; }
    else if (w == "slmult") p.lineMultiple = param != 0;
    else if (w == "pagebb") p.pageBreakBefore = on;
    else if (w == "tqr") p.nextTabType = QTextOption::RightTab;
    else if (w == "tqc") p.nextTabType = QTextOption::CenterTab;
    else if (w == "tqdec") p.nextTabType = QTextOption::DelimiterTab;
    else if (w == "tx" || w == "tb") {
        QTextOption::Tab tab(unitsFromTwips(std::max(0, clampTw(param))), p.nextTabType);
        if (p.nextTabType == QTextOption::DelimiterTab)
            tab.delimiter = u'.';
        if (p.tabs.size() < 64)
            p.tabs.append(tab);
        p.nextTabType = QTextOption::LeftTab;
    }
    else if (w == "intbl") p.inTable = true;
    else if (w == "itap") { p.nestLevel = std::clamp(param, 0, kMaxTableNesting); p.inTable = param > 0; }
    else if (w == "trowd") { rowCellEdgesTw.clear(); rowLeftTw_ = 0; }
    else if (w == "trleft") rowLeftTw_ = param;
    else if (w == "cellx") { if (rowCellEdgesTw.size() < 63) rowCellEdgesTw.push_back(param); }
    else if (w == "cell") cell(1);
    else if (w == "row") row(1);
    else if (w == "nestcell") cell(std::max(2, p.nestLevel));
    else if (w == "nestrow") row(std::max(2, p.nestLevel));
    // Everything else (colours, languages, kerning, section and document settings) does
    // not change what a fax page shows.
}

} // namespace

RtfReadResult readRtf(std::string_view bytes, QTextDocument& document) {
    if (!looksLikeRtf(bytes)) {
        document.clear();
        RtfReadResult result;
        std::string_view text = bytes;
        if (text.find_first_not_of(" \t\r\n") == std::string_view::npos) {
            result.status = RtfReadStatus::Empty;
            return result;
        }
        // Plain text in whatever the memo held: UTF-8 when valid, else windows-1252.
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
        QString s = utf8.decode(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
        if (utf8.hasError()) {
            s.clear();
            for (char ch : text)
                s.append(QChar(decodeCodePageByte(1252, static_cast<unsigned char>(ch))));
        }
        s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        s.remove(QChar(0));
        if (s.endsWith(u'\n'))
            s.chop(1);
        document.setPlainText(s);
        result.status = RtfReadStatus::NotRtf;
        return result;
    }
    RtfParser parser(bytes, document);
    return parser.run();
}

} // namespace workflow::richtext
