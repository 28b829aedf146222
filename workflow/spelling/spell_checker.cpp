#include "workflow/spelling/spell_checker.h"

#include <hunspell/hunspell.hxx>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iconv.h>
#include <sstream>

namespace spelling {

namespace {

// Hunspell takes words longer than this as wrong and is slow to suggest for them.
constexpr std::size_t kLongestWordBytes = 100;

std::string upperAscii(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c); });
    return s;
}

bool isUtf8Name(const std::string& encoding) {
    const std::string u = upperAscii(encoding);
    return u.empty() || u == "UTF-8" || u == "UTF8";
}

// Converts between encodings with iconv; false when a character has no form in `to`.
bool convert(const std::string& from, const std::string& to, std::string_view in, std::string* out) {
    iconv_t cd = iconv_open(to.c_str(), from.c_str());
    if (cd == reinterpret_cast<iconv_t>(-1))
        return false;
    std::string result(in.size() * 4 + 4, '\0');
    char* src = const_cast<char*>(in.data());
    std::size_t srcLeft = in.size();
    char* dst = result.data();
    std::size_t dstLeft = result.size();
    const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
    iconv_close(cd);
    if (r == static_cast<std::size_t>(-1))
        return false;
    result.resize(result.size() - dstLeft);
    *out = std::move(result);
    return true;
}

// The typographic apostrophe is the same letter for the dictionary's purposes.
std::string normaliseApostrophes(std::string_view word) {
    std::string out;
    out.reserve(word.size());
    for (std::size_t i = 0; i < word.size(); ++i) {
        if (word.substr(i, 3) == "\xE2\x80\x99") {
            out += '\'';
            i += 2;
        } else {
            out += word[i];
        }
    }
    return out;
}

} // namespace

SpellChecker::SpellChecker(Options options) : options_(std::move(options)) {
    const std::string wanted = options_.language.empty() ? environmentLanguage() : options_.language;
    if (const auto dict = chooseDictionary(installedDictionaries(options_.dictionaryDirs), wanted)) {
        hunspell_ = std::make_unique<Hunspell>(dict->aff.c_str(), dict->dic.c_str());
        language_ = dict->language;
        if (!isUtf8Name(hunspell_->get_dict_encoding()))
            encoding_ = hunspell_->get_dict_encoding();
    }
    loadUserDictionary();
}

SpellChecker::~SpellChecker() = default;

std::filesystem::path SpellChecker::userDictionaryPath() const {
    return options_.dataDir.empty() ? std::filesystem::path() : options_.dataDir / kUserDictionaryFile;
}

void SpellChecker::loadUserDictionary() {
    const auto path = userDictionaryPath();
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec))
        return;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        userProblem_ = path.string() + " cannot be read";
        return;
    }
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        const std::string word = normaliseApostrophes(line);
        userWords_.insert(word);
        bool ok = false;
        const std::string encoded = toDictionary(word, &ok);
        if (hunspell_ && ok)
            hunspell_->add(encoded);
    }
}

std::string SpellChecker::toDictionary(std::string_view utf8, bool* ok) const {
    *ok = true;
    if (encoding_.empty())
        return std::string(utf8);
    std::string out;
    *ok = convert("UTF-8", encoding_, utf8, &out);
    return out;
}

std::string SpellChecker::fromDictionary(std::string_view word) const {
    if (encoding_.empty())
        return std::string(word);
    std::string out;
    return convert(encoding_, "UTF-8", word, &out) ? out : std::string();
}

bool SpellChecker::check(std::string_view word) const {
    if (!hunspell_ || word.empty())
        return true;
    const std::string w = normaliseApostrophes(word);
    if (ignored_.contains(w) || userWords_.contains(w))
        return true;
    if (w.size() > kLongestWordBytes)
        return false;
    bool ok = false;
    const std::string encoded = toDictionary(w, &ok);
    // A letter the dictionary's alphabet lacks cannot be in it.
    return ok && hunspell_->spell(encoded);
}

std::vector<std::string> SpellChecker::suggest(std::string_view word) const {
    std::vector<std::string> out;
    if (!hunspell_ || word.empty() || word.size() > kLongestWordBytes)
        return out;
    bool ok = false;
    const std::string encoded = toDictionary(normaliseApostrophes(word), &ok);
    if (!ok)
        return out;
    for (const std::string& s : hunspell_->suggest(encoded))
        if (std::string u = fromDictionary(s); !u.empty())
            out.push_back(std::move(u));
    return out;
}

void SpellChecker::ignoreForSession(std::string_view word) { ignored_.insert(normaliseApostrophes(word)); }

bool SpellChecker::addToUserDictionary(std::string_view word, std::string* error) {
    const std::string w = normaliseApostrophes(word);
    if (w.empty() || w.find_first_of("\r\n") != std::string::npos) {
        if (error)
            *error = "not a word";
        return false;
    }
    if (userWords_.insert(w).second && hunspell_) {
        bool ok = false;
        const std::string encoded = toDictionary(w, &ok);
        if (ok)
            hunspell_->add(encoded);
    }
    const auto path = userDictionaryPath();
    if (path.empty()) {
        if (error)
            *error = "there is no data directory for a user dictionary";
        return false;
    }
    // Written beside the file and renamed over it, so that a failed write never costs
    // the words already there.
    std::ostringstream text;
    for (const std::string& u : userWords_)
        text << u << '\n';
    const std::string data = text.str();
    auto temp = path;
    temp += ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(data.data(), std::streamsize(data.size()));
        out.flush();
        if (!out) {
            std::error_code ec;
            std::filesystem::remove(temp, ec);
            if (error)
                *error = temp.string() + " cannot be written";
            return false;
        }
    }
    std::error_code ec;
    std::filesystem::rename(temp, path, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        if (error)
            *error = path.string() + " cannot be replaced: " + ec.message();
        return false;
    }
    return true;
}

} // namespace spelling
