// The spelling dictionaries installed on the system (an ".aff" and a ".dic" file of one
// name, such as en_US) and the choice of one for the user's language.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace spelling {

struct DictionaryFiles {
    std::string language; // the file name without extension: "en_US"
    std::filesystem::path aff;
    std::filesystem::path dic;
};

// Where Linux distributions put spelling dictionaries.
std::vector<std::filesystem::path> systemDictionaryDirs();

// Every complete dictionary in `dirs`, sorted by language; a language found in two
// directories counts once, from the first.
std::vector<DictionaryFiles> installedDictionaries(const std::vector<std::filesystem::path>& dirs);

// The user's language from the environment (LC_ALL, LC_MESSAGES, LANG) as "ll_CC";
// empty when none is set or it is "C"/"POSIX".
std::string environmentLanguage();

// The dictionary for `language`: the same name, else one of the same language ("en_GB"
// for "en_US"), else en_US, else the first. Nothing when the list is empty.
std::optional<DictionaryFiles> chooseDictionary(const std::vector<DictionaryFiles>& installed,
                                                std::string_view language);

} // namespace spelling
