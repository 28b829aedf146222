// The RTF reader on arbitrary bytes, seeded with the RTF test documents. Each input is
// also written back and read again, so the writer sees whatever the reader can build.
#include "workflow/richtext/rtf_reader.h"
#include "workflow/richtext/rtf_writer.h"

#include <QGuiApplication>
#include <QTextDocument>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string_view>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_rtf_reader";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv); // lives for the whole run
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace workflow::richtext;
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    QTextDocument doc;
    readRtf(bytes, doc);
    const QByteArray written = writeRtf(doc);
    QTextDocument again;
    readRtf(std::string_view(written.constData(), static_cast<std::size_t>(written.size())), again);
    return 0;
}
