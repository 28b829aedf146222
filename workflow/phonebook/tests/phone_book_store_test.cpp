// The phone book's table: NAME order, changes that reach the file, deletion, the
// all-or-nothing bulk add, and the file as an outside DBF reader sees it.
#include "workflow/phonebook/phone_book_store.h"
#include "faxlog/codepage.h"
#include "oracle_skip.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <filesystem>
#include <random>

namespace phonebook {
namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("pvn-phonebook-" + std::to_string(rd()));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

// What the NAME tag's key makes of a name: the table's code page, upper-cased.
std::string nameKey(const std::string& utf8) {
    std::string key = faxlog::utf8ToCp1252(utf8);
    for (char& c : key)
        c = faxlog::cp1252Upper(c);
    return key;
}

std::vector<std::string> names(PhoneBookStore& s) {
    std::vector<std::string> out;
    for (const PhoneEntry& e : s.entries())
        out.push_back(e.name);
    return out;
}

// Runs python with the Debian modules; the output, or nothing when it could not run.
std::optional<std::string> runPython(const std::string& script, const fs::path& arg) {
    if (!fs::exists("/usr/bin/python3"))
        return std::nullopt;
    const std::string cmd = "/usr/bin/python3 -c '" + script + "' '" + arg.string() + "' 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    if (!p)
        return std::nullopt;
    std::string out;
    std::array<char, 256> buf{};
    while (std::size_t n = std::fread(buf.data(), 1, buf.size(), p))
        out.append(buf.data(), n);
    if (pclose(p) != 0)
        return std::nullopt;
    return out;
}

TEST(PhoneBookStore, EntriesComeInNameTagOrderAndChangesReachTheFile) {
    TempDir dir;
    const std::vector<std::string> given = {"zoe", "Émile Zola", "alice", "Bob", "ágnes", "Charlie", "bob"};
    {
        PhoneBookStore s;
        std::string err;
        ASSERT_TRUE(s.open(dir.path, &err)) << err;
        EXPECT_TRUE(fs::exists(dir.path / "PVNPB.DBF"));
        EXPECT_TRUE(fs::exists(dir.path / "PVNPB.CDX"));
        for (std::size_t i = 0; i < given.size(); ++i)
            s.add({given[i], "555-" + std::to_string(i)});

        std::vector<std::string> expected = given;
        std::stable_sort(expected.begin(), expected.end(),
                         [](const std::string& a, const std::string& b) { return nameKey(a) < nameKey(b); });
        const std::vector<std::string> shown = names(s);
        std::vector<std::string> shownKeys, expectedKeys;
        for (std::size_t i = 0; i < shown.size(); ++i) {
            shownKeys.push_back(nameKey(shown[i]));
            expectedKeys.push_back(nameKey(expected[i]));
        }
        EXPECT_EQ(shownKeys, expectedKeys); // "Bob" and "bob" share a key: either order
        EXPECT_EQ(nameKey(shown.back()), nameKey("Émile Zola")); // É sorts after Z in the code page

        // Renaming moves the entry to its new place.
        const long aaron = s.add({"Aaron", "1"});
        EXPECT_EQ(s.rowOf(aaron), 0);
        s.update(aaron, {"Zachary", "9"});
        ASSERT_GT(s.rowOf(aaron), 0);
        EXPECT_EQ(s.row(s.rowOf(aaron)), (PhoneEntry{"Zachary", "9"}));
        EXPECT_EQ(s.row(s.rowOf(aaron) + 1).name, "zoe");

        s.remove(s.recNo(0));
        EXPECT_EQ(s.rowCount(), int(given.size()));
        EXPECT_EQ(nameKey(names(s).front()), "BOB"); // "alice" went
    }
    // A new store (as the next time the window opens) sees the same rows.
    PhoneBookStore again;
    ASSERT_TRUE(again.open(dir.path));
    EXPECT_EQ(again.rowCount(), int(given.size()));
    const std::vector<PhoneEntry> rows = again.entries();
    again.close();

    // An outside reader sees the same live rows, and the deleted one as deleted.
    const auto out = runPython("import dbfread,sys\n"
                               "t=dbfread.DBF(sys.argv[1], encoding=\"cp1252\", load=True)\n"
                               "print(len(t.deleted))\n"
                               "for r in sorted(t.records, key=lambda r: r[\"NAME\"].upper().encode(\"cp1252\")): "
                               "print(r[\"NAME\"] + \"|\" + r[\"PHONE\"])",
                               dir.path / "PVNPB.DBF");
    if (!out)
        PARVANE_SKIP_WITHOUT_ORACLE("/usr/bin/python3 with dbfread is needed to read the phone table");
    std::string expected = "1\n";
    for (const PhoneEntry& e : rows)
        expected += e.name + "|" + e.number + "\n";
    // Equal keys may come in either order in both lists; compare as sorted lines then.
    auto lines = [](const std::string& s) {
        std::vector<std::string> v;
        std::size_t start = 0;
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s[i] == '\n') {
                v.push_back(s.substr(start, i - start));
                start = i + 1;
            }
        std::sort(v.begin() + 1, v.end());
        return v;
    };
    EXPECT_EQ(lines(*out), lines(expected));
}

TEST(PhoneBookStore, AddAllAddsEverythingOrNothing) {
    TempDir dir;
    PhoneBookStore s;
    ASSERT_TRUE(s.open(dir.path));
    s.add({"Existing", "1"});
    s.addAll({{"One", "2"}, {"Two", "3"}});
    EXPECT_EQ(s.rowCount(), 3);

    // Entries already there, and repeats, are left out.
    EXPECT_EQ(s.addAllNew({{"One", "2"}, {"One", "22"}, {"One", "22"}, {"Existing", "1"}}), 1u);
    EXPECT_EQ(s.rowCount(), 4);
    for (int r = 0; r < s.rowCount(); ++r)
        if (s.row(r) == PhoneEntry{"One", "22"})
            s.remove(s.recNo(r));
    // The third entry cannot be stored: the two before it are taken back.
    EXPECT_THROW(s.addAll({{"Three", "4"}, {"Four", "5"}, {"\xC5\x81ukasz", "6"}}), std::exception);
    EXPECT_EQ(names(s), (std::vector<std::string>{"Existing", "One", "Two"}));
    // Nor does a single entry with such a name become a '?' in the file.
    EXPECT_THROW(s.add({"Ok", std::string(26, '1')}), std::exception);
    EXPECT_EQ(s.rowCount(), 3);
    s.close();
    ASSERT_TRUE(s.open(dir.path));
    EXPECT_EQ(names(s), (std::vector<std::string>{"Existing", "One", "Two"}));
}

} // namespace
} // namespace phonebook
