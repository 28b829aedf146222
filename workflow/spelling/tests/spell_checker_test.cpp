// The dictionary checker: the installed dictionary, the user dictionary across runs, a
// dictionary in a one-byte encoding, the choice of language, and no dictionary at all.
#include "workflow/spelling/spell_checker.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>

namespace spelling {
namespace {

namespace fs = std::filesystem;

struct TempDir {
    fs::path path;
    TempDir() {
        std::random_device rd;
        path = fs::temp_directory_path() / ("pvn-spelling-" + std::to_string(rd()));
        fs::create_directories(path);
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

void writeFile(const fs::path& p, const std::string& bytes) {
    std::ofstream out(p, std::ios::binary);
    out << bytes;
}

std::string readFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

SpellChecker::Options english(const fs::path& dataDir) {
    SpellChecker::Options o;
    o.dataDir = dataDir;
    o.language = "en_US";
    return o;
}

// The machine must have the dictionary the program is built for (scripts/setup).
TEST(SpellChecker, ChecksAndSuggestsWithTheInstalledDictionary) {
    TempDir dir;
    SpellChecker c(english(dir.path));
    ASSERT_TRUE(c.available()) << "hunspell-en-us is not installed";
    EXPECT_EQ(c.language(), "en_US");
    for (const char* good : {"fax", "Hello", "don't", "don\xE2\x80\x99t", "receive", "HELLO"})
        EXPECT_TRUE(c.check(good)) << good;
    for (const char* bad : {"recieve", "teh", "accomodate"})
        EXPECT_FALSE(c.check(bad)) << bad;
    const auto s = c.suggest("recieve");
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), "receive");
    EXPECT_FALSE(c.check(std::string(200, 'a'))); // too long to be a word; no hang either
    EXPECT_TRUE(c.suggest(std::string(200, 'a')).empty());
}

TEST(SpellChecker, UserDictionaryOutlivesTheChecker) {
    TempDir dir;
    {
        SpellChecker c(english(dir.path));
        EXPECT_FALSE(c.check("Parvanex"));
        std::string error;
        EXPECT_TRUE(c.addToUserDictionary("Parvanex", &error)) << error;
        EXPECT_TRUE(c.addToUserDictionary("Zyxqo", &error)) << error;
        EXPECT_TRUE(c.check("Parvanex"));
        c.ignoreForSession("Blorvish");
        EXPECT_TRUE(c.check("Blorvish"));
    }
    EXPECT_EQ(readFile(dir.path / kUserDictionaryFile), "Parvanex\nZyxqo\n");
    SpellChecker again(english(dir.path));
    EXPECT_TRUE(again.check("Parvanex"));
    EXPECT_TRUE(again.check("Zyxqo"));
    EXPECT_FALSE(again.check("Blorvish")); // ignoring lasts one run only
    // An added word takes the dictionary's case rules: the lower-case form of a name is not it.
    EXPECT_FALSE(again.check("parvanex"));

    // A data directory that cannot take the file: the word counts for the run, the
    // failure is reported, and no half-written file is left.
    SpellChecker::Options o = english(dir.path / kUserDictionaryFile); // a file, not a directory
    SpellChecker broken(o);
    std::string error;
    EXPECT_FALSE(broken.addToUserDictionary("Quxlo", &error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(broken.check("Quxlo"));
    EXPECT_EQ(readFile(dir.path / kUserDictionaryFile), "Parvanex\nZyxqo\n");
}

TEST(SpellChecker, WithoutADictionaryEveryWordPasses) {
    TempDir empty;
    SpellChecker::Options o;
    o.dataDir = empty.path;
    o.dictionaryDirs = {empty.path, empty.path / "missing"};
    SpellChecker c(o);
    EXPECT_FALSE(c.available());
    EXPECT_TRUE(c.language().empty());
    EXPECT_TRUE(c.check("recieve"));
    EXPECT_TRUE(c.suggest("recieve").empty());
    // A lone .aff without its .dic is no dictionary either.
    writeFile(empty.path / "xx_XX.aff", "SET UTF-8\n");
    EXPECT_TRUE(installedDictionaries({empty.path}).empty());
}

TEST(SpellChecker, DictionaryInAOneByteEncoding) {
    TempDir dir;
    writeFile(dir.path / "fr_XX.aff", "SET ISO8859-1\nTRY eaiouc\xE9\n");
    writeFile(dir.path / "fr_XX.dic", "2\ncaf\xE9\nna\xEFve\n");
    SpellChecker::Options o;
    o.dictionaryDirs = {dir.path};
    o.dataDir = dir.path;
    SpellChecker c(o);
    ASSERT_TRUE(c.available());
    EXPECT_EQ(c.language(), "fr_XX");
    EXPECT_TRUE(c.check("caf\xC3\xA9"));
    EXPECT_TRUE(c.check("na\xC3\xAFve"));
    EXPECT_FALSE(c.check("cafe"));
    EXPECT_FALSE(c.check("\xC5\x81\xC3\xB3\x64\xC5\xBA")); // letters the encoding lacks: wrong, no crash
    const auto s = c.suggest("cafe");
    ASSERT_FALSE(s.empty());
    EXPECT_EQ(s.front(), "caf\xC3\xA9");
    // A word with such letters goes into the user dictionary all the same.
    EXPECT_TRUE(c.addToUserDictionary("\xC5\x81\xC3\xB3\x64\xC5\xBA"));
    EXPECT_TRUE(c.check("\xC5\x81\xC3\xB3\x64\xC5\xBA"));
}

TEST(SpellChecker, LanguageChoice) {
    const std::vector<DictionaryFiles> installed = {{"de_DE", {}, {}}, {"en_GB", {}, {}}, {"en_US", {}, {}}};
    EXPECT_EQ(chooseDictionary(installed, "de_DE")->language, "de_DE");
    EXPECT_EQ(chooseDictionary(installed, "de_AT")->language, "de_DE");
    EXPECT_EQ(chooseDictionary(installed, "en_AU")->language, "en_GB");
    EXPECT_EQ(chooseDictionary(installed, "fa_IR")->language, "en_US");
    EXPECT_EQ(chooseDictionary(installed, "")->language, "en_US");
    EXPECT_EQ(chooseDictionary({{"nl_NL", {}, {}}}, "fa_IR")->language, "nl_NL");
    EXPECT_FALSE(chooseDictionary({}, "en_US"));

    ::setenv("LC_ALL", "de_AT.UTF-8@euro", 1);
    EXPECT_EQ(environmentLanguage(), "de_AT");
    ::setenv("LC_ALL", "C", 1);
    EXPECT_EQ(environmentLanguage(), "");
    ::unsetenv("LC_ALL");
}

} // namespace
} // namespace spelling
