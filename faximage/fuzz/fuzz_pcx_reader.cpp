// The PCX and DCX readers on arbitrary files (the first byte picks which).
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faximage;
    if (size < 1)
        return 0;
    const bool dcx = data[0] & 1;
    const auto path = fuzz::writeInput(data + 1, size - 1, dcx ? ".dcx" : ".pcx");
    auto reader = dcx ? makeDcxReader() : makePcxReader();
    fuzz::drainReader(*reader, path, data[0] & 2);
    return 0;
}
