// APF files from anywhere (received faxes are written by the far end's data).
#include "faximage/apf_file.h"
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faximage;
    const auto path = fuzz::writeInput(data, size, ".apf");
    ApfReader reader;
    if (reader.open(path) != 0)
        return 0;
    std::vector<std::uint8_t> page;
    for (int n = 1; n <= reader.pageCount() && n <= 64; ++n) {
        ApfPageInfo info;
        if (reader.locatePage(n, info) != 0 || reader.readPageData(info, page) != 0)
            break;
        if (info.header.lengthWords()) {
            ApfLineRecords records(page);
            std::span<const std::uint8_t> rec;
            while (records.next(rec) == 1) {
            }
        }
    }
    return 0;
}
