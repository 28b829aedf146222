// Window placement memory against a real PVN.INI and the offscreen screen.
#include "settings/ini_file.h"
#include "settings/settings.h"
#include "window_placement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using settings::IniFile;

class PlacedWindow : public QWidget {
    Q_OBJECT
};

class PlacementTest : public QObject {
    Q_OBJECT
    QRect screen() const { return QGuiApplication::primaryScreen()->availableGeometry(); }
    std::filesystem::path ini(const QTemporaryDir& dir) const {
        return std::filesystem::path(dir.path().toStdString()) / "PVN.INI";
    }
    void writeRect(const std::filesystem::path& path, int l, int t, int r, int b, bool max = false) {
        auto file = IniFile::load(path);
        file.writeInteger("PlacedWindow_Placement", "Left", l);
        file.writeInteger("PlacedWindow_Placement", "Top", t);
        file.writeInteger("PlacedWindow_Placement", "Right", r);
        file.writeInteger("PlacedWindow_Placement", "Bottom", b);
        file.writeBool("PlacedWindow_Placement", "Maximized", max);
        file.save(path);
    }

private slots:
    void sectionNameCarriesDpiAboveNinetySix() {
        QCOMPARE(app::placementSection("TMainScreen", 96), QString("TMainScreen_Placement"));
        QCOMPARE(app::placementSection("TMainScreen", 120), QString("TMainScreen_Placement120"));
        PlacedWindow w;
        QCOMPARE(app::placementClassName(&w), QString("PlacedWindow"));
    }

    void roundTripKeepsRectangleAndOtherSections() {
        QTemporaryDir dir;
        const auto path = ini(dir);
        {
            IniFile file;
            file.writeInteger("Modem", "ComPort", 2);
            file.save(path);
        }
        PlacedWindow w;
        w.setGeometry(40, 50, 300, 200);
        app::savePlacement(&w, path);

        const auto file = IniFile::load(path);
        QCOMPARE(file.readInteger("PlacedWindow_Placement", "Left", -1), 40);
        QCOMPARE(file.readInteger("PlacedWindow_Placement", "Right", -1), 340);
        QCOMPARE(file.readInteger("PlacedWindow_Placement", "Bottom", -1), 250);
        QCOMPARE(file.readBool("PlacedWindow_Placement", "Maximized", true), false);
        QCOMPARE(file.readInteger("Modem", "ComPort", -1), 2);

        // A settings save afterwards keeps the placement section.
        settings::Settings s;
        settings::loadSettings(s, path.parent_path());
        settings::saveSettings(s, path.parent_path());
        PlacedWindow back;
        back.resize(10, 10);
        app::restorePlacement(&back, path);
        QCOMPARE(back.geometry(), QRect(40, 50, 300, 200));
    }

    void rectanglePartlyOffScreenComesBack() {
        QTemporaryDir dir;
        const auto path = ini(dir);
        const QRect s = screen();
        // Past the right and bottom edges: moved back by the excess.
        writeRect(path, s.right() - 100, s.bottom() - 50, s.right() + 200, s.bottom() + 150);
        PlacedWindow w;
        app::restorePlacement(&w, path);
        QCOMPARE(w.geometry().size(), QSize(300, 200));
        QVERIFY(s.contains(w.geometry()));
        QCOMPARE(w.geometry().right(), s.right());

        // Before the left and top edges: moved forward to 1.
        writeRect(path, -120, -30, 180, 170);
        app::restorePlacement(&w, path);
        QCOMPARE(w.geometry(), QRect(s.left() + 1, s.top() + 1, 300, 200));

        // Larger than the screen: cut to it, nothing left outside.
        writeRect(path, -10, -10, s.width() + 400, s.height() + 400);
        app::restorePlacement(&w, path);
        QVERIFY(s.contains(w.geometry()));
    }

    void maximisedAndNeverSaved() {
        QTemporaryDir dir;
        const auto path = ini(dir);
        writeRect(path, 10, 10, 200, 200, true);
        PlacedWindow w;
        w.setGeometry(5, 6, 70, 80);
        app::restorePlacement(&w, path);
        QVERIFY(w.windowState() & Qt::WindowMaximized);

        // No section at all: centred on the screen, current size kept.
        QTemporaryDir empty;
        PlacedWindow fresh;
        fresh.resize(200, 100);
        app::restorePlacement(&fresh, ini(empty));
        const QRect s = screen();
        QCOMPARE(fresh.geometry().size(), QSize(200, 100));
        QVERIFY(qAbs(fresh.geometry().center().x() - s.center().x()) <= 1);
        QVERIFY(qAbs(fresh.geometry().center().y() - s.center().y()) <= 1);
    }

    void keepOnScreenRules() {
        const QRect s(0, 0, 800, 600);
        QCOMPARE(app::keepOnScreen(QRect(700, 10, 200, 100), s), QRect(600, 10, 200, 100));
        QCOMPARE(app::keepOnScreen(QRect(-5, 550, 200, 100), s), QRect(1, 500, 200, 100));
        QCOMPARE(app::keepOnScreen(QRect(0, 0, 200, 100), s), QRect(0, 0, 200, 100));
        // A second screen to the right keeps its own origin.
        const QRect right(800, 0, 1024, 768);
        QCOMPARE(app::keepOnScreen(QRect(780, 10, 200, 100), right), QRect(801, 10, 200, 100));
    }
};

QTEST_MAIN(PlacementTest)
#include "placement_test.moc"
