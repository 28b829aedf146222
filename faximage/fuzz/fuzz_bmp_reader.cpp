// The BMP reader on arbitrary files.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faximage;
    const auto path = fuzz::writeInput(data, size, ".bmp");
    auto reader = makeBmpReader();
    fuzz::drainReader(*reader, path, size % 2 == 0);
    return 0;
}
