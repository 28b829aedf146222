// Shared by the fuzz targets: inputs reach the readers as files, as in real use.
#pragma once

#include "faximage/fax_converter_engine.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace faximage::fuzz {

inline std::filesystem::path writeInput(const std::uint8_t* data, std::size_t size,
                                        const char* ext) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("faximage_fuzz_" + std::to_string(::getpid()) + ext);
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(data, 1, size, f);
        std::fclose(f);
    }
    return path;
}

// Opens the reader and pulls every line of every page (bounded), as the converter does.
inline void drainReader(FaxInputReader& reader, const std::filesystem::path& path, bool highRes) {
    ConvertState state;
    state.highRes = highRes;
    if (reader.open(path, state) == 0) {
        bool endOfPage = false, more = true;
        for (long lines = 0; lines < 200000 && more; ++lines) {
            state.raster.fill(0);
            if (reader.getLine(state, state.raster, endOfPage, more) != 0)
                break;
            if (!endOfPage)
                more = true;
        }
    }
    reader.close();
}

} // namespace faximage::fuzz
