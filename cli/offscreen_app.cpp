#include "offscreen_app.h"

#include <QGuiApplication>

#include <cstdlib>
#include <memory>

namespace cli {

void ensureGuiApplication() {
    if (QGuiApplication::instance())
        return;
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    if (!platform || !*platform)
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "parvane-cli";
    static char* argv[] = {name, nullptr};
    static std::unique_ptr<QGuiApplication> app = std::make_unique<QGuiApplication>(argc, argv);
}

} // namespace cli
