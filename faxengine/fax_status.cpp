#include "faxengine/fax_status.h"


namespace faxengine {

namespace {
constexpr faximage::StringEntry kStatusTexts[] = {
    {1, "Initializing modem for fax processing"},
    {2, "Dialing"},
    {3, "Busy, waiting until redial..."},
    {4, "Sending page data"},
    {5, "Sending EOP"},
    {6, "Error sending page"},
    {7, "Page accepted by remote"},
    {8, "Connecting..."},
    {20, "Waiting for incoming call"},
    {21, "No connect on this call"},
    {22, "Answering incoming call"},
    {23, "Incoming call validated as fax"},
    {24, "Getting page data"},
    {25, "Getting end-of-page signal"},
    {26, "Getting end-of-document status"},
    {27, "Getting hangup command"},
    {28, "Got Class 2 FHNG code"},
    {40, "Getting connection params"},
    {41, "Got called-station ID"},
    {42, "User abort"},
    {43, "Finished"},
};
} // namespace

std::span<const faximage::StringEntry> faxStatusTable() { return kStatusTexts; }

std::string_view faxStatusText(int code) {
    for (const auto& e : kStatusTexts)
        if (static_cast<int>(e.id) == code)
            return e.text;
    return "";
}

std::string_view to_string(TFaxLogCode c) {
    switch (c) {
    case TFaxLogCode::lfaxTransmitStart:
        return "transmit start";
    case TFaxLogCode::lfaxTransmitOk:
        return "transmit ok";
    case TFaxLogCode::lfaxTransmitFail:
        return "transmit failed";
    case TFaxLogCode::lfaxReceiveStart:
        return "receive start";
    case TFaxLogCode::lfaxReceiveOk:
        return "receive ok";
    case TFaxLogCode::lfaxReceiveSkip:
        return "receive skipped";
    case TFaxLogCode::lfaxReceiveFail:
        return "receive failed";
    }
    return "";
}

bool faxLogCodeFrom(int value, TFaxLogCode& out) {
    if (value < 1 || value > 7)
        return false;
    out = static_cast<TFaxLogCode>(value);
    return true;
}

} // namespace faxengine
