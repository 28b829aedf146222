// Switches the serial layer reads while it runs. The settings store writes them when
// settings are loaded or saved, and the preferences windows the moment a box is ticked.
#pragma once

namespace faxengine {

// Use the alternative serial technique one modem model needs.
void setUseSm56Fix(bool on);
bool useSm56Fix();

} // namespace faxengine
