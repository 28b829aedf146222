// The cleanup utility as a user drives it: each delete command with its question marks
// exactly the records its condition names, the conditions and date dialogs build the
// right choice, empty pages disable the commands, and from the main window a cleanup
// that deleted something ends in a rebuild that removes the records from the files.
#include "date_selector.h"
#include "delete_for_conditions.h"
#include "dm_form.h"
#include "known_log.h"
#include "rebuild_ind.h"

#include "faxlog_table.h"
#include "main_screen.h"

#include <QCalendarWidget>
#include <QCheckBox>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <fstream>
#include <memory>

using namespace maintenance;
using Set = std::set<long>;

namespace {

// Calls `act` with the next visible modal widget of type T other than `skip`.
template <typename T>
void onNext(std::function<void(T*)> act, QWidget* skip = nullptr) {
    auto* timer = new QTimer(qApp);
    auto left = std::make_shared<int>(500);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, skip, left] {
        auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
        if (w && w != skip && w->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(w);
        } else if (--*left <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Answers the coming message boxes in turn, recording "title|text" of each.
void answerBoxes(std::vector<QMessageBox::StandardButton> answers, std::shared_ptr<QStringList> seen,
                 QWidget* skip = nullptr) {
    if (answers.empty())
        return;
    onNext<QMessageBox>(
        [answers, seen](QMessageBox* box) {
            *seen << box->windowTitle() + "|" + box->text();
            auto rest = std::vector<QMessageBox::StandardButton>(answers.begin() + 1, answers.end());
            answerBoxes(rest, seen, box);
            box->button(answers.front())->click();
        },
        skip);
}

std::shared_ptr<QStringList> boxes(std::vector<QMessageBox::StandardButton> answers) {
    auto seen = std::make_shared<QStringList>();
    answerBoxes(std::move(answers), seen);
    return seen;
}

constexpr auto Yes = QMessageBox::Yes;
constexpr auto No = QMessageBox::No;
constexpr auto Ok = QMessageBox::Ok;

// A known log and the cleanup window over it.
struct Cleanup {
    Cleanup() {
        {
            faxlog::DbeEngine writer;
            test::writeKnownLog(writer, dir());
        }
        env.start();
        env.setDeleted(true);
        faxlog::openLogTable(sent, faxlog::LogTableKind::Sent, dir());
        faxlog::openLogTable(received, faxlog::LogTableKind::Received, dir());
        form = std::make_unique<TDMForm>(CleanupTables{sent, received, env, dir()});
        form->show();
    }
    std::filesystem::path dir() const { return tmp.path().toStdString(); }
    void selectRecno(CleanupPage page, long recno) {
        form->setActivePage(page);
        form->selectRow(form->model(page)->rowOfRecno(recno));
    }

    QTemporaryDir tmp;
    faxlog::DbeEngine engine;
    faxlog::TDbeEnv env{engine};
    faxlog::TDbeTable sent{engine};
    faxlog::TDbeTable received{engine};
    std::unique_ptr<TDMForm> form;
};

} // namespace

class CleanupWindowTest : public QObject {
    Q_OBJECT
private slots:
    void activationShowsEveryRecordAndRestoresTheViewAfter() {
        Cleanup c;
        QCOMPARE(c.form->windowTitle(), QString("Fax Log Cleanup Utility"));
        QCOMPARE(c.sent.dbFilter(), std::string());
        QCOMPARE(c.form->model(CleanupPage::Outgoing)->rowCount(), 7);
        QCOMPARE(c.form->model(CleanupPage::Incoming)->rowCount(), 4);
        auto* m = c.form->model(CleanupPage::Outgoing);
        QCOMPARE(m->headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QString("Deleted?"));
        QCOMPARE(m->index(0, 0).data().toString(), QString("No "));
        QCOMPARE(c.form->activePage(), CleanupPage::Outgoing);
        QVERIFY(c.form->mnuDeleteSent->isEnabled());
        c.form->setActivePage(CleanupPage::Incoming);
        QVERIFY(!c.form->mnuDeleteSent->isVisible());
        QVERIFY(!c.form->mnuDeleteUnsent->isVisible());
        c.form->setActivePage(CleanupPage::Outgoing);
        QVERIFY(c.form->mnuDeleteSent->isVisible());
        c.form->accept();
        QCOMPARE(c.sent.dbFilter(), std::string(".not. deleted()"));
        QCOMPARE(c.received.dbFilter(), std::string(".not. deleted()"));
        QVERIFY(!c.form->rebuildWanted());
    }

    void deleteCurrentAsksAndTakesTheSelectedRecord() {
        Cleanup c;
        c.selectRecno(CleanupPage::Outgoing, 2);
        auto seen = boxes({No});
        c.form->DeleteCurrentClick();
        QCOMPARE(*seen, QStringList{"DELETE|Delete this fax? (action is permanent)"});
        QVERIFY(test::deletedRecords(c.sent).empty());
        QVERIFY(!c.form->rebuildWanted());

        seen = boxes({Yes});
        c.form->DeleteCurrentClick();
        QCOMPARE(test::deletedRecords(c.sent), (Set{2}));
        QVERIFY(c.form->rebuildWanted());
        QCOMPARE(c.form->model(CleanupPage::Outgoing)->rowCount(), 6);

        // A received fax by double-click on its "Deleted?" cell: its file goes too.
        c.selectRecno(CleanupPage::Incoming, 3);
        QTableView* grid = c.form->grid(CleanupPage::Incoming);
        const QModelIndex cell = grid->model()->index(grid->currentIndex().row(), 0);
        seen = boxes({Yes});
        emit grid->doubleClicked(cell);
        QCOMPARE(test::deletedRecords(c.received), (Set{3}));
        QVERIFY(!test::filesLeft(c.dir()).count("FAX0003.APF"));
        QCOMPARE(test::filesLeft(c.dir()).size(), std::size_t(3));
        QCOMPARE(c.form->mnuDeleteCurrent->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_X));
    }

    void sentUnsentAndAllCommandsMarkTheirRecords() {
        {
            Cleanup c;
            auto seen = boxes({Yes, Ok});
            c.form->DeleteSentClick();
            QCOMPARE(*seen, (QStringList{"DELETE|Delete all outgoing faxes which have been sent? (action is permanent)",
                                         "Information|5 deleted."}));
            QCOMPARE(test::deletedRecords(c.sent), (Set{1, 2, 3, 6, 7}));
            QVERIFY(c.form->rebuildWanted());
        }
        {
            Cleanup c;
            auto seen = boxes({Yes, Ok});
            c.form->DeleteUnsentClick();
            QCOMPARE(seen->value(0),
                     QString("DELETE|Delete all outgoing faxes which have NOT been sent? (action is permanent)"));
            QCOMPARE(seen->value(1), QString("Information|2 deleted."));
            QCOMPARE(test::deletedRecords(c.sent), (Set{4, 5}));
            // Refused: nothing changes.
            seen = boxes({No});
            c.form->DeleteAllClick();
            QCOMPARE(seen->value(0), QString("DELETE ALL|Delete all outgoing faxes ? (action is permanent)"));
            QCOMPARE(test::deletedRecords(c.sent), (Set{4, 5}));
        }
        {
            Cleanup c;
            c.form->setActivePage(CleanupPage::Incoming);
            auto seen = boxes({Yes, Ok});
            c.form->DeleteAllClick();
            QCOMPARE(*seen, (QStringList{"DELETE ALL|Delete all received faxes ? (action is permanent)",
                                         "Information|4 deleted."}));
            QCOMPARE(test::deletedRecords(c.received), (Set{1, 2, 3, 4}));
            QVERIFY(test::filesLeft(c.dir()).empty());
            QVERIFY(test::deletedRecords(c.sent).empty());
            // The empty page: no commands, no context menu, and the tab says so.
            QVERIFY(!c.form->Actions->isEnabled());
            QVERIFY(!c.form->grid(CleanupPage::Incoming)->isEnabled());
            QCOMPARE(c.form->grid(CleanupPage::Incoming)->contextMenuPolicy(), Qt::NoContextMenu);
            QCOMPARE(c.form->Pages->tabText(1), QString("Incoming Faxes (none)"));
            c.form->setActivePage(CleanupPage::Outgoing);
            QVERIFY(c.form->Actions->isEnabled());
            QCOMPARE(c.form->Pages->tabText(0), QString("Outgoing Faxes"));
        }
    }

    void beforeDateTakesTheChosenDayFromTheDateSelector() {
        Cleanup c;
        auto seen = std::make_shared<QStringList>();
        onNext<TDateSelector>([seen](TDateSelector* d) {
            QCOMPARE(d->windowTitle(), QString("Delete all before..."));
            QCOMPARE(d->date(), QDate::currentDate());
            d->setDate(QDate(2025, 12, 31));
            answerBoxes({Yes, Ok}, seen, d);
            d->OkButton->click();
        });
        c.form->DeleteBeforeDateClick();
        QCOMPARE(seen->size(), 2);
        QVERIFY2(seen->value(0).startsWith("DELETE|Delete all outgoing faxes prior to "), qPrintable(seen->value(0)));
        QVERIFY(seen->value(0).contains(QLocale().toString(QDate(2025, 12, 31), QLocale::LongFormat)));
        QVERIFY(seen->value(0).endsWith(" (action is permanent)?"));
        QCOMPARE(seen->value(1), QString("Information|2 deleted."));
        QCOMPARE(test::deletedRecords(c.sent), (Set{1, 7})); // not the day itself, not the unsent

        // Incoming, chosen by double-click on the calendar; cancelled dialogs change nothing.
        c.form->setActivePage(CleanupPage::Incoming);
        seen->clear();
        onNext<TDateSelector>([seen](TDateSelector* d) {
            d->setDate(QDate(2026, 1, 1));
            answerBoxes({Yes, Ok}, seen, d);
            emit d->calendar()->activated(d->date());
        });
        c.form->DeleteBeforeDateClick();
        QCOMPARE(seen->value(1), QString("Information|2 deleted."));
        QCOMPARE(test::deletedRecords(c.received), (Set{1, 2}));
        QCOMPARE(test::filesLeft(c.dir()), (std::set<std::string>{"FAX0003.APF", "FAX0004.APF"}));
        onNext<TDateSelector>([](TDateSelector* d) {
            d->setDate(QDate(2030, 1, 1));
            d->CancelButton->click();
        });
        c.form->DeleteBeforeDateClick();
        QCOMPARE(test::deletedRecords(c.received), (Set{1, 2}));
    }

    void dateSelectorButtonsMoveTheCalendar() {
        TDateSelector d;
        d.setDate(QDate(2026, 3, 31));
        d.MonthBack->click();
        QCOMPARE(d.date(), QDate(2026, 2, 28));
        d.YearBack->click();
        QCOMPARE(d.date(), QDate(2025, 2, 28));
        d.YearForward->click();
        d.MonthForward->click();
        QCOMPARE(d.date(), QDate(2026, 3, 28));
        QCOMPARE(d.calendar()->monthShown(), 3);
        QCOMPARE(d.panelText(), QLocale().toString(QDate(2026, 3, 28), "dddd, MMMM d, yyyy"));
        d.TodayButton->click();
        QCOMPARE(d.date(), QDate::currentDate());
    }

    void conditionsDialogPrefillsAndMatchesExactlyOrInPart() {
        Cleanup c;
        c.selectRecno(CleanupPage::Outgoing, 3); // "Smith", 555-0103
        auto seen = std::make_shared<QStringList>();
        onNext<TDeleteForConditions>([seen](TDeleteForConditions* d) {
            QCOMPARE(d->windowTitle(), QString("Delete Faxes Where...."));
            QVERIFY(!d->FaxFROM->isEnabled());
            QVERIFY(!d->FromRadio->isEnabled());
            QVERIFY(d->RecipientRadio->isChecked());
            QCOMPARE(d->FaxRECIPIENT->text(), QString("Smith"));
            QCOMPARE(d->FaxPHONE->text(), QString("555-0103"));
            QVERIFY(d->ExactMatch->isChecked());
            answerBoxes({Yes, Ok}, seen, d);
            d->OkButton->click();
        });
        c.form->DeleteByConditionsClick();
        QCOMPARE(*seen, (QStringList{"VERIFY DELETE|Are you sure you wish to delete all faxes matching this criteria?",
                                     "Information|2 deleted."}));
        QCOMPARE(test::deletedRecords(c.sent), (Set{3, 6}));

        // Partial, on the phone number this time.
        c.selectRecno(CleanupPage::Outgoing, 1);
        onNext<TDeleteForConditions>([seen](TDeleteForConditions* d) {
            d->PhoneRadio->setChecked(true);
            d->FaxPHONE->setText("-010");
            d->ExactMatch->setChecked(false);
            answerBoxes({Yes, Ok}, seen, d);
            d->OkButton->click();
        });
        c.form->DeleteByConditionsClick();
        QCOMPARE(test::deletedRecords(c.sent), (Set{1, 2, 3, 4, 5, 6, 7}));
    }

    void conditionsDialogRefusesABlankTextAndDeletesNothing() {
        Cleanup c;
        c.form->setActivePage(CleanupPage::Incoming);
        c.selectRecno(CleanupPage::Incoming, 2);
        auto seen = std::make_shared<QStringList>();
        auto stayed = std::make_shared<bool>(false);
        onNext<TDeleteForConditions>([seen, stayed](TDeleteForConditions* d) {
            QVERIFY(d->FromRadio->isChecked());
            QVERIFY(!d->FaxRECIPIENT->isEnabled());
            QVERIFY(!d->PhoneRadio->isEnabled());
            QCOMPARE(d->FaxFROM->text(), QString("ACME SALES"));
            d->FaxFROM->setText("   ");
            answerBoxes({Ok}, seen, d);
            d->OkButton->click();
            *stayed = d->isVisible();
            // Then a partial match on a text the user types.
            d->FaxFROM->setText(" acme ");
            d->ExactMatch->setChecked(false);
            answerBoxes({No}, seen, d);
            d->OkButton->click(); // "No" to the question keeps the dialog
            d->CancelButton->click();
        });
        c.form->DeleteByConditionsClick();
        QVERIFY(*stayed);
        QCOMPARE(*seen, (QStringList{"Information|Please enter a value",
                                     "VERIFY DELETE|Are you sure you wish to delete all faxes matching this criteria?"}));
        QVERIFY(test::deletedRecords(c.received).empty());
        QCOMPARE(test::filesLeft(c.dir()).size(), std::size_t(4));
        QVERIFY(!c.form->rebuildWanted());

        onNext<TDeleteForConditions>([seen](TDeleteForConditions* d) {
            d->FaxFROM->setText("acme");
            d->ExactMatch->setChecked(false);
            answerBoxes({Yes, Ok}, seen, d);
            d->OkButton->click();
        });
        c.form->DeleteByConditionsClick();
        QCOMPARE(test::deletedRecords(c.received), (Set{2, 3}));
    }

    void aBulkDeleteMatchingNothingLeavesTheRebuildFlag() {
        Cleanup c;
        auto seen = boxes({Yes, Ok});
        c.form->DeleteSentClick();
        c.form->clearRebuildWanted();
        seen = boxes({Yes, Ok});
        c.form->DeleteSentClick();
        QCOMPARE(seen->value(1), QString("Information|0 deleted."));
        QVERIFY(!c.form->rebuildWanted());
    }

    void rebuildWindowNamesEachStepAndClosesItself() {
        QTemporaryDir tmp;
        {
            faxlog::DbeEngine writer;
            test::writeKnownLog(writer, tmp.path().toStdString());
        }
        faxlog::DbeEngine e;
        TRebuildInd w(e, tmp.path().toStdString());
        QCOMPARE(w.windowTitle(), QString("Rebuild Indexes"));
        QTimer::singleShot(20000, &w, &QDialog::reject); // a guard only
        QCOMPARE(w.exec(), int(QDialog::Accepted));
        QCOMPARE(w.stepsShown().size(), kRebuildStepCount);
        QCOMPARE(w.stepsShown().front(), QString("Removing FAX file records marked for deletion"));
        QCOMPARE(w.stepsShown().back(), QString("Rebuilding COVER file indexes"));
        QVERIFY(w.result().problems.empty());
    }

    void mainWindowCleanupEndsInARebuildThatEmptiesTheFiles() {
        QTemporaryDir tmp;
        const std::filesystem::path dir = tmp.path().toStdString();
        {
            faxlog::DbeEngine writer;
            test::writeKnownLog(writer, dir);
        }
        app::LogDatabase db(dir);
        app::TMainScreen window(dir, [&db](app::LogKind k, const std::filesystem::path&) { return db.open(k); }, {});
        QCOMPARE(window.sentTable()->rowCount(), 7);
        onNext<TDMForm>([](TDMForm* f) {
            auto seen = std::make_shared<QStringList>();
            answerBoxes({Yes, Ok}, seen, f);
            f->DeleteUnsentClick();
            f->CloseButton->click();
        });
        window.FaxlogCleanup1Click();
        // The rebuild ran: the two unsent faxes are gone from the file, not just marked.
        QCOMPARE(window.sentTable()->rowCount(), 5);
        QCOMPARE(window.findChild<QTableView*>("FaxGrid")->model()->rowCount(), 5);
        QVERIFY(window.sentTable()->hasTag("DATEND"));
        std::ifstream in(dir / "PVN.DBF", std::ios::binary);
        unsigned char header[8] = {};
        in.read(reinterpret_cast<char*>(header), 8);
        QCOMPARE(int(header[4] | header[5] << 8), 5);
        QCOMPARE(window.receivedTable()->rowCount(), 4);

        // A cleanup that deletes nothing does not rebuild.
        const auto stamp = std::filesystem::last_write_time(dir / "PVNPB.CDX");
        onNext<TDMForm>([](TDMForm* f) { f->CloseButton->click(); });
        window.FaxlogCleanup1Click();
        QCOMPARE(std::filesystem::last_write_time(dir / "PVNPB.CDX"), stamp);
        QCOMPARE(window.sentTable()->rowCount(), 5);
    }
};

QTEST_MAIN(CleanupWindowTest)
#include "cleanup_window_test.moc"
