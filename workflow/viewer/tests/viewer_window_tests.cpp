// The viewer window: page buttons and status line, the first zoom and the zoom steps,
// the print form and the print hook, errors, and exports read back by outside tools.
#include "viewer_test_fax.h"

#include "base/ini_file.h"
#include "modal_helper.h"
#include "unpack_test_support.h"
#include "workflow/viewer/fax_viewer_window.h"
#include "workflow/viewer/pre_print_form.h"

#include <QCheckBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>

#include <fstream>

using namespace workflow::viewer;
using namespace viewer_testing;
using testing_support::answerNextBox;
using testing_support::onNextModal;

namespace {

// Every pixel of `img` against the source page, rows doubled when `doubled`.
QString comparePage(const QImage& img, const SourcePage& p, bool doubled) {
    const int rows = p.pixels.height() * (doubled && !p.fine ? 2 : 1);
    if (img.isNull())
        return QStringLiteral("no image");
    if (img.size() != QSize(p.pixels.width(), rows))
        return QStringLiteral("size %1x%2, expected %3x%4").arg(img.width()).arg(img.height()).arg(p.pixels.width()).arg(rows);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < img.width(); ++x) {
            const bool want = doubled ? shownBlack(p, x, y) : p.pixels.isBlack(x, y);
            if (isBlack(img, x, y) != want)
                return QStringLiteral("pixel %1,%2 differs").arg(x).arg(y);
        }
    return {};
}

std::vector<char> readAll(const std::filesystem::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::uint32_t le32(const std::vector<char>& b, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(b[at + static_cast<std::size_t>(i)]);
    return v;
}

} // namespace

class ViewerWindowTest : public QObject {
    Q_OBJECT
private:
    QTemporaryDir dir_;
    std::vector<SourcePage> pages_;
    std::filesystem::path fax_;
    std::filesystem::path one_;

    std::filesystem::path path(const QString& name) const {
        return std::filesystem::path(dir_.path().toStdString()) / name.toStdString();
    }
    QString qpath(const QString& name) const { return QString::fromStdString(path(name).string()); }

    void open(TFaxViewer& w, const std::filesystem::path& file, int width = 700) {
        w.setFaxFile(file);
        w.resize(width, 500);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
    }

private slots:
    void initTestCase() {
        QVERIFY(dir_.isValid());
        pages_ = threePages();
        fax_ = path(QStringLiteral("three.apf"));
        writeFax(fax_, pages_);
        one_ = path(QStringLiteral("one.apf"));
        writeFax(one_, {pages_[1]});
    }

    void pageButtonsAndStatusLine() {
        TFaxViewer w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Fax Viewer "));
        QCOMPARE(w.statusText(), QStringLiteral("Loading..."));
        w.setTitle(QStringLiteral("Sent fax"));
        open(w, fax_);
        QCOMPARE(w.statusText(), QStringLiteral("Sent fax: Page 1 of 3"));
        QVERIFY(w.NextPageButton->isVisible() && w.FirstPageButton->isVisible());
        w.NextPageButton->click();
        QCOMPARE(w.statusText(), QStringLiteral("Sent fax: Page 2 of 3"));
        w.LastPageButton->click();
        QCOMPARE(w.statusText(), QStringLiteral("Sent fax: Page 3 of 3"));
        w.PrevPageButton->click();
        w.FirstPageButton->click();
        QCOMPARE(w.statusText(), QStringLiteral("Sent fax: Page 1 of 3"));
        QTest::keyClick(w.FaxViewer->viewer(), Qt::Key_End, Qt::ControlModifier);
        QCOMPARE(w.statusText(), QStringLiteral("Sent fax: Page 3 of 3"));

        TFaxViewer single;
        open(single, one_);
        QCOMPARE(single.statusText(), QStringLiteral("Page 1 of 1"));
        QVERIFY(!single.NextPageButton->isVisible() && !single.LastPageButton->isVisible());
    }

