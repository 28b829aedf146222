#include "faximage/unpack_engine.h"

#include "faximage/staged_output.h"

#include "faximage/bmp_writer.h"
#include "faximage/dcx_writer.h"
#include "faximage/pcx_writer.h"
#include "faximage/unpack_collector.h"
#include "faximage/unpack_stretch.h"

#include <algorithm>
#include <cstring>

namespace faximage {

void UnpackState::setFlag(unsigned flag, bool on) {
    if (on) {
        if (flag & ufDoubleHeight)
            flags_ &= ~ufHalfWidth;
        if (flag & ufHalfWidth)
            flags_ &= ~ufDoubleHeight;
        flags_ |= flag;
    } else {
        flags_ &= ~flag;
    }
}

int UnpackState::setWhitespace(int from, int to) {
    if (from < 0 || to < 0 || to > from || (from == 0 && to != 0))
        return ec::BadArgument;
    wsFrom_ = from;
    wsTo_ = to;
    return 0;
}

void UnpackState::setScaling(int hm, int hd, int vm, int vd) {
    horizMult = std::max(hm, 1);
    horizDiv = std::max(hd, 1);
    vertMult = std::max(vm, 1);
    vertDiv = std::max(vd, 1);
}

int readFaxFileHeader(const std::filesystem::path& name, ApfFileHeader& header) {
    ApfReader reader;
    if (int rc = reader.open(name); rc != 0)
        return rc;
    header = reader.header();
    return 0;
}

namespace {

// Four pixels of a byte pairwise ORed into a nibble.
constexpr std::array<std::uint8_t, 256> makeHalf() {
    std::array<std::uint8_t, 256> t{};
    for (unsigned b = 0; b < 256; ++b) {
        unsigned v = 0;
        for (unsigned k = 0; k < 4; ++k)
            if ((b >> (6 - 2 * k)) & 3u)
                v |= 8u >> k;
        t[b] = static_cast<std::uint8_t>(v);
    }
    return t;
}
constexpr std::array<std::uint8_t, 256> kHalf = makeHalf();

// Squeezing, inversion, halving and doubling between the decoder and the consumer.
class LineDelivery final : public MhLineSink {
public:
    explicit LineDelivery(UnpackState& s) : s_(s) {}

    int error() const { return error_; }

    bool onLine(std::span<const std::uint8_t> line) override {
        ++s_.linesDecoded;
        if (squeezing()) {
            if (std::all_of(line.begin(), line.end(), [](std::uint8_t b) { return b == 0; })) {
                ++s_.blankRun;
                return afterLine();
            }
            if ((error_ = flushBlanks(false)) != 0)
                return false;
        }
        if ((error_ = deliver(line)) != 0)
            return false;
        return afterLine();
    }

    // Held-back blank lines: a run of at least `from` becomes `to`; at the page end a
    // run is dropped when from equals to.
    int flushBlanks(bool pageEnd) {
        int n = s_.blankRun;
        s_.blankRun = 0;
        if (n == 0 || (pageEnd && s_.whitespaceFrom() == s_.whitespaceTo()))
            return 0;
        if (n >= s_.whitespaceFrom())
            n = s_.whitespaceTo();
        for (int i = 0; i < n; ++i)
            if (int rc = deliver({}); rc != 0)
                return rc;
        return 0;
    }

    bool squeezing() const { return s_.whitespaceFrom() != 0 && s_.whitespaceTo() != 0; }

private:
    int deliver(std::span<const std::uint8_t> line) {
        std::uint8_t* buf = s_.lineBuffer.data();
        std::size_t n = line.size();
        const bool standard = !s_.page.header.highResolution();
        const bool halve = n != 0 && standard && s_.hasFlag(ufHalfWidth);
        if (!halve && !s_.invert) // as decoded: no copy
            return consume(line, standard);
        if (halve) {
            // Pixel k is black when either of pixels 2k, 2k+1 is: thin strokes stay.
            n = line.size() / 2;
            for (std::size_t i = 0; i < n; ++i)
                buf[i] = static_cast<std::uint8_t>(kHalf[line[2 * i]] << 4 | kHalf[line[2 * i + 1]]);
        } else if (n != 0) { // a blank line comes as an empty span, without data
            std::memcpy(buf, line.data(), n);
        }
        if (s_.invert)
            for (std::size_t i = 0; i < n; ++i)
                buf[i] = static_cast<std::uint8_t>(~buf[i]);
        return consume(std::span<const std::uint8_t>(buf, n), standard);
    }

