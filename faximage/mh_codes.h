// ITU-T T.4 one-dimensional (Modified Huffman) code tables, the one place they are
// written down. Codes are kept as printed in T.4 (first transmitted bit = most
// significant of `length` bits); `transmissionOrder` gives the form in which a fax modem
// sends them and an APF file stores them (first bit = least significant bit).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace faximage {

enum class RunColor { White, Black };

std::string_view to_string(RunColor color);

struct MhCode {
    std::uint16_t bits = 0;  // printed order: the first bit sent is bit (length - 1)
    std::uint8_t length = 0; // 1..13
};

struct MhRunCode {
    std::uint16_t run = 0;
    MhCode code;
};

namespace mh_detail {
// "0011" -> {0b0011, 4}; keeps the tables below readable against T.4 itself.
consteval MhCode c(std::string_view printed) {
    MhCode code;
    for (char ch : printed)
        code.bits = static_cast<std::uint16_t>((code.bits << 1) | (ch == '1' ? 1 : 0));
    code.length = static_cast<std::uint8_t>(printed.size());
    return code;
}
} // namespace mh_detail

// T.4 Table 2: terminating codes, run lengths 0..63.
inline constexpr std::array<MhCode, 64> kWhiteTerminating = {
    mh_detail::c("00110101"), mh_detail::c("000111"),   mh_detail::c("0111"),
    mh_detail::c("1000"),     mh_detail::c("1011"),     mh_detail::c("1100"),
    mh_detail::c("1110"),     mh_detail::c("1111"),     mh_detail::c("10011"),
    mh_detail::c("10100"),    mh_detail::c("00111"),    mh_detail::c("01000"),
    mh_detail::c("001000"),   mh_detail::c("000011"),   mh_detail::c("110100"),
    mh_detail::c("110101"),   mh_detail::c("101010"),   mh_detail::c("101011"),
    mh_detail::c("0100111"),  mh_detail::c("0001100"),  mh_detail::c("0001000"),
    mh_detail::c("0010111"),  mh_detail::c("0000011"),  mh_detail::c("0000100"),
    mh_detail::c("0101000"),  mh_detail::c("0101011"),  mh_detail::c("0010011"),
    mh_detail::c("0100100"),  mh_detail::c("0011000"),  mh_detail::c("00000010"),
    mh_detail::c("00000011"), mh_detail::c("00011010"), mh_detail::c("00011011"),
    mh_detail::c("00010010"), mh_detail::c("00010011"), mh_detail::c("00010100"),
    mh_detail::c("00010101"), mh_detail::c("00010110"), mh_detail::c("00010111"),
    mh_detail::c("00101000"), mh_detail::c("00101001"), mh_detail::c("00101010"),
    mh_detail::c("00101011"), mh_detail::c("00101100"), mh_detail::c("00101101"),
    mh_detail::c("00000100"), mh_detail::c("00000101"), mh_detail::c("00001010"),
    mh_detail::c("00001011"), mh_detail::c("01010010"), mh_detail::c("01010011"),
    mh_detail::c("01010100"), mh_detail::c("01010101"), mh_detail::c("00100100"),
    mh_detail::c("00100101"), mh_detail::c("01011000"), mh_detail::c("01011001"),
    mh_detail::c("01011010"), mh_detail::c("01011011"), mh_detail::c("01001010"),
    mh_detail::c("01001011"), mh_detail::c("00110010"), mh_detail::c("00110011"),
    mh_detail::c("00110100"),
};

inline constexpr std::array<MhCode, 64> kBlackTerminating = {
    mh_detail::c("0000110111"),   mh_detail::c("010"),          mh_detail::c("11"),
    mh_detail::c("10"),           mh_detail::c("011"),          mh_detail::c("0011"),
    mh_detail::c("0010"),         mh_detail::c("00011"),        mh_detail::c("000101"),
    mh_detail::c("000100"),       mh_detail::c("0000100"),      mh_detail::c("0000101"),
    mh_detail::c("0000111"),      mh_detail::c("00000100"),     mh_detail::c("00000111"),
    mh_detail::c("000011000"),    mh_detail::c("0000010111"),   mh_detail::c("0000011000"),
    mh_detail::c("0000001000"),   mh_detail::c("00001100111"),  mh_detail::c("00001101000"),
    mh_detail::c("00001101100"),  mh_detail::c("00000110111"),  mh_detail::c("00000101000"),
    mh_detail::c("00000010111"),  mh_detail::c("00000011000"),  mh_detail::c("000011001010"),
    mh_detail::c("000011001011"), mh_detail::c("000011001100"), mh_detail::c("000011001101"),
    mh_detail::c("000001101000"), mh_detail::c("000001101001"), mh_detail::c("000001101010"),
    mh_detail::c("000001101011"), mh_detail::c("000011010010"), mh_detail::c("000011010011"),
    mh_detail::c("000011010100"), mh_detail::c("000011010101"), mh_detail::c("000011010110"),
    mh_detail::c("000011010111"), mh_detail::c("000001101100"), mh_detail::c("000001101101"),
    mh_detail::c("000011011010"), mh_detail::c("000011011011"), mh_detail::c("000001010100"),
    mh_detail::c("000001010101"), mh_detail::c("000001010110"), mh_detail::c("000001010111"),
    mh_detail::c("000001100100"), mh_detail::c("000001100101"), mh_detail::c("000001010010"),
    mh_detail::c("000001010011"), mh_detail::c("000000100100"), mh_detail::c("000000110111"),
    mh_detail::c("000000111000"), mh_detail::c("000000100111"), mh_detail::c("000000101000"),
    mh_detail::c("000001011000"), mh_detail::c("000001011001"), mh_detail::c("000000101011"),
    mh_detail::c("000000101100"), mh_detail::c("000001011010"), mh_detail::c("000001100110"),
    mh_detail::c("000001100111"),
};