    void firstZoomAndZoomSteps() {
        TFaxViewer w;
        open(w, fax_, 640);
        const int vpWidth = w.FaxViewer->viewer()->viewport()->width();
        QVERIFY(vpWidth < 1728 * 62 / 150 && vpWidth > 1728 * 36 / 150);
        QCOMPARE(w.zoom(), 50);
        QVERIFY(w.ZoomItems[1]->isChecked());
        QCOMPARE(w.FaxViewer->viewer()->scaledSize(), QSize(864, 150));
        w.ZoomInClick();
        QCOMPARE(w.zoom(), 75);
        QCOMPARE(w.FaxViewer->viewer()->scaledSize(), QSize(1296, 225));
        QVERIFY(w.ZoomItems[2]->isChecked() && !w.ZoomItems[1]->isChecked());
        for (int i = 0; i < 5; ++i)
            w.ZoomInClick();
        QCOMPARE(w.zoom(), 200);
        QCOMPARE(w.FaxViewer->viewer()->scaledSize(), QSize(3456, 600));
        w.setZoom(100);
        QVERIFY(!w.FaxViewer->Scaling());
        QCOMPARE(w.FaxViewer->viewer()->scaledSize(), QSize(1728, 300));
        for (int i = 0; i < 6; ++i)
            w.ZoomOutClick();
        QCOMPARE(w.zoom(), 25);
        QCOMPARE(w.FaxViewer->viewer()->scaledSize(), QSize(432, 75));
        // Rotation menu: the item chosen is checked, the page turns.
        w.RotationItems[1]->trigger();
        QVERIFY(w.RotationItems[1]->isChecked() && !w.RotationItems[0]->isChecked());
        QCOMPARE(w.FaxViewer->viewer()->scaledSize(), QSize(75, 432));

        // A window wider than the page shows it at 100 %.
        TFaxViewer wide;
        open(wide, fax_, 1900);
        QCOMPARE(wide.zoom(), 100);
    }

