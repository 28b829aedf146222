#include "workflow/render/fax_file_names.h"

#include <string>
#include <system_error>

namespace workflow::render {

std::filesystem::path firstFreeFaxFile(const std::filesystem::path& dir) {
    for (int n = 1; n <= kMaxFaxFileNumber; ++n) {
        auto candidate = dir / ("PVN_" + std::to_string(n) + ".APF");
        std::error_code ec;
        if (!std::filesystem::exists(candidate, ec))
            return candidate;
    }
    return dir / "PVN1.APF";
}

std::filesystem::path pageFile(const std::filesystem::path& dir, int k) {
    return dir / ("PVNFX" + std::to_string(k) + ".APF");
}

std::filesystem::path pageBitmapFile(const std::filesystem::path& dir) { return dir / "_TMP.BMP"; }

std::filesystem::path richTextTransferFile(const std::filesystem::path& dir) {
    return dir / "Eraseme.rtf";
}

} // namespace workflow::render
