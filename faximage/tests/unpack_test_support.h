// Helpers of the unpacker tests: MH bit streams built run by run, APF files from them,
// and raw strips that libtiff coded.
#pragma once

#include "faximage/apf_file.h"
#include "faximage/mono_bitmap.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace faximage::testing {

using Bytes = std::vector<std::uint8_t>;

// LSB-first bit writer for hand-made MH streams.
class MhStream {
public:
    MhStream& bits(std::uint32_t value, int count); // value's bit 0 goes first
    MhStream& zeros(int count);
    MhStream& eol(int fillZeros = 0);
    // Runs alternating from white, each as make-up (if needed) plus terminating code.
    MhStream& runs(const std::vector<int>& runs);
    MhStream& line(const MonoBitmap& page, int y); // the runs of one row
    MhStream& byteAlign();
    Bytes take();

private:
    Bytes bytes_;
    std::uint64_t acc_ = 0;
    int n_ = 0;
};

struct TestPage {
    std::uint16_t flags = 0;  // kApfHighResolution, kApfWide; kApfLengthWords picks the layout
    std::vector<Bytes> records; // line records, or one raw stream without length words
};

// Writes an APF file of the given pages.
void writeApf(const std::filesystem::path& path, const std::vector<TestPage>& pages);

// A length-words page of `page`'s rows coded by the converter's encoder.
TestPage encodedPage(const MonoBitmap& page, bool fine);

// `page` coded by libtiff as G3 1-D with fill order LSB-to-MSB (tiffcp -c g3:1d): the raw
// strips, concatenated; empty on failure.
Bytes libtiffMh(const MonoBitmap& page, const std::filesystem::path& workDir);

} // namespace faximage::testing
