#include "log_cleanup.h"

#include "faxlog/codepage.h"
#include "faxlog/log_records.h"
#include "faxlog/dbe_engine.h"
#include "faxlog/dbf_record.h"
#include "faxlog/work_area.h"
#include "faxlog/xbase_expression.h"

#include <algorithm>
#include <cctype>
#include <vector>

namespace maintenance {

faxlog::LogTableKind tableKind(CleanupPage page) {
    switch (page) {
    case CleanupPage::Outgoing: return faxlog::LogTableKind::Sent;
    case CleanupPage::Incoming: return faxlog::LogTableKind::Received;
    }
    return faxlog::LogTableKind::Sent;
}

const char* pageWord(CleanupPage page) {
    switch (page) {
    case CleanupPage::Outgoing: return "outgoing";
    case CleanupPage::Incoming: return "received";
    }
    return "";
}

const char* dateField(CleanupPage page) {
    switch (page) {
    case CleanupPage::Outgoing: return "DATESENT";
    case CleanupPage::Incoming: return "DATEREC";
    }
    return "";
}

const char* to_string(MatchField field) {
    switch (field) {
    case MatchField::From: return "FROM";
    case MatchField::Recipient: return "RECIPIENT";
    case MatchField::Phone: return "PHONE";
    }
    return "";
}

std::string beforeDateCondition(CleanupPage page, const faxlog::XDate& date) {
    const std::string f = dateField(page);
    return "(" + f + "<CTOD(\"" + date.mdy() + "\"))" + " .and. (.not. EMPTY(" + f + "))";
}

std::string xbaseString(std::string_view text) {
    struct Delimiter {
        char open, close;
    };
    static constexpr Delimiter kDelimiters[] = {{'"', '"'}, {'\'', '\''}, {'[', ']'}};
    std::vector<std::string> pieces;
    std::string piece;
    const auto usable = [](const std::string& s, const Delimiter& d) { return s.find(d.close) == std::string::npos; };
    const auto close = [&] {
        for (const Delimiter& d : kDelimiters)
            if (usable(piece, d)) {
                pieces.push_back(std::string(1, d.open) + piece + d.close);
                break;
            }
        piece.clear();
    };
    for (char c : text) {
        std::string longer = piece + c;
        if (std::none_of(std::begin(kDelimiters), std::end(kDelimiters),
                         [&](const Delimiter& d) { return usable(longer, d); }))
            close();
        piece += c;
    }
    if (!piece.empty() || pieces.empty())
        close();
    if (pieces.size() == 1)
        return pieces.front();
    std::string out = "(";
    for (std::size_t i = 0; i < pieces.size(); ++i)
        out += (i ? "+" : "") + pieces[i];
    return out + ")";
}

namespace {

std::string trimmedUpper(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front())))
        text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back())))
        text.remove_suffix(1);
    // Upper-cased as the table's UPPER() does it, letters beyond ASCII included.
    std::string out = faxlog::utf8ToCp1252(text);
    for (char& c : out)
        c = faxlog::cp1252Upper(c);
    return faxlog::cp1252ToUtf8(out);
}

} // namespace

std::string matchCondition(MatchField field, std::string_view text, bool exact) {
    const std::string t = trimmedUpper(text);
    if (t.empty())
        return {};
    const std::string x = std::string("ALLTRIM(UPPER(") + to_string(field) + "))";
    return exact ? x + "==" + xbaseString(t) : xbaseString(t) + "$" + x;
}

long deleteWhere(faxlog::TDbeTable& table, faxlog::TDbeEnv& env, CleanupPage page, std::string_view condition,
                 const std::filesystem::path& programDir) {
    faxlog::WorkArea* area = table.engine().area(table.workArea());
    if (!area)
        return 0;
    const faxlog::Expression test = faxlog::Expression::compile(condition, area->schema());
    if (test.type() != faxlog::ValueType::Logical)
        throw faxlog::ExpressionError(std::string(condition), 0, "the condition is not a logical expression");

    const long keepRecno = table.recNo();
    const int keepOrder = table.indexOrd();
    const bool skipDeleted = env.deleted();
    table.setOrder(0);
    env.setDeleted(false);

    long count = 0;
    std::vector<std::filesystem::path> files;
    try {
        const auto records = static_cast<std::uint32_t>(table.recCount());
        for (std::uint32_t r = 1; r <= records; ++r) {
            const std::string_view rec = area->dbf().record(r);
            if (rec.empty() || rec[0] == faxlog::kDeletedMark || !test.test(area->schema(), {rec, r}))
                continue;
            table.go(r);
            if (page == CleanupPage::Incoming) {
                const auto file = faxlog::receivedFaxPath(programDir, table.getTrimString("FAXFILE"));
                if (!file.empty())
                    files.push_back(file);
            }
            table.deleteRecord();
            ++count;
        }
        if (count > 0)
            table.commit();
    } catch (...) {
        env.setDeleted(skipDeleted);
        throw;
    }
    env.setDeleted(skipDeleted);
    // Only once the marks are on disk: a crash in between leaves a file without a record,
    // never a live record without its file.
    std::error_code ec;
    for (const auto& f : files)
        std::filesystem::remove(f, ec);

    try {
        table.setOrder(keepOrder);
        if (keepRecno > 0 && !table.go(keepRecno))
            table.goTop();
        table.refresh();
    } catch (const std::exception&) {
        // Back to where the user was, when that can be; not being able to is no failure.
    }
    return count;
}

void deleteCurrent(faxlog::TDbeTable& table, CleanupPage page, const std::filesystem::path& programDir) {
    if (!table.hasRecord())
        return;
    const long current = table.recNo();
    table.skip(1);
    const long next = table.eof() ? 0 : table.recNo();
    table.go(current);
    if (page == CleanupPage::Incoming) {
        faxlog::deleteReceivedFax(table, programDir);
    } else {
        table.deleteRecord();
        table.commit();
    }
    try {
        if (next > 0)
            table.go(next);
        else
            table.refresh();
    } catch (const std::exception&) {
    }
}

} // namespace maintenance
