#include "faxengine/fax_files.h"

#include "faxengine/engine_errors.h"
#include "faximage/apf_file.h"
#include "faximage/posix_file.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <ctime>
#include <limits>
#include <set>
#include <system_error>

namespace faxengine {

namespace {

using faximage::ApfFileHeader;
using faximage::PosixFile;

[[noreturn]] void raiseFileError(int code) {
    // PosixFile codes are negated table codes; the exception carries the positive one.
    if (code == faximage::kErrReadPastEnd)
        throw faximage::EFaxBadFormat(ec::FaxBadFormat);
    throw faximage::EInOutError(-code);
}

void check(int code) {
    if (code < 0)
        raiseFileError(code);
}

ApfFileHeader readHeader(PosixFile& f) {
    std::array<std::uint8_t, faximage::kApfFileHeaderSize> raw{};
    check(f.readExact(raw));
    auto h = ApfFileHeader::parse(raw);
    if (!h.hasSignature() || h.firstPageOffset < faximage::kApfFileHeaderSize)
        throw faximage::EFaxBadFormat(ec::FaxBadFormat);
    return h;
}

void copyRest(PosixFile& from, PosixFile& to) {
    std::array<std::uint8_t, 65536> buf{};
    for (;;) {
        auto n = from.readSome(buf);
        if (n < 0)
            raiseFileError(static_cast<int>(n));
        if (n == 0)
            return;
        check(to.writeAll(std::span<const std::uint8_t>(buf.data(), static_cast<std::size_t>(n))));
    }
}

// Removes the temporary file unless released.
struct TempFileGuard {
    std::filesystem::path path;
    bool keep = false;
    ~TempFileGuard() {
        if (!keep && !path.empty()) {
            std::error_code ec;
            std::filesystem::remove(path, ec);
        }
    }
};

std::string lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

} // namespace

std::filesystem::path concatenateFaxFiles(const std::vector<std::string>& files,
                                          const std::filesystem::path& tempDir) {
    if (files.empty())
        throw faximage::EBadArgument(ec::BadArgument);

    // The extension matters: the session adds the fax extension to a name without one.
    std::string pattern = (tempDir / "~APXXXXXX.APF").string();
    int fd = ::mkstemps(pattern.data(), 4);
    if (fd < 0)
        throw faximage::EInOutError(faximage::fileErrorCode(errno));
    ::close(fd);
    TempFileGuard guard{pattern};

    PosixFile out;
    check(out.open(pattern, PosixFile::Mode::CreateTruncate));
    ApfFileHeader result;
    std::uint32_t pages = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        PosixFile in;
        check(in.open(files[i], PosixFile::Mode::Read));
        ApfFileHeader h = readHeader(in);
        if (i == 0) {
            // The first file goes over whole, header and all.
            result = h;
            check(in.seek(0));
        } else {
            check(in.seek(h.firstPageOffset));
        }
        copyRest(in, out);
        pages += h.pageCount;
    }
    if (pages > std::numeric_limits<std::uint16_t>::max())
        throw faximage::EBadArgument(ec::BadArgument);
    result.pageCount = static_cast<std::uint16_t>(pages);
    auto bytes = result.serialize();
    check(out.writeAllAt(0, bytes));
    check(out.close());
    guard.keep = true;
    return pattern;
}

std::string receivedFaxName(int namingMode, const std::string& destinationDir,
                            const std::string& extension, std::chrono::system_clock::time_point now) {
    if (namingMode != 1 && namingMode != 2)
        return destinationDir + "noname.apf";

    std::string prefix = "FAX";
    if (namingMode == 2) {
        std::time_t t = std::chrono::system_clock::to_time_t(now);
        std::tm tm{};
        localtime_r(&t, &tm);
        char md[16];
        std::snprintf(md, sizeof md, "%02d%02d", tm.tm_mon + 1, tm.tm_mday);
        prefix = md;
    }

    // One look at the directory; received files may have been renamed to other cases.
    std::set<std::string> present;
    std::error_code ec;
    std::filesystem::path dir = destinationDir.empty() ? "." : destinationDir;
    for (std::filesystem::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
        present.insert(lower(it->path().filename().string()));

    for (int n = 1; n <= 9999; ++n) {
        char num[16];
        std::snprintf(num, sizeof num, "%04d", n);
        std::string name = prefix + num + "." + extension;
        if (!present.count(lower(name)))
            return destinationDir + name;
    }
    return destinationDir + "NONAME.APF";
}

std::string withTrailingSeparator(std::string dir) {
    if (!dir.empty() && dir.back() != '/')
        dir += '/';
    return dir;
}

} // namespace faxengine
