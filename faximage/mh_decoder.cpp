#include "faximage/mh_decoder.h"

#include "faximage/mh_codes.h"

#include <array>
#include <bit>
#include <cstring>

namespace faximage {

namespace {

enum class Kind : std::uint8_t {
    Terminating, // run 0..63, colour changes
    Makeup,      // run 64..2560, colour stays
    Eol,
    Fill,   // eleven 0 bits: the rest of an EOL's zeros, however many, then its 1
    Bad,    // no code of this colour starts with these bits
    Longer, // more than 8 bits: look at the next 5 in the second table
};

struct Entry {
    std::uint16_t value = 0; // run, or the second-level block for Longer
    std::uint8_t length = 0; // bits used
    Kind kind = Kind::Bad;
};

constexpr int kFirstBits = 8;
constexpr int kSecondBits = kMaxCodeLength - kFirstBits;
constexpr int kFillZeros = 11;
constexpr std::size_t kMaxBlocks = 32;

struct Code {
    std::uint16_t bits; // transmission order
    std::uint8_t length;
    std::uint16_t run;
    bool eol;
};

struct Tables {
    std::array<Entry, 1u << kFirstBits> first{};
    std::array<Entry, kMaxBlocks << kSecondBits> second{};
    std::size_t blocks = 0;
};

constexpr std::array<Code, kRunCodesPerColor + 1> codesOf(RunColor color) {
    std::array<Code, kRunCodesPerColor + 1> all{};
    const auto runs = runCodes(color);
    for (std::size_t i = 0; i < runs.size(); ++i)
        all[i] = {transmissionOrder(runs[i].code), runs[i].code.length, runs[i].run, false};
    all[runs.size()] = {transmissionOrder(kEol), kEol.length, 0, true};
    return all;
}

// What the tree walk reaches after the first `available` bits of `bits` (first bit in
// bit 0); Longer when it is still at an inner node.
constexpr Entry walk(const std::array<Code, kRunCodesPerColor + 1>& codes, std::uint32_t bits,
                     int available) {
    for (int depth = 1; depth <= available; ++depth) {
        const std::uint32_t prefix = bits & ((1u << depth) - 1);
        if (depth == kFillZeros && prefix == 0)
            return {0, static_cast<std::uint8_t>(depth), Kind::Fill};
        bool longer = false;
        for (const Code& c : codes) {
            if (c.length == depth && c.bits == prefix) {
                if (c.eol)
                    return {0, static_cast<std::uint8_t>(depth), Kind::Eol};
                return {c.run, static_cast<std::uint8_t>(depth),
                        c.run < 64 ? Kind::Terminating : Kind::Makeup};
            }
            if (c.length > depth && (c.bits & ((1u << depth) - 1)) == prefix)
                longer = true;
        }
        if (!longer)
            return {0, static_cast<std::uint8_t>(depth), Kind::Bad};
    }
    return {0, 0, Kind::Longer};
}

constexpr Tables buildTables(RunColor color) {
    const auto codes = codesOf(color);
    Tables t;
    for (std::uint32_t i = 0; i < t.first.size(); ++i) {
        Entry e = walk(codes, i, kFirstBits);
        if (e.kind == Kind::Longer) {
            const std::size_t block = t.blocks++;
            e.value = static_cast<std::uint16_t>(block);
            for (std::uint32_t j = 0; j < (1u << kSecondBits); ++j)
                t.second[(block << kSecondBits) + j] =
                    walk(codes, i | (j << kFirstBits), kMaxCodeLength);
        }
        t.first[i] = e;
    }
    return t;
}

constexpr Tables kWhiteTables = buildTables(RunColor::White);
constexpr Tables kBlackTables = buildTables(RunColor::Black);

static_assert(kWhiteTables.blocks < kMaxBlocks && kBlackTables.blocks < kMaxBlocks);

constexpr bool noLongerLeft(const Tables& t) {
    for (const Entry& e : t.second)
        if (e.kind == Kind::Longer)
            return false;
    return true;
}
// Every 13-bit string is decided: a code, fill, or bad.
static_assert(noLongerLeft(kWhiteTables) && noLongerLeft(kBlackTables));

constexpr Entry lookup(const Tables& t, std::uint64_t acc) {
    const Entry e = t.first[acc & ((1u << kFirstBits) - 1)];
    if (e.kind != Kind::Longer)
        return e;
    return t.second[(static_cast<std::size_t>(e.value) << kSecondBits) +
                    ((acc >> kFirstBits) & ((1u << kSecondBits) - 1))];
}

// Sets pixels [from, to) of a 1 = black line.
inline void setBlack(std::uint8_t* line, int from, int to) {
    if (from >= to)
        return;
    const int first = from >> 3;
    const int last = (to - 1) >> 3;
    const auto head = static_cast<std::uint8_t>(0xFFu >> (from & 7));
    const auto tail = static_cast<std::uint8_t>(0xFF00u >> (((to - 1) & 7) + 1));
    if (first == last) {
        line[first] |= static_cast<std::uint8_t>(head & tail);
        return;
    }
    line[first] |= head;
    if (last > first + 1)
        std::memset(line + first + 1, 0xFF, static_cast<std::size_t>(last - first - 1));
    line[last] |= tail;
}

} // namespace

void MhDecoder::startPage(int padShortLinesTo) {
    padTo_ = padShortLinesTo == 1728 || padShortLinesTo == kMhMaxLinePixels ? padShortLinesTo : 0;
    paddedLines_ = 0;
    acc_ = 0;
    bits_ = 0;
    mode_ = Mode::Code;
    black_ = false;
    waiting_ = true;
    ended_ = false;
    eolRun_ = 0;
    pos_ = 0;
    badCodes_ = 0;
    droppedLines_ = 0;
    lines_ = 0;
    std::memset(line_, 0, sizeof line_);
}

bool MhDecoder::endLine(MhLineSink& sink) {
    bool go = true;
    if (!waiting_) {
        if (pos_ == 1728 || pos_ == kMhMaxLinePixels) {
            ++lines_;
            go = sink.onLine({line_, static_cast<std::size_t>(pos_ / 8)});
        } else if (pos_ > 0 && pos_ < padTo_) {
            // The rest of the line buffer is white already.
            ++lines_;
            ++paddedLines_;
            go = sink.onLine({line_, static_cast<std::size_t>(padTo_ / 8)});
        } else if (pos_ != 0) {
            ++droppedLines_;
        }
    }
    const int used = pos_ > kMhMaxLinePixels ? kMhMaxLinePixels : pos_;
    std::memset(line_, 0, static_cast<std::size_t>(used + 7) / 8);
    pos_ = 0;
    black_ = false;
    waiting_ = false;
    if (++eolRun_ >= 3)
        ended_ = true;
    return go;
}

// The hot loop keeps the bit reader and the line position in locals: stores into the
// line buffer would otherwise force the compiler to reload members after every run.
MhFeedResult MhDecoder::run(const std::uint8_t* p, const std::uint8_t* end, MhLineSink& sink) {
    std::uint64_t acc = acc_;
    int bits = bits_;
    int pos = pos_;
    bool black = black_;
    bool waiting = waiting_;
    Mode mode = mode_;
    std::uint8_t* const line = line_;
    auto save = [&] {
        acc_ = acc;
        bits_ = bits;
        pos_ = pos;
        black_ = black;
        mode_ = mode;
    };
    // An EOL: the line goes out (or is dropped) with the members up to date.
    auto eol = [&]() -> int {
        save();
        const bool go = endLine(sink);
        pos = pos_;
        black = black_;
        waiting = waiting_;
        if (ended_)
            return 1;
        return go ? 0 : 2;
    };
    for (;;) {
        if (end - p >= 8) {
            // Eight bytes at once; bits past `bits` are the true next ones and are
            // counted (and ORed in again, unchanged) later.
            std::uint64_t v;
            std::memcpy(&v, p, 8);
            if constexpr (std::endian::native == std::endian::big)
                v = __builtin_bswap64(v);
            acc |= v << bits;
            p += (63 - bits) >> 3;
            bits |= 56;
        } else {
            while (bits <= 48 && p != end) { // at most 56 bits: shifts stay below 64
                acc |= static_cast<std::uint64_t>(*p++) << bits;
                bits += 8;
            }
        }
        if (bits == 0)
            break;
        // Enough bits for any code; below that only at the end of the input, where a
        // lookup counts only when its code lies wholly in the bits there are.
        const int keep = p == end ? 0 : kMaxCodeLength;
        while (bits > keep) {
            if (mode == Mode::Fill) {
                const int zeros = acc == 0 ? 64 : std::countr_zero(acc);
                if (zeros >= bits) { // zeros only: all fill
                    acc = 0;
                    bits = 0;
                    break;
                }
                acc >>= zeros + 1;
                bits -= zeros + 1;
                mode = Mode::Code;
                if (const int r = eol(); r != 0) {
                    save();
                    return r == 1 ? MhFeedResult::PageEnd : MhFeedResult::Stopped;
                }
                continue;
            }
            if (mode == Mode::Resync) {
                const int ones = std::countr_one(acc);
                if (ones >= bits) {
                    acc = 0;
                    bits = 0;
                    break;
                }
                acc >>= ones;
                bits -= ones;
                mode = Mode::Code;
                continue;
            }
            const Entry e = lookup(black ? kBlackTables : kWhiteTables, acc);
            if (e.length > bits) {
                save();
                return MhFeedResult::NeedInput; // only at the end of the input
            }
            acc >>= e.length;
            bits -= e.length;
            switch (e.kind) {
            case Kind::Terminating:
            case Kind::Makeup:
                eolRun_ = 0;
                if (!waiting && pos <= kMhMaxLinePixels) {
                    const int to = pos + e.value;
                    if (to > kMhMaxLinePixels) {
                        pos = kMhMaxLinePixels + 1; // lost: no whole line any more
                    } else {
                        if (black)
                            setBlack(line, pos, to);
                        pos = to;
                    }
                }
                if (e.kind == Kind::Terminating)
                    black = !black;
                break;
            case Kind::Eol:
                if (const int r = eol(); r != 0) {
                    save();
                    return r == 1 ? MhFeedResult::PageEnd : MhFeedResult::Stopped;
                }
                break;
            case Kind::Fill:
                mode = Mode::Fill;
                break;
            case Kind::Bad:
                ++badCodes_;
                mode = Mode::Resync;
                break;
            case Kind::Longer: // not in a second-level table (checked at compile time)
                break;
            }
        }
        if (p == end)
            break;
    }
    save();
    return MhFeedResult::NeedInput;
}

MhFeedResult MhDecoder::feed(std::span<const std::uint8_t> data, MhLineSink& sink) {
    if (ended_)
        return MhFeedResult::PageEnd;
    return run(data.data(), data.data() + data.size(), sink);
}

bool MhDecoder::finish(MhLineSink& sink) {
    if (ended_)
        return true;
    if (run(nullptr, nullptr, sink) == MhFeedResult::Stopped)
        return false;
    if (ended_ || waiting_ || (pos_ != 1728 && pos_ != kMhMaxLinePixels))
        return true;
    ++lines_;
    const bool go = sink.onLine({line_, static_cast<std::size_t>(pos_ / 8)});
    std::memset(line_, 0, sizeof line_);
    pos_ = 0;
    waiting_ = true;
    return go;
}

} // namespace faximage