    void openingErrors() {
        TFaxViewer w;
        auto seen = answerNextBox(QMessageBox::Ok);
        open(w, path(QStringLiteral("gone.apf")));
        QTRY_VERIFY(seen->seen);
        QCOMPARE(seen->text, QStringLiteral("Error opening fax file"));
        QCOMPARE(w.statusText(), QStringLiteral("No file loaded"));

        // A page cut off by the end of the file: "Viewer error" for it, the others show.
        std::vector<char> bytes = readAll(fax_);
        bytes.resize(bytes.size() - 400);
        const auto cut = path(QStringLiteral("cut.apf"));
        std::ofstream(cut, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        TFaxViewer d;
        open(d, cut);
        QCOMPARE(d.statusText(), QStringLiteral("Page 1 of 3"));
        auto error = answerNextBox(QMessageBox::Ok);
        d.LastPageButton->click();
        QTRY_VERIFY(error->seen);
        QVERIFY(error->text.startsWith(QStringLiteral("Viewer error -")));
        QCOMPARE(d.statusText(), QStringLiteral("Page 3 of 3"));
        d.FirstPageButton->click();
        QVERIFY(!d.FaxViewer->viewer()->shownImage().isNull());
    }

    void printFormAndHook() {
        const auto programDir = path(QStringLiteral("prog"));
        std::filesystem::create_directories(programDir);
        TFaxViewer w;
        w.setProgramDir(programDir);
        w.setHeaderText(QStringLiteral("To: Someone"));
        open(w, fax_);

        // No printing hook yet: a plain message.
        auto seen = answerNextBox(QMessageBox::Ok);
        w.PrintClick();
        QVERIFY(seen->seen);
        QCOMPARE(seen->text, QStringLiteral("Printing is not available."));

        struct Call {
            std::filesystem::path file;
            int first = 0, last = 0;
            QString header;
        };
        std::vector<Call> calls;
        w.print = [&](const std::filesystem::path& f, int first, int last, const QString& header) {
            calls.push_back({f, first, last, header});
        };
        bool beeped = false;
        onNextModal([&](QWidget* m) {
            auto* form = qobject_cast<TPrePrintForm*>(m);
            QVERIFY(form);
            QCOMPARE(form->FromPage->value(), 1);
            QCOMPARE(form->ToPage->value(), 3);
            QCOMPARE(form->ToPage->maximum(), 3);
            QVERIFY(form->PrintHeader->isChecked() && form->PrintFooter->isChecked());
            QVERIFY(!form->MultiPage->isChecked());
            // To below From: stays open.
            form->FromPage->setValue(3);
            form->ToPage->setValue(2);
            form->OkButtonClick();
            beeped = form->isVisible();
            form->ToPage->setValue(3);
            form->FromPage->setValue(2);
            form->PrintHeader->setChecked(false);
            form->MultiPage->setChecked(true);
            form->OkButtonClick();
        });
        w.PrintClick();
        QVERIFY(beeped);
        QCOMPARE(calls.size(), std::size_t{1});
        QCOMPARE(calls[0].file, fax_);
        QCOMPARE(calls[0].first, 2);
        QCOMPARE(calls[0].last, 3);
        QVERIFY(calls[0].header.isEmpty());
        QVERIFY(w.lastPrintChoice().multiPage && w.lastPrintChoice().footer);
        const auto ini = settings::IniFile::load(programDir / "PVN.INI");
        QCOMPARE(ini.readInteger("Printing", "MultiPage", -1), 1);
        QCOMPARE(ini.readInteger("Printing", "Header", -1), 0);
        QCOMPARE(ini.readInteger("Printing", "Footer", -1), 1);

        // The current page alone: the fields fixed, four-up off; the range stays as chosen.
        w.NextPageButton->click();
        onNextModal([&](QWidget* m) {
            auto* form = qobject_cast<TPrePrintForm*>(m);
            QVERIFY(form);
            QCOMPARE(form->FromPage->value(), 2);
            QVERIFY(!form->FromPage->isEnabled() && !form->ToPage->isEnabled() && !form->MultiPage->isEnabled());
            QVERIFY(!form->PrintHeader->isChecked()); // as last answered
            form->PrintHeader->setChecked(true);
            form->OkButtonClick();
        });
        w.PrintCurrentPageClick();
        QCOMPARE(calls.size(), std::size_t{2});
        QCOMPARE(calls[1].first, 2);
        QCOMPARE(calls[1].last, 2);
        QCOMPARE(calls[1].header, QStringLiteral("To: Someone"));
        QVERIFY(!w.lastPrintChoice().multiPage);
        // The next full print offers the whole fax again, four-up as stored.
        onNextModal([&](QWidget* m) {
            auto* form = qobject_cast<TPrePrintForm*>(m);
            QVERIFY(form);
            QCOMPARE(form->FromPage->value(), 1);
            QCOMPARE(form->ToPage->value(), 3);
            QVERIFY(form->MultiPage->isChecked() && form->MultiPage->isEnabled());
            form->reject();
        });
        w.PrintClick();
        QCOMPARE(calls.size(), std::size_t{2});

        // Without a printer the print commands are off.
        TFaxViewer none;
        none.printerInstalled = [] { return false; };
        open(none, fax_);
        QVERIFY(!none.PrintItem->isEnabled() && !none.PrinterSetupItem->isEnabled());
    }

    void pageExportsReadByNetpbm() {
        QVERIFY(haveTool("bmptopnm") && haveTool("pcxtoppm"));
        TFaxViewer w;
        open(w, fax_);
        QString filterSeen;
        w.chooseFile = [&](QWidget*, const QString&, const QString& name, const QString& filters, QString*) {
            filterSeen = filters;
            return qpath(name == QStringLiteral("*.BMP") ? QStringLiteral("page") : QStringLiteral("x"));
        };
        // The page command: the current page, the extension added.
        w.ExportPageClick(ExportFormat::Bmp);
        QCOMPARE(filterSeen, QStringLiteral("BMP File (*.BMP *.bmp)"));
        QCOMPARE(run(QStringLiteral("bmptopnm %1 > %2 2>/dev/null").arg(qpath("page.BMP"), qpath("page1.pnm"))), 0);
        QString diff = comparePage(QImage(qpath("page1.pnm")), pages_[0], true);
        QVERIFY2(diff.isEmpty(), qPrintable(diff));

        for (int p = 1; p <= 3; ++p) {
            const SourcePage& src = pages_[static_cast<std::size_t>(p - 1)];
            QVERIFY(w.exportTo(path(QStringLiteral("p%1.pcx").arg(p)), ExportFormat::Pcx, p, p).ok());
            QCOMPARE(run(QStringLiteral("pcxtoppm %1 > %2 2>/dev/null").arg(qpath(QStringLiteral("p%1.pcx").arg(p)), qpath("pcx.pnm"))), 0);
            diff = comparePage(QImage(qpath("pcx.pnm")), src, true);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("PCX page %1: %2").arg(p).arg(diff)));
        }

