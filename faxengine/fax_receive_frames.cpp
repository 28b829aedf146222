#include "faxengine/fax_receive_frames.h"

#include <algorithm>
#include <array>
#include <cctype>

namespace faxengine::rxframe {

namespace {
constexpr std::array<int, 7> kBps = {0, 2400, 4800, 7200, 9600, 12000, 14400};
constexpr std::array<std::string_view, 7> kCodes = {"", "24", "48", "72", "96", "121", "145"};
constexpr std::uint8_t kAddress = 0xFF;

std::string trim(std::string_view s) {
    auto b = s.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos)
        return {};
    auto e = s.find_last_not_of(" \t\r\n");
    return std::string(s.substr(b, e - b + 1));
}

std::vector<std::uint8_t> frameStart(bool final) {
    return {kAddress, static_cast<std::uint8_t>(final ? 0x13 : 0x03)};
}

void frameEnd(std::vector<std::uint8_t>& f) {
    f.push_back(kDLE);
    f.push_back(kETX);
}
} // namespace

std::string pageCodeOf(std::string_view trainingCode) {
    // V.17 sends the page after a short train, which the modem is told by the code's
    // last digit (T.31 table 2).
    if (trainingCode == "145")
        return "146";
    if (trainingCode == "121")
        return "122";
    if (trainingCode == "97")
        return "98";
    if (trainingCode == "73")
        return "74";
    return std::string(trainingCode);
}

int indexBps(int index) {
    return index >= 1 && index <= 6 ? kBps[static_cast<std::size_t>(index)] : 0;
}

std::string_view indexCode(int index) {
    return index >= 1 && index <= 6 ? kCodes[static_cast<std::size_t>(index)] : "24";
}

std::vector<std::uint8_t> fcfFrame(std::uint8_t code, bool final) {
    auto f = frameStart(final);
    f.push_back(code);
    frameEnd(f);
    return f;
}

std::vector<std::uint8_t> csiFrame(std::string_view stationId) {
    auto f = frameStart(false);
    f.push_back(fcf::CSI);
    std::string_view id = stationId.substr(0, 20);
    for (std::size_t i = id.size(); i < 20; ++i)
        f.push_back(' ');
    for (std::size_t i = id.size(); i > 0; --i)
        f.push_back(static_cast<std::uint8_t>(id[i - 1]));
    frameEnd(f);
    return f;
}

std::vector<std::uint8_t> disFrame(int index) {
    static constexpr std::array<std::uint8_t, 7> kSpeedBits = {0,    0x00, 0x08, 0x0C,
                                                               0x0C, 0x1C, 0x2C};
    auto f = frameStart(true);
    f.push_back(fcf::DIS);
    f.push_back(0x00);
    f.push_back(static_cast<std::uint8_t>(
        0x02 | 0x40 | kSpeedBits[static_cast<std::size_t>(std::clamp(index, 1, 6))]));
    f.push_back(0xF9);
    f.push_back(0x00);
    frameEnd(f);
    return f;
}

DcsParams decodeDcs(std::span<const std::uint8_t> fif) {
    DcsParams p;
    if (fif.size() < 3)
        return p;
    const std::uint8_t b2 = fif[1];
    const std::uint8_t b3 = fif[2];
    int index = 1;
    std::string code;
    if (b2 & 0x20) {
        // V.17 (T.30 DCS bits 11-14 = x,x,0,1): bits 11 and 12 pick the rate. The
        // 9600 and 7200 V.17 rates have their own modulation codes.
        switch (b2 & 0x0C) {
        case 0x00:
            index = 6;
            break;
        case 0x08:
            index = 5;
            break;
        case 0x04:
            index = 4;
            code = "97";
            break;
        case 0x0C:
            index = 3;
            code = "73";
            break;
        }
    } else if (b2 & 0x10) {
        index = 5;
    } else {
        switch (b2 & 0x0C) {
        case 0x00:
            index = 1;
            break;
        case 0x04:
            index = 4;
            break;
        case 0x08:
            index = 2;
            break;
        case 0x0C:
            index = 3;
            break;
        }
    }
    p.bps = indexBps(index);
    p.modulationCode = code.empty() ? std::string(indexCode(index)) : code;
    p.pageCode = pageCodeOf(p.modulationCode);
    p.fine = b2 & 0x40;
    p.wide = (b3 & 3) == 1;
    static constexpr std::array<int, 8> kScan = {5, 1, 3, 4, 7, 6, 2, 0};
    p.scanTimeCode = kScan[(b3 & 0x70) >> 4];
    return p;
}

std::optional<Frame> parseFrame(std::span<const std::uint8_t> bytes) {
    auto start = std::find(bytes.begin(), bytes.end(), kAddress);
    if (start == bytes.end() || bytes.end() - start < 3)
        return std::nullopt;
    Frame f;
    f.final = start[1] & 0x10;
    f.fcf = start[2];
    f.fif.assign(start + 3, bytes.end());
    return f;
}

std::string frameStationId(std::span<const std::uint8_t> fif) {
    std::string id;
    const std::size_t n = std::min<std::size_t>(fif.size(), 20);
    for (std::size_t i = n; i > 0; --i)
        id.push_back(static_cast<char>(fif[i - 1]));
    return id;
}

std::string cleanReport(std::string_view line) {
    std::string t = trim(line);
    auto cut = t.find(':');
    if (cut == std::string::npos)
        cut = t.find('=');
    if (cut != std::string::npos)
        t = t.substr(cut + 1);
    t = trim(t);
    if (t.size() > 128)
        t.resize(128);
    return t;
}

std::string cleanStationId(std::string_view line) {
    std::string t = cleanReport(line);
    if (!t.empty() && t.front() == '"')
        t.front() = ' ';
    while (!t.empty() && !std::isalnum(static_cast<unsigned char>(t.back())))
        t.pop_back();
    return trim(t);
}

Class2Session parseClass2Session(std::string_view line) {
    std::string t = cleanReport(line);
    std::array<char, 8> field{};
    std::size_t i = 0;
    for (std::size_t k = 0; k < field.size(); ++k) {
        field[k] = i < t.size() ? t[i] : '0';
        auto comma = t.find(',', i);
        if (comma == std::string::npos)
            i = t.size();
        else
            i = comma + 1;
    }
    Class2Session s;
    switch (field[1]) {
    case '0':
        s.bps = 2400;
        break;
    case '1':
        s.bps = 4800;
        break;
    case '2':
        s.bps = 7200;
        break;
    case '4':
        s.bps = 12000;
        break;
    case '5':
        s.bps = 14400;
        break;
    default:
        s.bps = 9600;
        break;
    }
    s.fine = field[0] == '1';
    s.wide = field[2] == '1';
    s.ecm = field[5] == '1' || field[5] == '2';
    s.scanTimeCode = std::isdigit(static_cast<unsigned char>(field[7])) ? field[7] - '0' : 0;
    return s;
}

char brCode(int bps) {
    switch (bps) {
    case 2400:
        return '0';
    case 4800:
        return '1';
    case 7200:
        return '2';
    case 12000:
        return '4';
    case 14400:
        return '5';
    default:
        return '3';
    }
}

} // namespace faxengine::rxframe