// T.4 Table 3: make-up codes for 64, 128, ... 1728 (index k is run 64 * (k + 1)).
inline constexpr std::array<MhCode, 27> kWhiteMakeup = {
    mh_detail::c("11011"),     mh_detail::c("10010"),     mh_detail::c("010111"),
    mh_detail::c("0110111"),   mh_detail::c("00110110"),  mh_detail::c("00110111"),
    mh_detail::c("01100100"),  mh_detail::c("01100101"),  mh_detail::c("01101000"),
    mh_detail::c("01100111"),  mh_detail::c("011001100"), mh_detail::c("011001101"),
    mh_detail::c("011010010"), mh_detail::c("011010011"), mh_detail::c("011010100"),
    mh_detail::c("011010101"), mh_detail::c("011010110"), mh_detail::c("011010111"),
    mh_detail::c("011011000"), mh_detail::c("011011001"), mh_detail::c("011011010"),
    mh_detail::c("011011011"), mh_detail::c("010011000"), mh_detail::c("010011001"),
    mh_detail::c("010011010"), mh_detail::c("011000"),    mh_detail::c("010011011"),
};

inline constexpr std::array<MhCode, 27> kBlackMakeup = {
    mh_detail::c("0000001111"),    mh_detail::c("000011001000"),  mh_detail::c("000011001001"),
    mh_detail::c("000001011011"),  mh_detail::c("000000110011"),  mh_detail::c("000000110100"),
    mh_detail::c("000000110101"),  mh_detail::c("0000001101100"), mh_detail::c("0000001101101"),
    mh_detail::c("0000001001010"), mh_detail::c("0000001001011"), mh_detail::c("0000001001100"),
    mh_detail::c("0000001001101"), mh_detail::c("0000001110010"), mh_detail::c("0000001110011"),
    mh_detail::c("0000001110100"), mh_detail::c("0000001110101"), mh_detail::c("0000001110110"),
    mh_detail::c("0000001110111"), mh_detail::c("0000001010010"), mh_detail::c("0000001010011"),
    mh_detail::c("0000001010100"), mh_detail::c("0000001010101"), mh_detail::c("0000001011010"),
    mh_detail::c("0000001011011"), mh_detail::c("0000001100100"), mh_detail::c("0000001100101"),
};

// Extended make-up codes for 1792 .. 2560, shared by both colours (index k is run
// 1792 + 64 * k).
inline constexpr std::array<MhCode, 13> kExtendedMakeup = {
    mh_detail::c("00000001000"),  mh_detail::c("00000001100"),  mh_detail::c("00000001101"),
    mh_detail::c("000000010010"), mh_detail::c("000000010011"), mh_detail::c("000000010100"),
    mh_detail::c("000000010101"), mh_detail::c("000000010110"), mh_detail::c("000000010111"),
    mh_detail::c("000000011100"), mh_detail::c("000000011101"), mh_detail::c("000000011110"),
    mh_detail::c("000000011111"),
};

inline constexpr MhCode kEol = mh_detail::c("000000000001");

inline constexpr int kMaxMakeupRun = 2560;
inline constexpr int kMaxCodeLength = 13;

// Terminating code of a run of 0..63.
constexpr MhCode terminatingCode(RunColor color, int run) {
    return color == RunColor::White ? kWhiteTerminating[static_cast<std::size_t>(run)]
                                    : kBlackTerminating[static_cast<std::size_t>(run)];
}

// Make-up code of a multiple of 64 in 64..2560.
constexpr MhCode makeupCode(RunColor color, int run) {
    const auto k = static_cast<std::size_t>(run / 64 - 1);
    if (run > 1728)
        return kExtendedMakeup[k - 27];
    return color == RunColor::White ? kWhiteMakeup[k] : kBlackMakeup[k];
}

// The code's bits as sent: first bit in bit 0.
constexpr std::uint16_t transmissionOrder(MhCode code) {
    std::uint16_t out = 0;
    for (int i = 0; i < code.length; ++i)
        out = static_cast<std::uint16_t>(out | (((code.bits >> (code.length - 1 - i)) & 1u) << i));
    return out;
}

// Every run code of one colour: 64 terminating, 27 make-up and 13 extended make-up codes
// (the table a decoder is built from).
inline constexpr std::size_t kRunCodesPerColor = 64 + 27 + 13;

constexpr std::array<MhRunCode, kRunCodesPerColor> runCodes(RunColor color) {
    std::array<MhRunCode, kRunCodesPerColor> all{};
    std::size_t n = 0;
    for (int run = 0; run < 64; ++run)
        all[n++] = {static_cast<std::uint16_t>(run), terminatingCode(color, run)};
    for (int run = 64; run <= kMaxMakeupRun; run += 64)
        all[n++] = {static_cast<std::uint16_t>(run), makeupCode(color, run)};
    return all;
}

inline constexpr auto kWhiteRunCodes = runCodes(RunColor::White);
inline constexpr auto kBlackRunCodes = runCodes(RunColor::Black);

} // namespace faximage
