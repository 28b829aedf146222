// parvane-cli log: lists and shows the fax log tables of the program directory as
// tab-separated text with a header line, for scripts.
//   log list [--sent|--received|--covers|--phonebook]   visible records in the log's order
//   log show N [same flags]                              every field of record N
#include "cli_args.h"

#include "faxlog/dbe_table.h"
#include "faxlog/log_tables.h"
#include "settings/program_directory.h"

#include <cstdio>
#include <filesystem>
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
        const std::string& text = args.words[2];
        const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
        try {
            recno = digits ? std::stol(text) : 0;
        } catch (const std::exception&) {
            recno = -1; // too long to be a record number
        }
        if (!digits || recno < 1) {
            std::fprintf(stderr, "parvane-cli: log show: \"%s\" is not a record number (records count from 1)\n",
                         text.c_str());
            return 2;
        }
    } else if (verb != "list" || args.words.size() != 2) {
        return usage();
    }

    // A data directory named on the command line must be there: a mistyped one would
    // otherwise become a new, empty log. Only the default one is made on first use.
    if (args.dataDir) {
        std::error_code ec;
        if (!std::filesystem::is_directory(*args.dataDir, ec)) {
            std::fprintf(stderr, "parvane-cli: the data directory %s does not exist\n",
                         args.dataDir->string().c_str());
            return 1;
        }
    }
    const auto dir = settings::resolveProgramDirectory(args.dataDir);
    faxlog::DbeEngine engine;
    faxlog::TDbeEnv env(engine);
    env.start();
    env.setDeleted(true);
    // The first use of a directory creates the whole log, as the program's first start
    // does; after that the log is only read, so read-only tables list as well.
    faxlog::TDbeTable table(engine);
    for (auto k : faxlog::allLogTables()) {
        const auto& def = faxlog::logTableDef(k);
        if (std::filesystem::exists(dir / def.fileName))
            continue;
        std::string error;
        if (!faxlog::createLogTable(engine, def, dir, &error)) {
            std::fprintf(stderr, "parvane-cli: %s\n", error.c_str());
            return 1;
        }
    }
    std::string error;
    std::vector<std::string> notices;
    if (!faxlog::openLogTableForReading(table, *kind, dir, &error, &notices)) {
        std::fprintf(stderr, "parvane-cli: %s\n", error.c_str());
        return 1;
    }
    for (const auto& n : notices)
        std::fprintf(stderr, "parvane-cli: %s\n", n.c_str());

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
