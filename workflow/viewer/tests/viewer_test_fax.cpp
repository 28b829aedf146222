#include "viewer_test_fax.h"

#include "test_pages.h"
#include "unpack_test_support.h"

#include <cstdlib>
#include <sys/wait.h>

namespace viewer_testing {

using faximage::MonoBitmap;

namespace {

SourcePage makeSource(int width, int height, bool fine, unsigned seed) {
    SourcePage p;
    p.fine = fine;
    p.pixels = faximage::testing::makePage(faximage::testing::PageKind::Text, width, height, seed);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 16; ++x)
            p.pixels.setBlack(x, y, true);
    p.pixels.setBlack(width - 1, height / 2, true);
    return p;
}

} // namespace

std::vector<SourcePage> threePages() {
    return {makeSource(1728, 150, false, 1), makeSource(1728, 300, true, 2), makeSource(2048, 300, true, 3)};
}

void writeFax(const std::filesystem::path& file, const std::vector<SourcePage>& pages) {
    std::vector<faximage::testing::TestPage> coded;
    for (const SourcePage& p : pages)
        coded.push_back(faximage::testing::encodedPage(p.pixels, p.fine));
    faximage::testing::writeApf(file, coded);
}

bool shownBlack(const SourcePage& p, int x, int y) {
    const int row = p.fine ? y : y / 2;
    if (x < 0 || x >= p.pixels.width() || row < 0 || row >= p.pixels.height())
        return false;
    return p.pixels.isBlack(x, row);
}

int run(const QString& command) {
    const int rc = std::system(command.toLocal8Bit().constData());
    return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

bool haveTool(const char* name) {
    return run(QStringLiteral("command -v %1 >/dev/null 2>&1").arg(QString::fromLatin1(name))) == 0;
}

} // namespace viewer_testing
