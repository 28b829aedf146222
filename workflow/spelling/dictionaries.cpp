#include "workflow/spelling/dictionaries.h"

#include <algorithm>
#include <cstdlib>
#include <set>

namespace spelling {

std::vector<std::filesystem::path> systemDictionaryDirs() {
    return {"/usr/share/hunspell", "/usr/share/myspell/dicts", "/usr/share/myspell"};
}

std::vector<DictionaryFiles> installedDictionaries(const std::vector<std::filesystem::path>& dirs) {
    std::vector<DictionaryFiles> found;
    std::set<std::string> seen;
    for (const auto& dir : dirs) {
        std::error_code ec;
        std::vector<DictionaryFiles> here;
        for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
            const std::filesystem::path& p = it->path();
            if (p.extension() != ".aff")
                continue;
            std::filesystem::path dic = p;
            dic.replace_extension(".dic");
            std::error_code fileEc;
            if (!std::filesystem::is_regular_file(p, fileEc) || !std::filesystem::is_regular_file(dic, fileEc))
                continue;
            here.push_back({p.stem().string(), p, dic});
        }
        std::sort(here.begin(), here.end(),
                  [](const DictionaryFiles& a, const DictionaryFiles& b) { return a.language < b.language; });
        for (auto& d : here)
            if (seen.insert(d.language).second)
                found.push_back(std::move(d));
    }
    std::sort(found.begin(), found.end(),
              [](const DictionaryFiles& a, const DictionaryFiles& b) { return a.language < b.language; });
    return found;
}

std::string environmentLanguage() {
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v)
            continue;
        std::string value(v);
        value = value.substr(0, value.find_first_of(".@"));
        if (value == "C" || value == "POSIX")
            return {};
        return value;
    }
    return {};
}

std::optional<DictionaryFiles> chooseDictionary(const std::vector<DictionaryFiles>& installed,
                                                std::string_view language) {
    if (installed.empty())
        return std::nullopt;
    auto byName = [&](std::string_view name) -> const DictionaryFiles* {
        for (const auto& d : installed)
            if (d.language == name)
                return &d;
        return nullptr;
    };
    if (const auto* d = byName(language); d && !language.empty())
        return *d;
    const std::string_view prefix = language.substr(0, language.find('_'));
    if (!prefix.empty())
        for (const auto& d : installed)
            if (std::string_view(d.language).substr(0, d.language.find('_')) == prefix)
                return d;
    if (const auto* d = byName("en_US"))
        return *d;
    return installed.front();
}

} // namespace spelling
