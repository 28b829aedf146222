// The viewer widget and its component on a three-page fax: navigation, zoom, rotation,
// marking and copying, and damaged files.
#include "viewer_test_fax.h"

#include "faximage/apf_file.h"
#include "faximage/fax_errors.h"
#include "faximage/unpack_engine.h"
#include "unpack_test_support.h"
#include "workflow/viewer/fax_viewer_component.h"
#include "workflow/viewer/page_rotation.h"
#include "workflow/viewer/zoom_levels.h"

#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QUrl>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace workflow::viewer;
using namespace viewer_testing;
namespace ec = faximage::ec;

class ViewerWidgetTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::vector<SourcePage> pages_;
    std::filesystem::path fax_;

    std::filesystem::path path(const char* name) const { return std::filesystem::path(dir_.path().toStdString()) / name; }

    // Every shown pixel of the page in view against the source page.
    static bool showsPage(const TViewer& v, const SourcePage& p) {
        const QImage& img = v.shownImage();
        for (int y = 0; y < img.height(); ++y)
            for (int x = 0; x < img.width(); ++x)
                if (isBlack(img, x, y) != shownBlack(p, x, y))
                    return false;
        return true;
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        pages_ = threePages();
        fax_ = path("three.apf");
        writeFax(fax_, pages_);
    }

    void loadsPagesAtTheirShape() {
        TViewer v;
        v.resize(600, 400);
        QSignalSpy changed(&v, &TViewer::pageChanged);
        QCOMPARE(v.setFile(fax_), 0);
        QCOMPARE(v.pageCount(), 3);
        QCOMPARE(v.currentPage(), 1);
        QCOMPARE(changed.count(), 1);
        // Standard rows are shown twice: the page keeps its aspect.
        QCOMPARE(v.pageDim(), QRect(QPoint(0, 0), QPoint(1727, 299)));
        QVERIFY(showsPage(v, pages_[0]));
        QCOMPARE(v.gotoPage(3), 0);
        QCOMPARE(v.pageDim(), QRect(QPoint(0, 0), QPoint(2047, 299)));
        QVERIFY(showsPage(v, pages_[2]));
        QCOMPARE(v.gotoPage(0), ec::BadArgument);
        QCOMPARE(v.gotoPage(4), ec::BadArgument);
        QCOMPARE(v.currentPage(), 3);
        // Only the page shown stays decoded, unless the whole fax is loaded.
        QCOMPARE(v.store().decodedPages(), 1);
        QCOMPARE(v.setLoadWholeFax(true), 0);
        QCOMPARE(v.store().decodedPages(), 3);
        QCOMPARE(v.setLoadWholeFax(false), 0);
        QCOMPARE(v.store().decodedPages(), 1);
        QVERIFY(v.store().bitmap(3) != nullptr);
        // Another page's bitmap without disturbing the one shown.
        const faximage::MonoBitmap p2 = v.pageBitmap(2);
        QCOMPARE(p2.height(), 300);
        QCOMPARE(v.store().decodedPages(), 1);
        QCOMPARE(v.setFile({}), 0);
        QCOMPARE(v.currentPage(), 0);
        QCOMPARE(v.pageDim(), QRect(QPoint(0, 0), QPoint(0, 0)));
    }

    void navigatesByKeys() {
        TViewer v;
        v.resize(600, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QCOMPARE(v.setFile(fax_), 0);
        QTest::keyClick(&v, Qt::Key_PageDown);
        QCOMPARE(v.currentPage(), 2);
        QTest::keyClick(&v, Qt::Key_PageDown);
        QTest::keyClick(&v, Qt::Key_PageDown); // no page after the last
        QCOMPARE(v.currentPage(), 3);
        QTest::keyClick(&v, Qt::Key_Home, Qt::ControlModifier);
        QCOMPARE(v.currentPage(), 1);
        QTest::keyClick(&v, Qt::Key_PageUp);
        QCOMPARE(v.currentPage(), 1);
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.currentPage(), 3);

        // Scrolling: a step, ten steps with Ctrl, the edges.
        const int step = v.verticalStep();
        QTest::keyClick(&v, Qt::Key_Down);
        QCOMPARE(v.scrollPosition(), QPoint(0, step));
        QTest::keyClick(&v, Qt::Key_Down, Qt::ControlModifier);
        QCOMPARE(v.scrollPosition(), QPoint(0, 11 * step));
        QTest::keyClick(&v, Qt::Key_Right, Qt::ControlModifier);
        QCOMPARE(v.scrollPosition().x(), 10 * v.horizontalStep());
        QTest::keyClick(&v, Qt::Key_End);
        QCOMPARE(v.scrollPosition().x(), v.horizontalScrollBar()->maximum());
        QCOMPARE(v.horizontalScrollBar()->maximum(), 2048 - v.viewport()->width());
        QTest::keyClick(&v, Qt::Key_PageDown, Qt::ControlModifier);
        QCOMPARE(v.scrollPosition().y(), 300 - v.viewport()->height());
        QTest::keyClick(&v, Qt::Key_PageUp, Qt::ControlModifier);
        QCOMPARE(v.scrollPosition().y(), 0);
        QTest::keyClick(&v, Qt::Key_Home);
        QCOMPARE(v.scrollPosition(), QPoint(0, 0));
        // Ctrl+End on the last page goes to the top-left corner instead.
        v.scrollTo({40, 40});
        QTest::keyClick(&v, Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(v.currentPage(), 3);
        QCOMPARE(v.scrollPosition(), QPoint(0, 0));
        // A page change starts at the top-left corner.
        v.scrollTo({40, 40});
        QTest::keyClick(&v, Qt::Key_PageUp);
        QCOMPARE(v.currentPage(), 2);
        QCOMPARE(v.scrollPosition(), QPoint(0, 0));

        // A page narrower than the window cannot scroll sideways; End does nothing.
        TViewer wide;
        wide.resize(2200, 200);
        wide.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wide));
        QCOMPARE(wide.setFile(fax_), 0);
        QCOMPARE(wide.horizontalScrollBar()->maximum(), 0);
        QTest::keyClick(&wide, Qt::Key_End);
        QCOMPARE(wide.scrollPosition().x(), 0);
    }

    void zoomsByScaleFractions() {
        QCOMPARE(firstZoom(1728, 600), 50); // b = 52
        QCOMPARE(firstZoom(1728, 2000), 100);
        QCOMPARE(firstZoom(1728, 1200), 100); // b = 104
        QCOMPARE(firstZoom(1728, 1000), 75);  // b = 86
        QCOMPARE(firstZoom(2048, 300), 25);   // b = 21
        QCOMPARE(zoomIn(200), 200);
        QCOMPARE(zoomOut(25), 25);
        QCOMPARE(zoomIn(75), 100);
        QCOMPARE(zoomOut(150), 100);

        TViewer v;
        v.resize(600, 400);
        QCOMPARE(v.setFile(fax_), 0);
        for (int level : kZoomLevels) {
            v.setScale({level, 100, level, 100});
            QCOMPARE(v.scaledSize(), QSize(1728 * level / 100, 300 * level / 100));
        }
        // Shrinking keeps thin strokes: black wins where pixels fall together.
        v.setScale({1, 2, 1, 2});
        QVERIFY(isBlack(v.shownImage(), 7, 4));
        QVERIFY(isBlack(v.shownImage(), 863, 75)); // the pixel in the last column
        // Scaling is a view: a new file starts at 1/1.
        QCOMPARE(v.setFile(fax_), 0);
        QCOMPARE(v.scaledSize(), QSize(1728, 300));
    }

    void rotatesQuarterTurns() {
        TViewer v;
        v.resize(600, 400);
        QCOMPARE(v.setFile(fax_), 0);
        QCOMPARE(v.gotoPage(2), 0);
        const faximage::MonoBitmap upright = *v.store().bitmap(2);
        QCOMPARE(v.setRotation(1), 0);
        QCOMPARE(v.pageDim(), QRect(QPoint(0, 0), QPoint(299, 1727)));
        QCOMPARE(v.scaledSize(), QSize(300, 1728));
        // The block in the top-left corner is now in the top-right corner.
        const QImage& img = v.shownImage();
        QVERIFY(isBlack(img, 299, 0) && isBlack(img, 290, 15));
        QVERIFY(!isBlack(img, 289, 0) && !isBlack(img, 299, 16) && !isBlack(img, 0, 0));
        // 90 then 270 is a half turn of the upright page; back to 0 restores it exactly.
        QCOMPARE(v.setRotation(3), 0);
        faximage::MonoBitmap r90, halfFrom90;
        QCOMPARE(rotateBitmap(upright, 1, r90), 0);
        QCOMPARE(rotateBitmap(r90, 2, halfFrom90), 0);
        QVERIFY(v.store().bitmap(2)->samePixels(halfFrom90));
        QCOMPARE(v.setRotation(0), 0);
        QVERIFY(v.store().bitmap(2)->samePixels(upright));
        QCOMPARE(v.setRotation(4), ec::OutOfMemory);
        // Pages decoded later come out turned too.
        QCOMPARE(v.setRotation(2), 0);
        QCOMPARE(v.gotoPage(3), 0);
        QVERIFY(isBlack(v.shownImage(), 2047, 299) && !isBlack(v.shownImage(), 0, 0));
        // A 1-bit image whose width is not a multiple of 8: padding stays out of it.
        faximage::MonoBitmap odd(13, 5, faximage::PixelSense::OneIsWhite);
        odd.setBlack(12, 0, true);
        faximage::MonoBitmap turned;
        QCOMPARE(rotateBitmap(odd, 1, turned), 0);
        QCOMPARE(turned.width(), 5);
        QCOMPARE(turned.height(), 13);
        QVERIFY(turned.isBlack(4, 12));
        int black = 0;
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 5; ++x)
                black += turned.isBlack(x, y);
        QCOMPARE(black, 1);
    }

    void copiesTheMarkedArea() {
        TViewer v;
        v.resize(600, 400);
        QCOMPARE(v.copy(), ec::NoImageLoaded);
        QCOMPARE(v.selectAll(), ec::NoImageLoaded);
        QCOMPARE(v.setFile(fax_), 0);
        QCOMPARE(v.copy(), ec::NoImageBlockMarked);
        const QRect r(5, 3, 300, 200);
        QCOMPARE(v.select(r), 0);
        QCOMPARE(v.copy(), 0);
        QImage clip = QApplication::clipboard()->image();
        QCOMPARE(clip.size(), r.size());
        for (int y = 0; y < r.height(); ++y)
            for (int x = 0; x < r.width(); ++x)
                if (isBlack(clip, x, y) != shownBlack(pages_[0], r.x() + x, r.y() + y))
                    QFAIL(qPrintable(QStringLiteral("pixel %1,%2 differs").arg(x).arg(y)));
        // At half size the copy is the mark's size on screen, shrunk from twice the area.
        v.setScale({1, 2, 1, 2});
        QCOMPARE(v.select(QRect(0, 0, 40, 20)), 0);
        QCOMPARE(v.copy(), 0);
        clip = QApplication::clipboard()->image();
        QCOMPARE(clip.size(), QSize(40, 20));
        QVERIFY(isBlack(clip, 7, 4) && !isBlack(clip, 8, 5));
        // A mark beyond the page is clipped to it.
        QCOMPARE(v.select(QRect(800, 100, 500, 500)), 0);
        QCOMPARE(v.mark(), QRect(800, 100, 64, 50));
        QCOMPARE(v.selectAll(), 0);
        QCOMPARE(v.mark(), QRect(0, 0, 864, 150));
    }

    void marksWithTheMouse() {
        TViewer v;
        v.resize(400, 200);
        v.show();
        QVERIFY(QTest::qWaitForWindowExposed(&v));
        QCOMPARE(v.setFile(fax_), 0);
        v.scrollTo({100, 20});
        QWidget* vp = v.viewport();
        QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(10, 10));
        QTest::mouseMove(vp, QPoint(60, 50));
        QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(60, 50));
        QCOMPARE(v.mark(), QRect(110, 30, 50, 40));
        // Keys are ignored while dragging; a click without a drag leaves no mark.
        QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(30, 30));
        QTest::keyClick(&v, Qt::Key_PageDown);
        QCOMPARE(v.currentPage(), 1);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(30, 30));
        QVERIFY(v.mark().isEmpty());
        // Dragging beyond the window scrolls towards the pointer.
        QTest::mousePress(vp, Qt::LeftButton, {}, QPoint(20, 20));
        QTest::mouseMove(vp, QPoint(vp->width() + 40, 60));
        QTRY_VERIFY_WITH_TIMEOUT(v.scrollPosition().x() >= 100 + 4 * v.horizontalStep(), 3000);
        QTest::mouseRelease(vp, Qt::LeftButton, {}, QPoint(vp->width() + 40, 60));
        QVERIFY2(v.mark().width() > vp->width(), qPrintable(QStringLiteral("mark %1,%2 %3x%4 viewport %5").arg(v.mark().x()).arg(v.mark().y()).arg(v.mark().width()).arg(v.mark().height()).arg(vp->width())));
        // A new page clears the mark.
        QTest::keyClick(&v, Qt::Key_PageDown);
        QVERIFY(v.mark().isEmpty());
    }

    void loadsDroppedFiles() {
        // The event as the window system hands it over at the end of a drag.
        struct DropViewer : TViewer {
            void drop(const std::filesystem::path& file) {
                QMimeData mime;
                mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(file.string())),
                              QUrl::fromLocalFile(QStringLiteral("/nonexistent/second.apf"))});
                QDropEvent ev(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
                dropEvent(&ev);
            }
        } v;
        QSignalSpy dropped(&v, &TViewer::fileDropped);
        QSignalSpy errors(&v, &TViewer::viewerError);
        v.drop(fax_);
        QCOMPARE(dropped.count(), 1);
        QCOMPARE(dropped.takeFirst().at(0).toString(), QString::fromStdString(fax_.string()));
        QCOMPARE(v.pageCount(), 3);
        std::ofstream(path("words.apf")) << "not a fax\n";
        v.drop(path("words.apf"));
        QCOMPARE(dropped.count(), 0);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.takeFirst().at(0).toInt(), ec::FaxBadFormat);
        QCOMPARE(v.pageCount(), 0);

        // The component takes the dropped file's name and tells its owner.
        TVelkFaxViewer c;
        QString name;
        c.OnDropFile = [&](TVelkCustomFaxViewer&, const QString& n) { name = n; };
        QCOMPARE(c.viewer()->setFile(fax_), 0);
        emit c.viewer()->fileDropped(QString::fromStdString(fax_.string()));
        QCOMPARE(name, QString::fromStdString(fax_.string()));
        QCOMPARE(c.FileName(), name);
        QCOMPARE(c.viewer()->setFile(path("words.apf")), ec::FaxBadFormat);
        emit c.viewer()->viewerError(ec::FaxBadFormat);
        QVERIFY(c.FileName().isEmpty());
    }

    void componentProperties() {
        TVelkFaxViewer c;
        QCOMPARE(c.sizeHint(), QSize(100, 50));
        QCOMPARE(c.HorizScroll(), 8);
        int changes = 0;
        c.OnPageChange = [&](TVelkCustomFaxViewer&) { ++changes; };
        c.SetFileName(QString::fromStdString(fax_.string()));
        QCOMPARE(c.NumPages(), 3);
        QCOMPARE(changes, 1);
        // The factors reach the viewer only while scaling is on; 0 is ignored.
        c.SetHorizMult(3);
        c.SetVertMult(0);
        QCOMPARE(c.viewer()->scaledSize(), QSize(1728, 300));
        c.SetScaling(true);
        QCOMPARE(c.viewer()->scaledSize(), QSize(3 * 1728, 300));
        c.SetScaling(false);
        QCOMPARE(c.viewer()->scaledSize(), QSize(1728, 300));
        bool raised = false;
        try {
            c.SetActivePage(4);
        } catch (const faximage::EVelkException& e) {
            raised = e.ErrorCode() == ec::BadArgument;
        }
        QVERIFY(raised);
        c.NextPage();
        c.LastPage();
        QCOMPARE(c.ActivePage(), 3);
        QCOMPARE(c.PageWidth(), 2048);
        // Half width: a standard page comes out at half its width, not doubled in height.
        c.SetAutoScaleMode(faximage::TAutoScaleMode::asHalfWidth);
        c.SetFileName(QString::fromStdString(fax_.string()));
        QCOMPARE(c.viewer()->pageDim(), QRect(QPoint(0, 0), QPoint(863, 149)));
        raised = false;
        try {
            c.SetFileName(QString::fromStdString(path("none.apf").string()));
        } catch (const faximage::EVelkException& e) {
            raised = e.ErrorCode() == -2;
        }
        QVERIFY(raised);
        QVERIFY(c.FileName().isEmpty());
        QCOMPARE(c.NumPages(), 0);
    }

    void badFilesKeepTheGoodPages() {
        TViewer v;
        v.resize(600, 400);
        QSignalSpy errors(&v, &TViewer::viewerError);
        QCOMPARE(v.setFile(path("missing.apf")), -2);
        std::ofstream(path("text.apf")) << "This is not a fax at all, just some words.\n";
        QCOMPARE(v.setFile(path("text.apf")), ec::FaxBadFormat);
        QVERIFY(!v.hasFax());

        // Cut inside page 3: pages 1 and 2 still show, page 3 reports an error.
        std::ifstream in(fax_, std::ios::binary);
        std::vector<char> bytes((std::istreambuf_iterator<char>(in)), {});
        faximage::ApfReader reader;
        QCOMPARE(reader.open(fax_), 0);
        faximage::ApfPageInfo third;
        QCOMPARE(reader.locatePage(3, third), 0);
        bytes.resize(third.dataOffset + 200);
        std::ofstream(path("cut.apf"), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        QCOMPARE(v.setFile(path("cut.apf")), 0);
        QCOMPARE(v.pageCount(), 3);
        QVERIFY(showsPage(v, pages_[0]));
        QCOMPARE(v.gotoPage(3), 0);
        QCOMPARE(errors.count(), 1);
        QVERIFY(errors.takeFirst().at(0).toInt() < 0);
        QVERIFY(v.hasFax());
        QCOMPARE(v.gotoPage(2), 0);
        QVERIFY(showsPage(v, pages_[1]));
        QCOMPARE(errors.count(), 0);

        // Page 2's length runs past the end of the file: page 3 cannot even be found.
        bytes.assign(std::istreambuf_iterator<char>(std::ifstream(fax_, std::ios::binary).rdbuf()), {});
        faximage::ApfPageInfo second;
        QCOMPARE(reader.locatePage(2, second), 0);
        const std::uint32_t huge = 0x00FFFFFF;
        std::memcpy(bytes.data() + second.headerOffset, &huge, 4);
        std::ofstream(path("long.apf"), std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        QCOMPARE(v.setLoadWholeFax(true), 0);
        QCOMPARE(v.setFile(path("long.apf")), 0);
        QVERIFY(showsPage(v, pages_[0]));
        QCOMPARE(v.gotoPage(3), 0);
        QCOMPARE(errors.count(), 1);
        QCOMPARE(errors.takeFirst().at(0).toInt(), -100);
        QVERIFY(v.shownImage().isNull());
        QCOMPARE(v.gotoPage(1), 0);
        QVERIFY(showsPage(v, pages_[0]));
        QCOMPARE(v.setLoadWholeFax(false), 0);

        // Every line one pixel short of the page: shown padded with white.
        faximage::testing::MhStream m;
        for (int i = 0; i < 40; ++i)
            m.eol().runs({100, 27, 1600});
        m.eol().eol().eol();
        faximage::testing::writeApf(path("short.apf"), {{faximage::kApfHighResolution, {m.take()}}});
        QCOMPARE(v.setFile(path("short.apf")), 0);
        QCOMPARE(v.scaledSize().height(), 40);
        QVERIFY(isBlack(v.shownImage(), 100, 39) && !isBlack(v.shownImage(), 99, 39));
        QCOMPARE(errors.count(), 0);
    }
};

QTEST_MAIN(ViewerWidgetTest)
#include "viewer_widget_tests.moc"
