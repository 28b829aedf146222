// The text reader (line splitting, form feeds, tabs, character sets) on arbitrary files.
#include "fuzz_common.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faximage;
    const auto path = fuzz::writeInput(data, size, ".txt");
    auto reader = makeTextReader();
    fuzz::drainReader(*reader, path, size % 3 == 0);
    return 0;
}
