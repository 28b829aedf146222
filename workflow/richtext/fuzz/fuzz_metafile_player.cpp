// The metafile player on arbitrary bytes: the first byte picks WMF or EMF, the rest is
// the metafile. Seeded with small pictures of both kinds.
#include "workflow/richtext/metafile_player.h"

#include <QGuiApplication>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    static int argc = 1;
    static char name[] = "fuzz_metafile_player";
    static char* argv[] = {name, nullptr};
    static auto* app = new QGuiApplication(argc, argv); // lives for the whole run; fonts need it
    (void)app;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace workflow::richtext;
    if (size < 1)
        return 0;
    const MetafileKind kind = data[0] & 1 ? MetafileKind::Emf : MetafileKind::Wmf;
    const QByteArrayView bytes(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    playMetafile(kind, bytes, QSize(96, 48));
    imageFromDib(bytes);
    return 0;
}
