// Modem response text: cleaning of reports and station IDs, numeric report values.
#pragma once

#include <string>
#include <string_view>

namespace faxengine {

std::string_view trimView(std::string_view s);
// Trim; drop everything up to and including the first ':' (else the first '='); trim;
// at most 128 characters.
std::string cleanReport(std::string_view s);
// cleanReport, then a leading '"' becomes a space and trailing characters that are not
// letters or digits go; trimmed.
std::string cleanStationId(std::string_view s);
// The digits after ':' (at most 3 characters, trimmed); 0 when absent.
int numericReportValue(std::string_view s);

} // namespace faxengine
