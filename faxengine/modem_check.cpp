#include "faxengine/modem_check.h"

#include "faxengine/dispatcher.h"

#include <string>

namespace faxengine {

std::string_view to_string(ModemAnswer a) {
    switch (a) {
    case ModemAnswer::Ok: return "OK";
    case ModemAnswer::Silent: return "no response";
    case ModemAnswer::Other: return "bad response";
    }
    return "";
}

namespace {

ModemAnswer tryOnce(TVelkBaseDispatcher& d, std::chrono::milliseconds wait) {
    d.FlushInBuffer();
    if (d.PutString("AT\r") != 0)
        return ModemAnswer::Silent;
    const auto end = std::chrono::steady_clock::now() + wait;
    bool anything = false;
    std::string line;
    while (std::chrono::steady_clock::now() < end && d.IsOpen()) {
        if (!d.WaitForInput(1, std::chrono::milliseconds(100)))
            continue;
        std::uint8_t c = 0;
        while (d.GetChar(c) == 0) {
            anything = true;
            if (c != '\r' && c != '\n') {
                line.push_back(static_cast<char>(c));
                continue;
            }
            if (line == "OK")
                return ModemAnswer::Ok;
            line.clear();
        }
    }
    return anything ? ModemAnswer::Other : ModemAnswer::Silent;
}

} // namespace

ModemAnswer checkModemResponds(TVelkComPort& port, std::chrono::milliseconds wait) {
    if (!port.Open())
        port.SetOpen(true);
    TVelkBaseDispatcher& d = port.Dispatcher();
    // Held off, no trigger handler takes the answer away from us.
    const bool was = d.SetDispatchingNow(true);
    ModemAnswer a = tryOnce(d, wait);
    if (a != ModemAnswer::Ok)
        a = tryOnce(d, wait) == ModemAnswer::Ok ? ModemAnswer::Ok : a;
    d.SetDispatchingNow(was);
    return a;
}

} // namespace faxengine
