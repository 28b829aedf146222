// Shared by the table fuzz targets: inputs reach the engine as files, as in real use, in
// a directory of this process's own.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unistd.h>

namespace faxlog::fuzz {

inline const std::filesystem::path& scratchDir() {
    static const std::filesystem::path dir = [] {
        auto d = std::filesystem::temp_directory_path() / ("faxlog_fuzz_" + std::to_string(::getpid()));
        std::filesystem::create_directories(d);
        return d;
    }();
    return dir;
}

inline void writeFile(const std::filesystem::path& path, std::string_view bytes) {
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
    }
}

// Splits the input at the first occurrences of `separator`: a file per part.
inline std::string_view nextPart(std::string_view& rest, std::string_view separator) {
    const auto at = rest.find(separator);
    const std::string_view part = rest.substr(0, at);
    rest = at == std::string_view::npos ? std::string_view() : rest.substr(at + separator.size());
    return part;
}

} // namespace faxlog::fuzz
