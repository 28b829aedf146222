// DCX files: a table of up to 1023 page offsets, then a PCX image per page.
#pragma once

#include "faximage/mono_bitmap.h"
#include "faximage/staged_output.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace faximage {

inline constexpr std::uint32_t kDcxMagic = 987654321;
inline constexpr std::size_t kDcxHeaderSize = 4 + 1024 * 4;
inline constexpr int kDcxMaxPages = 1023;

// Writes pages one at a time, so a long document never needs more than one page in
// memory. Every operation returns 0 or a negative code; the file takes the place of an
// existing one at close(), and after a failure, or when the writer is destroyed before
// close(), an existing file is left as it was.
class DcxWriter {
public:
    DcxWriter() = default;
    ~DcxWriter();
    DcxWriter(const DcxWriter&) = delete;
    DcxWriter& operator=(const DcxWriter&) = delete;

    int open(const std::filesystem::path& path);
    // -1002 past 1023 pages.
    int addPage(const MonoBitmap& page);
    int close();

private:
    int fail(int code);

    StagedOutput out_;
    std::vector<std::uint32_t> offsets_;
    std::uint64_t end_ = 0;
};

// A DCX file holding `page` alone.
int writeDcxFile(const std::filesystem::path& path, const MonoBitmap& page);

} // namespace faximage
