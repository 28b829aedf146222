// parvane-cli phonebook: the phone book of the program directory from the command line.
//   phonebook list                 name and fax number, tab-separated, in name order
//   phonebook import FILE.csv      adds every entry of the file, or none when a row is bad
//   phonebook export FILE.csv|-    writes every entry as CSV (to standard output for "-")
#include "cli_args.h"

#include <cstdio>

#if PARVANE_PHONEBOOK
#include "settings/program_directory.h"
#include "workflow/phonebook/phone_book_store.h"
#include "workflow/phonebook/phone_csv.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

namespace cli {
namespace {

int usage() {
    std::fputs("usage: parvane-cli phonebook list\n"
               "       parvane-cli phonebook import FILE.csv\n"
               "       parvane-cli phonebook export FILE.csv|-\n",
               stderr);
    return 2;
}

bool readFile(const std::filesystem::path& file, std::string* bytes) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream s;
    s << in.rdbuf();
    *bytes = s.str();
    return !in.bad();
}

// Written beside the target and renamed over it: a failed export leaves an older file whole.
bool writeFile(const std::filesystem::path& file, const std::string& bytes, std::string* error) {
    auto temp = file;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            *error = "cannot write " + temp.string();
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, file, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        *error = "cannot replace " + file.string() + ": " + ec.message();
        return false;
    }
    return true;
}

} // namespace

int runPhonebook(const CliArgs& args) {
    if (args.words.size() < 2)
        return usage();
    const std::string& verb = args.words[1];
    if ((verb == "list" && args.words.size() != 2) ||
        ((verb == "import" || verb == "export") && args.words.size() != 3) ||
        (verb != "list" && verb != "import" && verb != "export"))
        return usage();

    // A data directory named on the command line must be there: a mistyped one would
    // otherwise become a new, empty phone book.
    if (args.dataDir) {
        std::error_code ec;
        if (!std::filesystem::is_directory(*args.dataDir, ec)) {
            std::fprintf(stderr, "parvane-cli: the data directory %s does not exist\n",
                         args.dataDir->string().c_str());
            return 1;
        }
    }
    const auto dir = settings::resolveProgramDirectory(args.dataDir);

    // Read before the table is touched, so that a bad file changes nothing.
    phonebook::CsvReadResult imported;
    if (verb == "import") {
        std::string bytes;
        if (!readFile(args.words[2], &bytes)) {
            std::fprintf(stderr, "parvane-cli: cannot read %s\n", args.words[2].c_str());
            return 1;
        }
        imported = phonebook::readPhoneCsv(bytes);
        if (!imported.ok()) {
            std::fprintf(stderr, "parvane-cli: nothing imported; %zu bad row(s) in %s:\n",
                         imported.problems.size(), args.words[2].c_str());
            for (const auto& p : imported.problems)
                std::fprintf(stderr, "%s: line %d: %s\n", args.words[2].c_str(), p.line, p.reason.c_str());
            return 1;
        }
    }

    phonebook::PhoneBookStore store;
    std::string error;
    if (!store.open(dir, &error)) {
        std::fprintf(stderr, "parvane-cli: cannot open the phone book: %s\n", error.c_str());
        return 1;
    }
    if (verb == "list") {
        for (const auto& e : store.entries())
            std::printf("%s\t%s\n", e.name.c_str(), e.number.c_str());
        return 0;
    }
    if (verb == "import") {
        const std::size_t added = store.addAllNew(imported.entries);
        std::printf("%zu entr%s imported", added, added == 1 ? "y" : "ies");
        if (const std::size_t known = imported.entries.size() - added; known > 0)
            std::printf(", %zu already in the phone book", known);
        std::printf("\n");
        return 0;
    }
    const std::string csv = phonebook::writePhoneCsv(store.entries());
    if (args.words[2] == "-") {
        std::fwrite(csv.data(), 1, csv.size(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    if (!writeFile(args.words[2], csv, &error)) {
        std::fprintf(stderr, "parvane-cli: %s\n", error.c_str());
        return 1;
    }
    return 0;
}

} // namespace cli

#else

namespace cli {
int runPhonebook(const CliArgs&) {
    std::fputs("parvane-cli: this build has no phone book (it was built without the desktop libraries)\n", stderr);
    return 1;
}
} // namespace cli

#endif
