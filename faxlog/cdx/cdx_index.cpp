#include "faxlog/cdx/cdx_index.h"

#include "faxlog/cdx/cdx_format.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <iterator>

namespace faxlog::cdx {

namespace detail {
struct IndexState {
    std::filesystem::path path;
    uint32_t stamp = 0;
    bool dirty = false;
    std::vector<std::unique_ptr<CdxTag>> tags;
};
}  // namespace detail

namespace {

std::string upper(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = char(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

// Closes the descriptor it holds.
class Fd {
public:
    explicit Fd(int fd) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { close(); }
    int get() const { return fd_; }
    int close() {
        int rc = 0;
        if (fd_ >= 0) rc = ::close(fd_);
        fd_ = -1;
        return rc;
    }

private:
    int fd_;
};

std::string errnoText() { return std::strerror(errno); }

// Write the image beside the target, make it durable, then swap it in: a crash leaves
// either the old file or the new one.
void replaceFile(const std::filesystem::path& file, const std::vector<uint8_t>& bytes) {
    std::filesystem::path temp = file;
    temp += ".tmp";
    {
        Fd fd(::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (fd.get() < 0) throw CdxError(file, "cannot create " + temp.string() + ": " + errnoText());
        struct stat old {};
        if (::stat(file.c_str(), &old) == 0) ::fchmod(fd.get(), old.st_mode & 07777);   // keep the old mode
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
            if (n < 0 && errno == EINTR) continue;
            if (n <= 0) {
                const std::string why = errnoText();
                ::unlink(temp.c_str());
                throw CdxError(file, "cannot write " + temp.string() + ": " + why);
            }
            done += size_t(n);
        }
        if (::fsync(fd.get()) != 0 || fd.close() != 0) {
            const std::string why = errnoText();
            ::unlink(temp.c_str());
            throw CdxError(file, "cannot write " + temp.string() + ": " + why);
        }
    }
    if (::rename(temp.c_str(), file.c_str()) != 0) {
        const std::string why = errnoText();
        ::unlink(temp.c_str());
        throw CdxError(file, "cannot replace the file: " + why);
    }
    std::filesystem::path dir = file.parent_path();
    if (dir.empty()) dir = ".";
    Fd dirFd(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dirFd.get() >= 0) ::fsync(dirFd.get());   // best effort: the data itself is synced
}

std::vector<uint8_t> readWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary | std::ios::ate);
    if (!in) throw CdxError(file, "cannot open the file");
    const std::streamoff size = in.tellg();
    if (size < 0) throw CdxError(file, "cannot read the file");
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    in.seekg(0);
    if (!in.read(reinterpret_cast<char*>(bytes.data()), size)) throw CdxError(file, "cannot read the file");
    return bytes;
}

}  // namespace

CdxError::CdxError(const std::filesystem::path& f, const std::string& what)
    : std::runtime_error(f.string() + ": " + what), file(f) {}

// ---- CdxTag ----

CdxTag::CdxTag(detail::IndexState* owner, TagInfo info)
    : owner_(owner), info_(std::move(info)), entries_(KeyOrder{info_.descending}) {}

void CdxTag::fail(const std::string& what) const { throw CdxError(owner_->path, "tag " + info_.name + ": " + what); }

void CdxTag::markDirty() { owner_->dirty = true; }

CdxTag::const_iterator CdxTag::seek(std::string_view key) const { return entries_.lower_bound(KeyOrder::Prefix{key}); }

CdxTag::const_iterator CdxTag::find(std::string_view key, uint32_t recno) const {
    return entries_.find(KeyEntry{std::string(key), recno});
}

void CdxTag::insert(std::string key, uint32_t recno) {
    if (key.size() != size_t(info_.keyLength))
        fail("key of " + std::to_string(key.size()) + " bytes, expected " + std::to_string(info_.keyLength));
    if (recno == 0) fail("record number 0");
    if (info_.unique) {
        auto it = entries_.lower_bound(KeyOrder::Prefix{key});
        if (it != entries_.end() && it->key == key) return;
    }
    if (entries_.insert(KeyEntry{std::move(key), recno}).second) markDirty();
}

bool CdxTag::erase(std::string_view key, uint32_t recno) {
    auto it = find(key, recno);
    if (it == entries_.end()) return false;
    entries_.erase(it);
    markDirty();
    return true;
}

void CdxTag::assign(std::vector<KeyEntry> entries) {
    for (const KeyEntry& e : entries) {
        if (e.key.size() != size_t(info_.keyLength))
            fail("key of " + std::to_string(e.key.size()) + " bytes, expected " + std::to_string(info_.keyLength));
        if (e.recno == 0) fail("record number 0");
    }
    // Deduplicate in ascending order so that a unique tag keeps each key's lowest
    // record number whichever way the tag runs.
    std::sort(entries.begin(), entries.end(), KeyOrder{false});
    auto same = [&](const KeyEntry& a, const KeyEntry& b) {
        return a.key == b.key && (info_.unique || a.recno == b.recno);
    };
    entries.erase(std::unique(entries.begin(), entries.end(), same), entries.end());
    const KeyOrder order{info_.descending};
    if (info_.descending) std::reverse(entries.begin(), entries.end());
    // Sorted input builds the set in linear time.
    entries_ = Set(std::make_move_iterator(entries.begin()), std::make_move_iterator(entries.end()), order);
    markDirty();
}

// ---- CdxIndex ----

CdxIndex::CdxIndex(std::unique_ptr<detail::IndexState> state) : state_(std::move(state)) {}
CdxIndex::CdxIndex(CdxIndex&&) noexcept = default;
CdxIndex& CdxIndex::operator=(CdxIndex&&) noexcept = default;
CdxIndex::~CdxIndex() = default;

CdxIndex CdxIndex::create(const std::filesystem::path& file) {
    auto state = std::make_unique<detail::IndexState>();
    state->path = file;
    state->dirty = true;
    return CdxIndex(std::move(state));
}

CdxIndex CdxIndex::open(const std::filesystem::path& file, const KeyTypeResolver& resolve) {
    const std::vector<uint8_t> bytes = readWholeFile(file);
    format::FileImage image = format::readFile(file, bytes, resolve);
    auto state = std::make_unique<detail::IndexState>();
    state->path = file;
    state->stamp = image.stamp;
    for (format::TagImage& t : image.tags) {
        auto tag = std::make_unique<CdxTag>(state.get(), std::move(t.info));
        // Already in index order (checked by the reader).
        for (KeyEntry& e : t.entries) tag->entries_.insert(tag->entries_.end(), std::move(e));
        state->tags.push_back(std::move(tag));
    }
    return CdxIndex(std::move(state));
}

const std::filesystem::path& CdxIndex::path() const { return state_->path; }

std::vector<std::string> CdxIndex::tagNames() const {
    std::vector<std::string> names;
    for (const auto& t : state_->tags) names.push_back(t->info().name);
    return names;
}

CdxTag* CdxIndex::tag(std::string_view name) {
    const std::string wanted = upper(name);
    for (const auto& t : state_->tags)
        if (t->info().name == wanted) return t.get();
    return nullptr;
}

const CdxTag* CdxIndex::tag(std::string_view name) const { return const_cast<CdxIndex*>(this)->tag(name); }

CdxTag& CdxIndex::createTag(const TagInfo& given, std::vector<KeyEntry> entries) {
    TagInfo info = given;
    info.name = upper(info.name);
    auto bad = [&](const std::string& what) { throw CdxError(state_->path, "tag " + info.name + ": " + what); };
    if (!format::validTagName(info.name)) bad("invalid tag name");
    if (info.keyType != 'C' && info.keyType != 'N' && info.keyType != 'D' && info.keyType != 'L')
        bad("unknown key type");
    if (info.keyLength < 1 || info.keyLength > format::kMaxKeyLength) bad("key length out of range");
    if ((info.keyType == 'N' || info.keyType == 'D') && info.keyLength != 8) bad("numeric keys are 8 bytes");
    if (info.keyType == 'L' && info.keyLength != 1) bad("logical keys are 1 byte");
    if (info.keyExpression.empty()) bad("empty key expression");
    const auto hasNul = [](const std::string& s) { return s.find('\0') != std::string::npos; };
    if (hasNul(info.keyExpression) || hasNul(info.forExpression) ||
        info.keyExpression.size() + info.forExpression.size() + 2 > format::kExpressionPool)
        bad("expressions too long or not text");

    auto tag = std::make_unique<CdxTag>(state_.get(), std::move(info));
    tag->assign(std::move(entries));
    CdxTag& result = *tag;
    auto it = std::find_if(state_->tags.begin(), state_->tags.end(),
                           [&](const auto& t) { return t->info().name == result.info().name; });
    if (it != state_->tags.end())
        *it = std::move(tag);
    else
        state_->tags.push_back(std::move(tag));
    state_->dirty = true;
    return result;
}

void CdxIndex::removeTag(std::string_view name) {
    const std::string wanted = upper(name);
    auto it = std::find_if(state_->tags.begin(), state_->tags.end(),
                           [&](const auto& t) { return t->info().name == wanted; });
    if (it == state_->tags.end()) return;
    state_->tags.erase(it);
    state_->dirty = true;
}

uint32_t CdxIndex::stamp() const { return state_->stamp; }

void CdxIndex::setStamp(uint32_t stamp) {
    if (stamp == state_->stamp) return;
    state_->stamp = stamp;
    state_->dirty = true;
}

void CdxIndex::flush() {
    if (!state_->dirty) return;
    std::vector<const CdxTag*> tags;
    for (const auto& t : state_->tags) tags.push_back(t.get());
    replaceFile(state_->path, format::writeFile(tags, state_->stamp));
    state_->dirty = false;
}

bool CdxIndex::dirty() const { return state_->dirty; }

}  // namespace faxlog::cdx
