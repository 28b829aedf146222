// Fax classes and the Class 2 / Class 2.0 command table: the two classes differ only in
// the strings, so they are data here.
#pragma once

#include "faxengine/fax_class.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace faxengine {

struct Class2Commands {
    std::string classCommand;
    std::string identQuery1;
    std::string identQuery2;
    std::string identQuery3;
    std::string sessionParams;
    std::string localId;
    std::string capabilities;
    std::string connectReport;
    std::string remoteCapsReport;
    std::string sessionReport;
    std::string senderIdReport;
    std::string calledIdReport;
    std::string pageStatusReport;
    std::string hangupReport;
};

// The table for Class 2 or 2.0; empty strings for other classes.
Class2Commands class2CommandsFor(FaxClass c);

// Fields of a +FDIS/+FDCS report (VR,BR,WD,LN,DF,EC,BF,ST).
struct Class2Params {
    int bps = 9600;
    bool fine = false;
    bool wide = false;
    bool ecm = false;
    int scanTimeCode = 0;
};
// Parses a cleaned report; missing fields keep their defaults.
Class2Params parseClass2Params(std::string_view cleaned);

} // namespace faxengine
