// The fax printer's status codes (what the status window names) and its log codes.
#pragma once

#include <string>
#include <string_view>

namespace workflow::printing {

enum class PrintStatus {
    Idle = 0,
    Composing = 1,  // page decoded, header and footer being laid out
    Rendering = 2,  // image going onto the sheet
    Submitting = 3, // page handed to the job
    Converting = 4, // page being decoded
};
std::string_view to_string(PrintStatus status);

enum class PrintLogCode { Start = 0, Finish = 1, Abort = 2, Fail = 3 };
std::string_view to_string(PrintLogCode code);

// The status window's line: "Rendering 2 of 5".
std::string statusLine(PrintStatus status, int currentPage, int lastPage);

} // namespace workflow::printing
