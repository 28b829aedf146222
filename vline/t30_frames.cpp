#include "t30_frames.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace vline {

namespace {

// Bit n of a facsimile information field as T.30 numbers them (from 1).
bool bit(std::span<const std::uint8_t> fif, int n) {
    const auto byte = static_cast<std::size_t>((n - 1) / 8);
    return byte < fif.size() && (fif[byte] >> ((n - 1) % 8) & 1) != 0;
}

void setBit(std::vector<std::uint8_t>& fif, int n) {
    const auto byte = static_cast<std::size_t>((n - 1) / 8);
    if (fif.size() <= byte)
        fif.resize(byte + 1);
    fif[byte] = static_cast<std::uint8_t>(fif[byte] | 1 << ((n - 1) % 8));
}

// Minimum scan line time, bits 21..23 as (b21 | b22 << 1 | b23 << 2), by st code.
constexpr std::array<int, 8> kScanBits = {7, 1, 5, 2, 3, 0, 6, 4};

int stOfBits(int bits) {
    for (int st = 0; st < 8; ++st)
        if (kScanBits[static_cast<std::size_t>(st)] == bits)
            return st;
    return 5;
}

int field(std::span<const std::uint8_t> fif, int first, int count) {
    int v = 0;
    for (int i = 0; i < count; ++i)
        v |= (bit(fif, first + i) ? 1 : 0) << i;
    return v;
}

void setField(std::vector<std::uint8_t>& fif, int first, int count, int v) {
    for (int i = 0; i < count; ++i)
        if (v >> i & 1)
            setBit(fif, first + i);
}

std::vector<std::uint8_t> encodeCommon(const SessionParams& p) {
    std::vector<std::uint8_t> fif(3, 0);
    setBit(fif, 10); // T.4 receiver (DIS) / receive operation (DCS)
    if (p.vr > 0)
        setBit(fif, 15);
    if (p.df > 0)
        setBit(fif, 16);
    setField(fif, 17, 2, p.wd == 0 ? 0 : p.wd == 1 ? 1 : 2);
    setField(fif, 19, 2, p.ln == 0 ? 0 : p.ln == 2 ? 1 : 2);
    setField(fif, 21, 3, kScanBits[static_cast<std::size_t>(std::clamp(p.st, 0, 7))]);
    return fif;
}

void decodeCommon(std::span<const std::uint8_t> fif, SessionParams& p) {
    p.vr = bit(fif, 15) ? 1 : 0;
    p.df = bit(fif, 16) ? 1 : 0;
    const int wd = field(fif, 17, 2);
    p.wd = wd == 0 ? 0 : wd == 1 ? 1 : 2;
    const int ln = field(fif, 19, 2);
    p.ln = ln == 0 ? 0 : ln == 1 ? 2 : 1;
    p.st = stOfBits(field(fif, 21, 3));
    p.ec = bit(fif, 27) ? 1 : 0;
    p.bf = 0;
}

} // namespace

std::string formatParams(const SessionParams& p) {
    return std::to_string(p.vr) + ',' + std::to_string(p.br) + ',' + std::to_string(p.wd) + ',' +
           std::to_string(p.ln) + ',' + std::to_string(p.df) + ',' + std::to_string(p.ec) + ',' +
           std::to_string(p.bf) + ',' + std::to_string(p.st);
}

SessionParams modemLimits() {
    return {1, 3, 2, 2, 1, 0, 0, 7};
}

std::optional<SessionParams> parseParams(std::string_view text, SessionParams base) {
    int* fields[] = {&base.vr, &base.br, &base.wd, &base.ln,
                     &base.df, &base.ec, &base.bf, &base.st};
    const SessionParams lim = modemLimits();
    const int limits[] = {lim.vr, lim.br, lim.wd, lim.ln, lim.df, lim.ec, lim.bf, lim.st};
    std::size_t i = 0;
    while (!text.empty()) {
        const auto comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        while (!item.empty() && item.front() == ' ')
            item.remove_prefix(1);
        while (!item.empty() && item.back() == ' ')
            item.remove_suffix(1);
        // T.32 allows more fields than the eight here (JP); they are accepted and ignored.
        if (i < std::size(fields) && !item.empty()) {
            int v = 0;
            auto [end, ec] = std::from_chars(item.data(), item.data() + item.size(), v);
            if (ec != std::errc{} || end != item.data() + item.size() || v < 0 || v > limits[i])
                return std::nullopt;
            *fields[i] = v;
        }
        ++i;
        if (comma == std::string_view::npos)
            break;
        text.remove_prefix(comma + 1);
    }
    return base;
}

SessionParams negotiate(const SessionParams& local, const SessionParams& remote) {
    SessionParams p;
    p.vr = std::min(local.vr, remote.vr);
    p.br = std::min(local.br, remote.br);
    p.wd = std::min(local.wd, remote.wd);
    // Page lengths order as A4 < B4 < unlimited; the codes are 0, 1, 2.
    p.ln = std::min(local.ln, remote.ln);
    p.df = std::min(local.df, remote.df);
    p.ec = 0; // pages go without error correction here
    p.bf = 0;
    p.st = remote.st; // the receiver's need decides
    return p;
}

int bitRate(int br) {
    return 2400 * (std::clamp(br, 0, 5) + 1);
}

