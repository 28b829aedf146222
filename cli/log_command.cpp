// parvane-cli log: lists and shows the fax log tables of the program directory as
// tab-separated text with a header line, for scripts.
//   log list [--sent|--received|--covers|--phonebook]   visible records in the log's order
//   log show N [same flags]                              every field of record N
#include "cli_args.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"
#include "settings/program_directory.h"

#include <cstdio>
#include <string>

namespace cli {
namespace {

using faxlog::LogTableKind;

std::optional<LogTableKind> tableFlag(const CliArgs& args) {
    int given = 0;
    LogTableKind kind = LogTableKind::Sent;
    const std::pair<const char*, LogTableKind> flags[] = {{"--sent", LogTableKind::Sent},
                                                          {"--received", LogTableKind::Received},
                                                          {"--covers", LogTableKind::Cover},
                                                          {"--phonebook", LogTableKind::Phone}};
    for (const auto& [flag, k] : flags) {
        if (args.has(flag)) {
            kind = k;
            ++given;
        }
    }
    if (given > 1)
        return std::nullopt;
    return kind;
}

// One line per record: tabs and line breaks inside values would break the columns.
std::string cell(std::string s, bool escape) {
    std::string out;
    for (char c : s) {
        if (escape && c == '\\')
            out += "\\\\";
        else if (c == '\t')
            out += escape ? "\\t" : " ";
        else if (c == '\n')
            out += escape ? "\\n" : " ";
        else if (c == '\r')
            out += escape ? "\\r" : " ";
        else
            out += c;
    }
    return out;
}

std::string value(faxlog::TDbeTable& t, const std::string& field, char type) {
    switch (type) {
    case 'L': return t.getLogical(field) ? "T" : "F";
    case 'D': return t.getDate(field).iso();
    case 'M': return cell(t.getMemo(field), true);
    default: {
        std::string s = t.getTrimString(field);
        const auto b = s.find_first_not_of(' ');
        return cell(b == std::string::npos ? std::string() : s.substr(b), false);
    }
    }
}

int usage() {
    std::fputs("usage: parvane-cli log list [--sent|--received|--covers|--phonebook]\n"
               "       parvane-cli log show N [--sent|--received|--covers|--phonebook]\n",
               stderr);
    return 2;
}

} // namespace

int runLog(const CliArgs& args) {
    const auto kind = tableFlag(args);
    if (args.words.size() < 2 || !kind)
        return usage();
    const std::string& verb = args.words[1];
    long recno = 0;
    if (verb == "show") {
        if (args.words.size() != 3)
            return usage();
        try {
            std::size_t used = 0;
            recno = std::stol(args.words[2], &used);
            if (used != args.words[2].size() || recno < 1)
                return usage();
        } catch (const std::exception&) {
            return usage();
        }
    } else if (verb != "list" || args.words.size() != 2) {
        return usage();
    }

    const auto dir = settings::resolveProgramDirectory(args.dataDir);
    faxlog::DbeEngine engine;
    faxlog::TDbeEnv env(engine);
    env.start();
    env.setDeleted(true);
    // The first use of a directory creates the whole log, as the program's first start does.
    faxlog::TDbeTable table(engine);
    for (auto k : faxlog::allLogTables()) {
        faxlog::TDbeTable other(engine);
        faxlog::TDbeTable& t = k == *kind ? table : other;
        std::string error;
        if (!faxlog::openLogTable(t, k, dir, &error)) {
            std::fprintf(stderr, "parvane-cli: %s\n", error.c_str());
            return 1;
        }
    }

    std::vector<std::pair<std::string, char>> fields;
    for (int i = 1; i <= table.fieldCount(); ++i) {
        const std::string name = table.fieldName(i);
        fields.emplace_back(name, table.fieldType(name));
    }

    if (verb == "show") {
        if (recno > table.recCount() || !table.go(recno)) {
            std::fprintf(stderr, "parvane-cli: %s has no record %ld\n",
                         faxlog::logTableDef(*kind).fileName, recno);
            return 1;
        }
        std::printf("FIELD\tVALUE\nRECNO\t%ld\nDELETED\t%s\n", recno, table.deleted() ? "T" : "F");
        for (const auto& [name, type] : fields)
            std::printf("%s\t%s\n", name.c_str(), value(table, name, type).c_str());
        return 0;
    }

    std::string header = "RECNO";
    for (const auto& [name, type] : fields)
        if (type != 'M')
            header += "\t" + name;
    std::puts(header.c_str());
    const std::size_t rows = table.rowCount();
    for (std::size_t i = 0; i < rows; ++i) {
        const long r = table.rowRecNo(i);
        table.go(r);
        std::string line = std::to_string(r);
        for (const auto& [name, type] : fields)
            if (type != 'M')
                line += "\t" + value(table, name, type);
        std::puts(line.c_str());
    }
    return 0;
}

} // namespace cli
