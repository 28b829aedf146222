// One copy per program directory, checked with real processes.
#include "single_instance.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QWidget>
#include <QtTest>

using namespace std::chrono_literals;

namespace {
const QString kProgram = QStringLiteral(PARVANE_BINARY_DIR "/app/parvane");

QProcess* startParvane(QObject* owner, const QString& dataDir) {
    auto* p = new QProcess(owner);
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(kProgram, {"--data-dir", dataDir});
    return p;
}
} // namespace

class SingleInstanceTest : public QObject {
    Q_OBJECT
private slots:
    void secondProgramRaisesThisOneAndLeaves() {
        QTemporaryDir dir;
        const std::filesystem::path path = dir.path().toStdString();
        app::SingleInstance first(path);
        QVERIFY(first.acquire());
        QVERIFY(first.listen());

        QWidget window;
        window.showMinimized();
        QVERIFY(window.isMinimized());
        int requests = 0;
        connect(&first, &app::SingleInstance::activationRequested, [&] {
            ++requests;
            app::bringToFront(&window);
        });

        QProcess* second = startParvane(this, dir.path());
        QVERIFY(second->waitForStarted());
        // Keep our event loop running so that the request is answered.
        QTRY_VERIFY_WITH_TIMEOUT(second->state() == QProcess::NotRunning, 15000);
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(requests, 1);
        QVERIFY(!window.isMinimized());
        QVERIFY(window.isVisible());
        // It left before touching a table or the settings.
        QVERIFY(!std::filesystem::exists(path / "PVN.DBF"));
        QVERIFY(!std::filesystem::exists(path / "PVN.INI"));
    }

    void twoProgramsOneDirectory() {
        QTemporaryDir dir;
        const std::filesystem::path path = dir.path().toStdString();
        QProcess* first = startParvane(this, dir.path());
        QVERIFY(first->waitForStarted());
        // Up once its tables exist and a probe finds the lock taken.
        QTRY_VERIFY_WITH_TIMEOUT(std::filesystem::exists(path / "PVNREC.CDX"), 15000);
        QTRY_VERIFY_WITH_TIMEOUT(!app::SingleInstance(path).acquire(), 5000);

        QProcess* second = startParvane(this, dir.path());
        QVERIFY(second->waitForFinished(15000));
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);

        // Another directory is another program: it starts its own copy.
        QTemporaryDir other;
        QProcess* third = startParvane(this, other.path());
        QTest::qWait(1500);
        QCOMPARE(third->state(), QProcess::Running);

        for (QProcess* p : {first, third}) {
            p->terminate();
            QVERIFY(p->waitForFinished(10000));
        }
        // The lock dies with its holder.
        QVERIFY(app::SingleInstance(path).acquire());
    }
};

QTEST_MAIN(SingleInstanceTest)
#include "single_instance_test.moc"
