// Checks words against a system dictionary and the user's own dictionary, a word list
// kept in the program's data directory. Plain C++: words are UTF-8.
#pragma once

#include "workflow/spelling/dictionaries.h"

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

class Hunspell;

namespace spelling {

// The user dictionary's file name in the data directory: one word a line, UTF-8.
inline constexpr const char* kUserDictionaryFile = "PVNUSER.DIC";

class SpellChecker {
public:
    struct Options {
        std::filesystem::path dataDir;                  // user dictionary; none when empty
        std::string language;                           // empty: the environment's
        std::vector<std::filesystem::path> dictionaryDirs = systemDictionaryDirs();
    };

    explicit SpellChecker(Options options);
    ~SpellChecker();
    SpellChecker(const SpellChecker&) = delete;
    SpellChecker& operator=(const SpellChecker&) = delete;

    // False when no dictionary is installed: then every word passes.
    bool available() const { return bool(hunspell_); }
    // The dictionary in use ("en_US"), empty when none.
    const std::string& language() const { return language_; }
    // Why the user dictionary could not be read (it is then empty); empty when it was.
    const std::string& userDictionaryProblem() const { return userProblem_; }

    // True when the word is spelt right, is in the user dictionary, was ignored for this
    // run, or cannot be checked (no dictionary).
    bool check(std::string_view word) const;
    // Replacements, best first; none without a dictionary.
    std::vector<std::string> suggest(std::string_view word) const;

    // Adds the word to the user dictionary file (kept whole if writing fails) and to the
    // words accepted at once. False, with the reason in *error, when the file could not
    // be written; the word is still accepted for this run.
    bool addToUserDictionary(std::string_view word, std::string* error = nullptr);
    // Accepts the word until this checker goes.
    void ignoreForSession(std::string_view word);

    std::filesystem::path userDictionaryPath() const;

private:
    std::string toDictionary(std::string_view utf8, bool* ok) const;
    std::string fromDictionary(std::string_view word) const;
    void loadUserDictionary();

    Options options_;
    std::unique_ptr<Hunspell> hunspell_;
    std::string language_;
    std::string encoding_; // the dictionary's, when it is not UTF-8
    std::set<std::string, std::less<>> userWords_;
    std::set<std::string, std::less<>> ignored_;
    std::string userProblem_;
};

} // namespace spelling
