#include "workflow/diagnostics/class_check.h"

#include <exception>

namespace diagnostics {

namespace {

void allUnknown(ClassCheckResult& r) {
    r.labels = {"Class 1   : unknown", "Class 2   : unknown", "Class 2.0 : unknown"};
}

// Closes the port on every way out of the check.
class PortCloser {
public:
    explicit PortCloser(faxengine::TVelkComPort& port) : port_(port) {}
    ~PortCloser() {
        try {
            port_.SetOpen(false);
        } catch (...) {
            // A port that went away is closed enough.
        }
    }
    PortCloser(const PortCloser&) = delete;
    PortCloser& operator=(const PortCloser&) = delete;

private:
    faxengine::TVelkComPort& port_;
};

} // namespace

void applyClassSupport(ClassCheckResult& r, const ClassSupport& c) {
    r.support = c;
    r.labels[2] = std::string("Class 2.0 : ") + (c.class2_0 ? "Supported" : "Not Supported");
    r.labels[1] = std::string("Class 2   : ") + (c.class2 ? "Supported" : "Not Supported");
    r.labels[0] = std::string("Class 1   : ") + (c.class1 ? "Supported" : "Not Supported");
    r.recommended = recommendedClassIndex(c);
    r.recommendedName = std::string(classIndexName(r.recommended));
    r.class2_0Bold = false;
    if (r.recommended == 0 || r.recommended == 1)
        r.labels[static_cast<std::size_t>(r.recommended)] += " (recommended)";
    else if (r.recommended == 2)
        r.class2_0Bold = true;
    if (r.recommended >= 0)
        r.status = "Try using the recommended Fax Class (" + r.recommendedName + ") or auto detect. "
                   "If you experience problems, try another supported class.\n\n"
                   "(note: US Robotics users should read the help section on troubleshooting)";
}

ClassCheckResult checkFaxClasses(faxengine::TVelkComPort& port, faxengine::TVelkSendFax& sender, int portNumber,
                                 const std::string& resetString, const ClassCheckHooks& hooks) {
    ClassCheckResult r;
    const std::string n = std::to_string(portNumber);
    auto status = [&](std::string text) {
        r.status = std::move(text);
        if (hooks.status)
            hooks.status(r.status);
        if (hooks.pump)
            hooks.pump();
    };
    status("Opening Com Port...please wait");
    if (sender.ComPort() != &port)
        sender.SetComPort(&port);
    const auto opened = workflow::send::openPort(port, portNumber);
    PortCloser closer(port);
    if (!opened.ok) {
        status(opened.error);
        allUnknown(r);
        return r;
    }
    const std::string noResponse = "No response from device on COM" + n + ". May not be a modem.";
    if (!workflow::send::modemResponds(port, resetString, hooks.pump)) {
        const std::string question = "The device on COM" + n + " is not responding and may\nnot be a modem. "
                                     "Continue with Fax Class Analysis?";
        if (!hooks.askContinue || !hooks.askContinue(question)) {
            status(noResponse);
            allUnknown(r);
            return r;
        }
    }
    std::string reset = "AT&F";
    if (!workflow::send::modemCommandWithOk(port, reset)) {
        if (hooks.information)
            hooks.information("We are unable to continue the test. \n\nThe modem did not respond to the reset "
                              "string:   (AT&F)\n\nIs the Communications Port (COM" + n + ") correct? Please\nclick "
                              "the Find Modem Port button on the Preferences screen to be sure.");
        status(noResponse);
        allUnknown(r);
        return r;
    }
    status("Querying modem Fax Class support...");
    int bits = 0;
    try {
        bits = sender.SupportedFaxClasses();
    } catch (const std::exception&) {
        bits = 0;
    }
    const ClassSupport support = classSupportFromBits(bits);
    if (!support.any()) {
        status("Unable to determine Fax Class support from modem on Com " + n);
        allUnknown(r);
        return r;
    }
    applyClassSupport(r, support);
    if (hooks.status)
        hooks.status(r.status);
    return r;
}

} // namespace diagnostics