    int consume(std::span<const std::uint8_t> out, bool standard) {
        const int times = standard && s_.hasFlag(ufDoubleHeight) ? 2 : 1;
        for (int i = 0; i < times; ++i) {
            if (s_.consumer)
                if (int rc = s_.consumer(0, out, s_.page.number); rc != 0)
                    return rc;
            ++s_.linesDelivered;
        }
        return 0;
    }

    // After each whole line: the yield every 16 lines, and a stop when aborted.
    bool afterLine() {
        if (s_.hasFlag(ufYield) && s_.yield && s_.linesDecoded % 16 == 0) {
            if ((error_ = s_.yield()) != 0)
                return false;
        }
        return !s_.hasFlag(ufAbort);
    }


    UnpackState& s_;
    int error_ = 0;
};

// Reads the page's data and feeds the decoder; returns 0 (also after an abort or at
// the end of the page) or an error.
int decodePageData(UnpackState& s, ApfReader& reader, LineDelivery& sink) {
    PosixFile& file = reader.file();
    const std::int64_t total = s.page.header.imageLength;
    if (int rc = file.seek(s.page.dataOffset); rc != 0)
        return rc;
    auto feed = [&](std::size_t n) -> int {
        s.bytesRead = std::min<std::int64_t>(s.bytesRead + static_cast<std::int64_t>(n), total);
        const MhFeedResult r =
            s.decoder.feed(std::span<const std::uint8_t>(s.inputBuffer.data(), n), sink);
        if (sink.error() != 0)
            return sink.error();
        if (s.status)
            s.status({s.page.number, s.bytesRead, total});
        if (r == MhFeedResult::PageEnd || r == MhFeedResult::Stopped || s.hasFlag(ufAbort))
            return 1; // done
        return 0;
    };
    std::span<std::uint8_t> buf(s.inputBuffer);
    if (!s.page.header.lengthWords()) {
        while (s.bytesRead < total) {
            const auto want = static_cast<std::size_t>(
                std::min<std::int64_t>(total - s.bytesRead, static_cast<std::int64_t>(buf.size())));
            const std::ptrdiff_t got = file.readSome(buf.first(want));
            if (got < 0)
                return static_cast<int>(got);
            if (got == 0)
                return ec::FaxBadFormat; // the data ends before the page does
            if (int rc = feed(static_cast<std::size_t>(got)); rc != 0)
                return rc < 0 ? rc : 0;
        }
    } else {
        // One record at a time; a record longer than the buffer is read in parts, so
        // the records after it stay in step.
        std::int64_t consumed = 0;
        while (total - consumed >= 2) {
            std::array<std::uint8_t, 2> count{};
            if (int rc = file.readExact(count); rc != 0)
                return rc;
            consumed += 2;
            std::int64_t left = std::min<std::int64_t>(count[0] | count[1] << 8, total - consumed);
            while (left > 0) {
                const auto n = static_cast<std::size_t>(
                    std::min<std::int64_t>(left, static_cast<std::int64_t>(buf.size())));
                if (int rc = file.readExact(buf.first(n)); rc != 0)
                    return rc;
                consumed += static_cast<std::int64_t>(n);
                left -= static_cast<std::int64_t>(n);
                s.bytesRead = consumed - static_cast<std::int64_t>(n); // feed adds n
                if (int rc = feed(n); rc != 0)
                    return rc < 0 ? rc : 0;
            }
            s.bytesRead = consumed;
        }
    }
    if (!s.decoder.finish(sink) && sink.error() != 0)
        return sink.error();
    return 0;
}

} // namespace

int unpackPage(UnpackState& s, const std::filesystem::path& name, int page) {
    ApfReader reader;
    if (int rc = reader.open(name); rc != 0)
        return rc;
    s.fileHeader = reader.header();
    if (int rc = reader.locatePage(std::max(page, 1), s.page); rc != 0)
        return rc;
    s.bytesRead = 0;
    s.linesDecoded = 0;
    s.linesDelivered = 0;
    s.blankRun = 0;
    s.badCodes = 0;
    // Lines shorter than the page are shown padded with white, as other readers do.
    s.decoder.startPage(s.page.header.lineWidth());
    if (s.consumer)
        if (int rc = s.consumer(ulPageStart, {}, s.page.number); rc != 0)
            return rc;
    LineDelivery sink(s);
    int rc = decodePageData(s, reader, sink);
    s.badCodes = s.decoder.badCodes();
    if (rc != 0)
        return rc;
    if (sink.squeezing())
        if ((rc = sink.flushBlanks(true)) != 0)
            return rc;
    if (s.consumer)
        return s.consumer(ulPageEnd, {}, s.page.number);
    return 0;
}

namespace {

// Runs the page through the collector, with the state's consumer and invert restored
// afterwards whatever happens.
int collectPage(UnpackState& s, const std::filesystem::path& name, int page, bool invert,
                PageCollector::Width width, MonoBitmap& rows) {
    PageCollector collector;
    UnpackLineConsumer saved = std::move(s.consumer);
    const bool savedInvert = s.invert;
    s.invert = invert;
    s.consumer = [&](unsigned flags, std::span<const std::uint8_t> line, int) {
        if (flags & ulPageStart) {
            collector.begin(s.page.header.wide() ? 256 : 216, invert, width);
            return 0;
        }
        if (flags & ulPageEnd)
            return 0;
        return collector.addLine(line);
    };
    const int rc = unpackPage(s, name, page);
    s.consumer = std::move(saved);
    s.invert = savedInvert;
    rows = rc == 0 ? collector.finish() : MonoBitmap();
    return rc;
}

int scaleRows(const UnpackState& s, MonoBitmap& rows) {
    if (!s.scaled() || rows.empty())
        return 0;
    MonoBitmap scaled;
    const int rc = stretchBitmap(rows, scaledSize(rows.width(), s.horizMult, s.horizDiv),
                                 scaledSize(rows.height(), s.vertMult, s.vertDiv), scaled);
    rows = std::move(scaled);
    return rc;
}

// Packed, scaled rows for an export, 1 = black, in whole pairs of bytes.
int exportRows(UnpackState& s, const std::filesystem::path& name, int page, MonoBitmap& rows) {
    if (int rc = collectPage(s, name, page, false, PageCollector::Width::Packed, rows); rc != 0)
        return rc;
    if (int rc = scaleRows(s, rows); rc != 0)
        return rc;
    if (rows.empty())
        return ec::FaxBadFormat; // no line of the page could be decoded
    const std::size_t even = (MonoBitmap::bytesForWidth(rows.width()) + 1) & ~std::size_t{1};
    if (static_cast<std::size_t>(rows.width()) != even * 8) {
        MonoBitmap padded(static_cast<int>(even * 8), rows.height(), rows.sense());
        for (int y = 0; y < rows.height(); ++y)
            for (int x = 0; x < rows.width(); ++x)
                if (rows.isBlack(x, y))
                    padded.setBlack(x, y, true);
        rows = std::move(padded);
    }
    return 0;
}

} // namespace

int unpackPageToBitmap(UnpackState& s, const std::filesystem::path& name, int page, bool invert,
                       MonoBitmap& bitmap) {
    if (int rc = collectPage(s, name, page, invert, PageCollector::Width::Packed, bitmap); rc != 0)
        return rc;
    if (int rc = scaleRows(s, bitmap); rc != 0) {
        bitmap = MonoBitmap();
        return rc;
    }
    return 0;
}

int unpackPageToRaster(const std::filesystem::path& name, int page, MonoBitmap& raster,
                       ApfPageHeader& pageHeader) {
    UnpackState s;
    s.setFlag(ufYield, false);
    const int rc = collectPage(s, name, page, false, PageCollector::Width::Full, raster);
    pageHeader = s.page.header;
    return rc;
}

int unpackPageToPcx(UnpackState& s, const std::filesystem::path& name, int page,
                    const std::filesystem::path& out) {
    MonoBitmap rows;
    if (int rc = checkOutputTarget(out, {name}); rc != 0)
        return rc;
    if (int rc = exportRows(s, name, page, rows); rc != 0)
        return rc;
    return writePcxFile(out, rows);
}

int unpackPageToDcx(UnpackState& s, const std::filesystem::path& name, int page,
                    const std::filesystem::path& out) {
    MonoBitmap rows;
    if (int rc = checkOutputTarget(out, {name}); rc != 0)
        return rc;
    if (int rc = exportRows(s, name, page, rows); rc != 0)
        return rc;
    return writeDcxFile(out, rows);
}

int unpackPageToBmp(UnpackState& s, const std::filesystem::path& name, int page,
                    const std::filesystem::path& out) {
    MonoBitmap rows;
    if (int rc = checkOutputTarget(out, {name}); rc != 0)
        return rc;
    if (int rc = exportRows(s, name, page, rows); rc != 0)
        return rc;
    return writeBmpFile(out, rows);
}

} // namespace faximage
