#include "faxengine/class2_commands.h"

#include <vector>

namespace faxengine {

std::string_view to_string(FaxClass c) {
    switch (c) {
    case FaxClass::fcUnknown: return "fcUnknown";
    case FaxClass::fcDetect: return "fcDetect";
    case FaxClass::fcClass1: return "fcClass1";
    case FaxClass::fcClass2: return "fcClass2";
    case FaxClass::fcClass2_0: return "fcClass2_0";
    }
    return "?";
}

Class2Commands class2CommandsFor(FaxClass c) {
    switch (c) {
    case FaxClass::fcClass2:
        return {"AT+FCLASS=2", "AT+FMDL?", "AT+FMFR?", "AT+FREV?", "AT+FDIS", "AT+FLID",
                "AT+FDCC", "+FCON", "+FDIS", "+FDCS", "+FTSI", "+FCSI", "+FPTS", "FHNG"};
    case FaxClass::fcClass2_0:
        return {"AT+FCLASS=2.0", "AT+FMI?", "AT+FMM?", "AT+FMR?", "AT+FIS", "AT+FLI",
                "AT+FCC", "+FCO", "+FIS", "+FCS", "+FTI", "+FCI", "+FPS", "FHS"};
    case FaxClass::fcUnknown:
    case FaxClass::fcDetect:
    case FaxClass::fcClass1:
        break;
    }
    return {};
}

Class2Params parseClass2Params(std::string_view cleaned) {
    // VR,BR,WD,LN,DF,EC,BF,ST: single characters, taken field by field so that a
    // modem padding a field with spaces does not shift the rest.
    std::vector<std::string_view> fields;
    std::size_t pos = 0;
    while (pos <= cleaned.size()) {
        std::size_t comma = cleaned.find(',', pos);
        if (comma == std::string_view::npos)
            comma = cleaned.size();
        std::string_view f = cleaned.substr(pos, comma - pos);
        while (!f.empty() && f.front() == ' ')
            f.remove_prefix(1);
        fields.push_back(f);
        pos = comma + 1;
    }
    auto field = [&](std::size_t i) -> char {
        return i < fields.size() && !fields[i].empty() ? fields[i].front() : '\0';
    };
    Class2Params p;
    switch (field(1)) {
    case '0': p.bps = 2400; break;
    case '1': p.bps = 4800; break;
    case '2': p.bps = 7200; break;
    case '4': p.bps = 12000; break;
    case '5': p.bps = 14400; break;
    default: p.bps = 9600; break;
    }
    p.fine = field(0) == '1';
    p.wide = field(2) == '1';
    p.ecm = field(5) == '1' || field(5) == '2';
    const char st = field(7);
    p.scanTimeCode = (st >= '0' && st <= '7') ? st - '0' : 0;
    return p;
}

} // namespace faxengine
