#include "print_codes.h"

namespace workflow::printing {

std::string_view to_string(PrintStatus status) {
    switch (status) {
    case PrintStatus::Idle:
        return "Idle";
    case PrintStatus::Composing:
        return "Composing";
    case PrintStatus::Rendering:
        return "Rendering";
    case PrintStatus::Submitting:
        return "Submitting";
    case PrintStatus::Converting:
        return "Converting";
    }
    return "?";
}

std::string_view to_string(PrintLogCode code) {
    switch (code) {
    case PrintLogCode::Start:
        return "started";
    case PrintLogCode::Finish:
        return "finished";
    case PrintLogCode::Abort:
        return "aborted";
    case PrintLogCode::Fail:
        return "failed";
    }
    return "?";
}

std::string statusLine(PrintStatus status, int currentPage, int lastPage) {
    return std::string(to_string(status)) + " " + std::to_string(currentPage) + " of " +
           std::to_string(lastPage);
}

} // namespace workflow::printing