        // DCX of all pages: each PCX image in it read by netpbm.
        QVERIFY(w.exportTo(path(QStringLiteral("all.dcx")), ExportFormat::Dcx, 1, 3).ok());
        const std::vector<char> dcx = readAll(path(QStringLiteral("all.dcx")));
        QCOMPARE(le32(dcx, 0), 987654321u);
        for (int p = 1; p <= 3; ++p) {
            const std::size_t from = le32(dcx, 4u * static_cast<std::size_t>(p));
            const std::size_t next = p < 3 ? le32(dcx, 4u * static_cast<std::size_t>(p + 1)) : dcx.size();
            QVERIFY(from >= 4100 && next > from && next <= dcx.size());
            std::ofstream(path(QStringLiteral("dcx.pcx")), std::ios::binary)
                .write(dcx.data() + from, static_cast<std::streamsize>(next - from));
            QCOMPARE(run(QStringLiteral("pcxtoppm %1 > %2 2>/dev/null").arg(qpath("dcx.pcx"), qpath("dcx.pnm"))), 0);
            diff = comparePage(QImage(qpath("dcx.pnm")), pages_[static_cast<std::size_t>(p - 1)], true);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("DCX page %1: %2").arg(p).arg(diff)));
        }
        QCOMPARE(le32(dcx, 16), 0u);
        // A failure says so and names the page.
        const ExportResult bad = w.exportTo(path(QStringLiteral("bad.pcx")), ExportFormat::Pcx, 9, 9);
        QVERIFY(!bad.ok());
        QVERIFY(!std::filesystem::exists(path(QStringLiteral("bad.pcx"))));
    }

    void rangeExportsReadByPopplerAndLibtiff() {
        QVERIFY(haveTool("pdftoppm") && haveTool("pdfinfo") && haveTool("tiffinfo") && haveTool("tiffsplit") &&
                haveTool("tifftopnm"));
        TFaxViewer w;
        open(w, fax_);
        // The export command: the type from the filter when the name has no extension,
        // then the page range.
        w.chooseFile = [&](QWidget*, const QString&, const QString&, const QString& filters, QString* selected) {
            [&] { QVERIFY(filters.contains(QStringLiteral("PDF File")) && filters.contains(QStringLiteral("TIFF File"))); }();
            *selected = QStringLiteral("TIFF File (*.tif *.tiff *.TIF)");
            return qpath("range");
        };
        onNextModal([](QWidget* m) {
            auto* from = m->findChild<QSpinBox*>(QStringLiteral("FromPage"));
            auto* to = m->findChild<QSpinBox*>(QStringLiteral("ToPage"));
            QVERIFY(from && to);
            QCOMPARE(to->value(), 3);
            from->setValue(2);
            static_cast<QDialog*>(m)->accept();
        });
        w.ExportClick();
        QVERIFY(std::filesystem::exists(path(QStringLiteral("range.tif"))));
        QCOMPARE(run(QStringLiteral("tiffinfo %1 2>/dev/null | grep -c 'Compression Scheme: CCITT Group 3' | grep -qx 2")
                         .arg(qpath("range.tif"))),
                 0);

        QVERIFY(w.exportTo(path(QStringLiteral("all.tif")), ExportFormat::Tiff, 1, 3).ok());
        QCOMPARE(run(QStringLiteral("cd %1 && tiffsplit all.tif part_ >/dev/null 2>&1").arg(dir_.path())), 0);
        const char* parts[] = {"part_aaa.tif", "part_aab.tif", "part_aac.tif"};
        for (int p = 0; p < 3; ++p) {
            QCOMPARE(run(QStringLiteral("tifftopnm %1 > %2 2>/dev/null").arg(qpath(QString::fromLatin1(parts[p])), qpath("t.pnm"))), 0);
            const QString diff = comparePage(QImage(qpath("t.pnm")), pages_[static_cast<std::size_t>(p)], false);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("TIFF page %1: %2").arg(p + 1).arg(diff)));
        }

        QVERIFY(w.exportTo(path(QStringLiteral("all.pdf")), ExportFormat::Pdf, 1, 3).ok());
        QCOMPARE(run(QStringLiteral("pdfinfo %1 | grep -q '^Pages: *3$'").arg(qpath("all.pdf"))), 0);
        for (int p = 1; p <= 3; ++p) {
            const SourcePage& src = pages_[static_cast<std::size_t>(p - 1)];
            QCOMPARE(run(QStringLiteral("pdftoppm -mono -rx 204 -ry %1 -f %2 -l %2 %3 > %4")
                             .arg(src.fine ? 196 : 98)
                             .arg(p)
                             .arg(qpath("all.pdf"), qpath("pdf.pbm"))),
                     0);
            const QString diff = comparePage(QImage(qpath("pdf.pbm")), src, false);
            QVERIFY2(diff.isEmpty(), qPrintable(QStringLiteral("PDF page %1: %2").arg(p).arg(diff)));
        }
    }
};

QTEST_MAIN(ViewerWindowTest)
#include "viewer_window_tests.moc"
