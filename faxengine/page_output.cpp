// Page data to the modem: DLE stuffing, zero fill to the minimum line length, blank lines,
// the output top-up, and the APF file being sent.
#include "faxengine/fax_session.h"

#include "faxengine/engine_errors.h"

#include <algorithm>
#include <filesystem>

namespace faxengine {

namespace {
constexpr std::array<std::uint8_t, 6> kWhiteLine{0x00, 0x80, 0xB2, 0x59, 0x01, 0x00};
constexpr std::size_t kMaxFill = 8192;
// How long a write may wait for room in the output ring before giving up.
constexpr std::chrono::milliseconds kOutputWait{10000};

// Queues all of `data`, waiting for room in the output ring when it is full.
int putAll(TVelkBaseDispatcher& port, std::span<const std::uint8_t> data) {
    while (!data.empty()) {
        const std::size_t room = port.OutBuffFree();
        const std::size_t n = std::min(data.size(), room);
        if (n == 0) {
            if (!port.IsOpen())
                return ec::CommNotOpen;
            const auto deadline = std::chrono::steady_clock::now() + kOutputWait;
            while (port.OutBuffFree() == 0) {
                if (std::chrono::steady_clock::now() > deadline || port.LostError() != 0)
                    return ec::PutBlockFail;
                port.WaitOutputEmpty(std::chrono::milliseconds(20));
            }
            continue;
        }
        if (int rc = port.PutBlock(data.first(n)); rc < 0)
            return rc;
        data = data.subspan(n);
    }
    return 0;
}

int putZeros(TVelkBaseDispatcher& port, std::size_t n) {
    static constexpr std::array<std::uint8_t, kMaxFill> kZeros{};
    return putAll(port, std::span(kZeros.data(), std::min(n, kMaxFill)));
}
} // namespace

int FaxSession::flushStuffed() {
    if (stuffBuf_.empty())
        return 0;
    const int rc = putAll(*port, stuffBuf_);
    stuffBuf_.clear();
    return rc;
}

int FaxSession::WriteStuffed(std::span<const std::uint8_t> data) {
    for (std::uint8_t b : data) {
        stuffBuf_.push_back(b);
        if (b == kDLE)
            stuffBuf_.push_back(b);
        if (stuffBuf_.size() >= kStuffBufferSize)
            if (int rc = flushStuffed(); rc != 0)
                return rc;
    }
    return flushStuffed();
}

int FaxSession::WriteCodedLine(std::span<const std::uint8_t> line) {
    if (int rc = WriteStuffed(line); rc != 0)
        return rc;
    std::size_t fill = 0;
    if (line.size() < static_cast<std::size_t>(std::max(minLineBytes, 0)))
        fill = std::min<std::size_t>(minLineBytes - line.size(), kMaxFill);
    pageBytes += static_cast<std::int64_t>(line.size() + fill);
    return fill ? putZeros(*port, fill) : 0;
}

int FaxSession::WriteBlankLines(int n) {
    for (int i = 0; i < n; ++i) {
        if (int rc = putAll(*port, kWhiteLine); rc != 0)
            return rc;
        std::size_t fill = minLineBytes >= 7 ? static_cast<std::size_t>(minLineBytes - 5) : 0;
        if (fill)
            if (int rc = putZeros(*port, fill); rc != 0)
                return rc;
        pageBytes += static_cast<std::int64_t>(kWhiteLine.size() + fill);
    }
    return 0;
}

int FaxSession::TopUpBuffer() {
    const std::size_t used = port->OutBuffUsed();
    if (bufferMinimum <= 0 || used >= static_cast<std::size_t>(bufferMinimum))
        return 0;
    return putZeros(*port, static_cast<std::size_t>(bufferMinimum) - used);
}

// ---- APF file ---------------------------------------------------------------------------

int FaxSession::OpenFaxFile(const std::string& name) {
    std::filesystem::path path(name);
    if (!path.has_extension())
        path += "." + faxFileExt;
    apf.close();
    if (int rc = apf.open(path); rc != 0)
        return rc;
    fileHeader = apf.header();
    pageData_.clear();
    pagePos_ = 0;
    return 0;
}

int FaxSession::LocatePage(int n) {
    if (!apf.isOpen() || n < 1 || n > apf.pageCount())
        return -100;
    if (int rc = apf.locatePage(n, pageInfo_); rc != 0)
        return rc;
    pageHeader = pageInfo_.header;
    pageData_.clear();
    pagePos_ = 0;
    return 0;
}

int FaxSession::ReadPageHeader() {
    if (int rc = LocatePage(std::max(currentPage, 1)); rc != 0)
        return rc;
    lengthWords = pageHeader.lengthWords();
    prevResolution = resolution;
    resolution = pageHeader.highResolution() ? '1' : '0';
    return 0;
}

int FaxSession::AdvancePage() {
    if (sendingCover) {
        if (coverIsApf) {
            apf.close();
            if (int rc = OpenFaxFile(faxFileName); rc != 0)
                return rc;
        } else {
            coverReader.reset();
            coverReaderOpen = false;
        }
        sendingCover = false;
        coverFileName.clear();
    } else {
        ++currentPage;
        pageBytes = 0;
    }
    return ReadPageHeader();
}

int FaxSession::ReadPageData() {
    pageData_.clear();
    pagePos_ = 0;
    return apf.readPageData(pageInfo_, pageData_);
}

int FaxSession::SendPageBlock(std::size_t maxBytes, bool& done) {
    done = false;
    if (pageData_.empty() && pagePos_ == 0 && pageInfo_.header.imageLength != 0)
        if (int rc = ReadPageData(); rc != 0)
            return rc;
    std::size_t sent = 0;
    while (pagePos_ < pageData_.size() && sent < maxBytes) {
        const std::span<const std::uint8_t> rest(pageData_.data() + pagePos_,
                                                 pageData_.size() - pagePos_);
        if (lengthWords) {
            // Line records: 16-bit little-endian length, then the coded line.
            if (rest.size() < 2)
                return -100;
            const std::size_t len = rest[0] | (rest[1] << 8);
            if (len == 0) { // nothing to send, and no fill for it either
                pagePos_ += 2;
                continue;
            }
            if (rest.size() < 2 + len)
                return -100;
            if (int rc = WriteCodedLine(rest.subspan(2, len)); rc != 0)
                return rc;
            pagePos_ += 2 + len;
            sent += len;
        } else {
            const std::size_t n = std::min<std::size_t>({rest.size(), kDataBufferSize, maxBytes - sent});
            if (int rc = WriteStuffed(rest.first(n)); rc != 0)
                return rc;
            pageBytes += static_cast<std::int64_t>(n);
            pagePos_ += n;
            sent += n;
        }
    }
    done = pagePos_ >= pageData_.size();
    return 0;
}

int FaxSession::SendPageData() {
    bool done = false;
    while (!done)
        if (int rc = SendPageBlock(kDataBufferSize, done); rc != 0)
            return rc;
    return 0;
}

} // namespace faxengine
