// Splits a modem command line ("AT+FCLASS=2;+FLID=\"123\"E0") into its commands.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vline {

enum class AtOp {
    Execute, // E0, Z, +FDT, +FDIS=1,5 set with value
    Set,     // +NAME=value, Sn=v
    Query,   // +NAME?, Sn?
    Test,    // +NAME=?
};
std::string_view to_string(AtOp op);

struct AtCommand {
    bool extended = false; // +NAME (else a basic command: a letter, &X, Sn, D...)
    std::string name;      // upper case: "E", "&F", "S", "D", "+FCLASS"
    AtOp op = AtOp::Execute;
    std::string value; // the number of E1, the register of S7=.., the text after '='
    std::string arg;   // S registers: the value set; D: the dial string
};

// The commands after "AT" (the caller has removed it). nullopt: the line does not parse.
std::optional<std::vector<AtCommand>> parseAtLine(std::string_view body);

// Removes "AT" (any case) from the start of a command line: nullopt when it is not there.
std::optional<std::string_view> stripAt(std::string_view line);

// A quoted string value ("\"+1 555\"" → "+1 555"); an unquoted one as it is.
std::string unquote(std::string_view v);

} // namespace vline