int modulationOf(int br) {
    switch (std::clamp(br, 0, 3)) {
    case 0:
        return 24;
    case 1:
        return 48;
    case 2:
        return 72;
    default:
        return 96;
    }
}

std::vector<std::uint8_t> encodeDis(const SessionParams& p) {
    auto fif = encodeCommon(p);
    // Modems: V.27ter alone (2400 and 4800), or V.27ter and V.29.
    if (p.br >= 2)
        setField(fif, 11, 4, 0b0011);
    else if (p.br == 1)
        setField(fif, 11, 4, 0b0010);
    return fif;
}

std::vector<std::uint8_t> encodeDcs(const SessionParams& p) {
    auto fif = encodeCommon(p);
    // (b11, b12, b13, b14): 2400 0000, 4800 0100, 9600 V.29 1000, 7200 V.29 1100.
    static constexpr int kRate[] = {0b0000, 0b0010, 0b0011, 0b0001};
    setField(fif, 11, 4, kRate[std::clamp(p.br, 0, 3)]);
    return fif;
}

SessionParams decodeDis(std::span<const std::uint8_t> fif) {
    SessionParams p;
    decodeCommon(fif, p);
    switch (field(fif, 11, 4)) {
    case 0b0000:
        p.br = 0;
        break;
    case 0b0010:
        p.br = 1;
        break;
    case 0b0001: // V.29 alone
    case 0b0011:
        p.br = 3;
        break;
    case 0b1011: // with V.17
        p.br = 5;
        break;
    default:
        p.br = 1;
        break;
    }
    return p;
}

SessionParams decodeDcs(std::span<const std::uint8_t> fif) {
    SessionParams p;
    decodeCommon(fif, p);
    switch (field(fif, 11, 4)) {
    case 0b0000:
        p.br = 0;
        break;
    case 0b0010:
        p.br = 1;
        break;
    case 0b0011:
    case 0b1011:
        p.br = 2;
        break;
    case 0b0001:
    case 0b1001:
        p.br = 3;
        break;
    case 0b1010:
        p.br = 4;
        break;
    case 0b1000:
        p.br = 5;
        break;
    default:
        p.br = 0;
        break;
    }
    return p;
}

std::vector<std::uint8_t> encodeIdent(std::string_view id) {
    // Right-justified in the 20 characters, as fax machines show it.
    id = id.substr(0, 20);
    std::string s(20 - id.size(), ' ');
    s += id;
    return {s.rbegin(), s.rend()};
}

std::string decodeIdent(std::span<const std::uint8_t> fif) {
    std::string s(fif.rbegin(), fif.rend());
    const auto first = s.find_first_not_of(' ');
    if (first == std::string::npos)
        return {};
    s.erase(s.find_last_not_of(' ') + 1);
    return s.substr(first);
}

std::vector<std::uint8_t> frame(std::uint8_t fcf, std::span<const std::uint8_t> fif, bool last) {
    std::vector<std::uint8_t> f(3 + fif.size());
    f[0] = t30::kHdlcAddress;
    f[1] = last ? t30::kHdlcControlFinal : t30::kHdlcControlNonFinal;
    f[2] = fcf;
    std::copy(fif.begin(), fif.end(), f.begin() + 3);
    return f;
}

std::string fcfName(std::uint8_t f) {
    switch (f & ~fcf::kX) {
    case fcf::DIS & ~fcf::kX:
        return "DIS";
    case fcf::CSI:
        return "CSI";
    case fcf::NSF:
        return "NSF";
    case fcf::DCS:
        return "DCS";
    case fcf::TSI:
        return "TSI";
    case fcf::CFR:
        return "CFR";
    case fcf::FTT:
        return "FTT";
    case fcf::EOM:
        return "EOM";
    case fcf::MPS:
        return "MPS";
    case fcf::EOP:
        return "EOP";
    case fcf::MCF:
        return "MCF";
    case fcf::RTP:
        return "RTP";
    case fcf::RTN:
        return "RTN";
    case fcf::PIP:
        return "PIP";
    case fcf::PIN:
        return "PIN";
    case fcf::DCN:
        return "DCN";
    case fcf::CRP:
        return "CRP";
    default:
        return "frame " + std::to_string(f);
    }
}

std::optional<std::vector<std::uint8_t>> StuffedFrames::push(std::uint8_t b) {
    if (stuffed_.empty()) {
        // A frame starts with its address; result codes never hold that byte.
        if (b == ::t30::kHdlcAddress)
            stuffed_.push_back(b);
        return std::nullopt;
    }
    stuffed_.push_back(b);
    if (!dle_) {
        dle_ = b == ::t30::kDLE;
    } else {
        dle_ = false;
        if (b == ::t30::kETX) {
            std::optional<std::vector<std::uint8_t>> out;
            if (!checked_ || ::t30::hdlcFcsGood(stuffed_)) {
                out.emplace();
                for (std::size_t i = 0; i + 2 < stuffed_.size(); ++i) {
                    out->push_back(stuffed_[i]);
                    if (stuffed_[i] == ::t30::kDLE)
                        ++i;
                }
                if (checked_)
                    out->resize(out->size() - 2);
            }
            clear();
            return out;
        }
    }
    if (stuffed_.size() > kLongest)
        clear();
    return std::nullopt;
}

void StuffedFrames::clear() {
    stuffed_.clear();
    dle_ = false;
}

} // namespace vline
