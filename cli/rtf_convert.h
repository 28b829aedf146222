// parvane-cli convert for rich text: an .rtf input is rendered through the same engine
// as the fax editor's documents (fine resolution, the same page geometry).
#pragma once

#include "cli_args.h"

#include <string>

namespace cli {

// An input given as --type rtf, or without --type and ending in ".rtf" (any case).
bool isRichTextInput(const CliArgs& args, const std::string& input);
// convert INPUT.rtf OUTPUT.apf
int runRichTextConvert(const CliArgs& args);

} // namespace cli
