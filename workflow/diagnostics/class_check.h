// The fax class check behind "Check Fax Class": open the port, make sure a modem
// answers, reset it, ask which fax classes it supports and recommend one. The window
// shows what this reports through its hooks; every way out closes the port.
#pragma once

#include "faxengine/com_port.h"
#include "faxengine/send_fax.h"
#include "workflow/diagnostics/diagnostic_rules.h"
#include "workflow/send/port_operations.h"

#include <array>
#include <functional>
#include <string>

namespace diagnostics {

struct ClassCheckResult {
    ClassSupport support;
    int recommended = -1;         // 0 Class 1, 1 Class 2, 2 Class 2.0
    std::string recommendedName;  // "" when none
    std::array<std::string, 3> labels{"Class 1 :", "Class 2 :", "Class 2.0 :"};
    bool class2_0Bold = false;
    std::string status;
};

struct ClassCheckHooks {
    std::function<void(const std::string&)> status;
    // "NO MODEM RESPONSE": true to go on.
    std::function<bool(const std::string& question)> askContinue;
    std::function<void(const std::string& text)> information;
    workflow::send::PumpEvents pump;
};

// `port` must already point at the device (choosePort); it is opened here and closed
// before returning.
ClassCheckResult checkFaxClasses(faxengine::TVelkComPort& port, faxengine::TVelkSendFax& sender, int portNumber,
                                 const std::string& resetString, const ClassCheckHooks& hooks);

// The labels and status for a query's answer (steps shared with tests).
void applyClassSupport(ClassCheckResult& r, const ClassSupport& c);

} // namespace diagnostics
