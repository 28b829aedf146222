// The Qt application object that font, layout and print classes need, made on first use.
// parvane-cli needs no display: without a chosen platform it runs offscreen.
#pragma once

namespace cli {

void ensureGuiApplication();

} // namespace cli
