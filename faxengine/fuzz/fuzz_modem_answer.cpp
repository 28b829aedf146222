// The modem answer reader: arbitrary bytes from the port, split into answer lines and
// frames, each line through the report cleaners as the state machines use them.
#include "faxengine/class2_commands.h"
#include "faxengine/fax_session.h"
#include "faxengine/modem_response.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace faxengine;
    FaxSession session(size % 2 ? FaxRole::Transmit : FaxRole::Receive);
    for (std::size_t i = 0; i < size; ++i) {
        if (session.FeedByte(data[i]) != ReaderEvent::Line)
            continue;
        const std::string line = session.response;
        if (line.size() > kResponseCapacity)
            std::abort(); // the answer buffer has a fixed capacity
        const std::string report = cleanReport(line);
        const std::string id = cleanStationId(line);
        if (report.size() > 128 || id.size() > report.size())
            std::abort();
        (void)numericReportValue(line);
        (void)session.GotOK();
        (void)session.GotConnect();
        (void)session.NumericReportValue();
    }
    return 0;
}
