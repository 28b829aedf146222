#include "preferences_wizard.h"

#include "port_choice.h"
#include "radio_group.h"
#include "faxengine/live_flags.h"
#include "workflow/printing/page_sink.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSoundEffect>
#include <QStackedWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace preferences {

namespace {

// Help pages: the introduction, the modem page, sending, receiving.
constexpr int kHelpIntro = 1022;
constexpr int kHelpModem = 3501;
constexpr int kHelpSending = 3502;
constexpr int kHelpReceiving = 3503;

constexpr int kLastPage = kPageCount - 1;
constexpr int kRings = 8;
constexpr int kDefaultFaxClass = int(settings::StoredFaxClass::Class1);

const QStringList kFaxClassItems = {QStringLiteral("Auto detect"), QStringLiteral("Class 1"),
                                    QStringLiteral("Class 2"), QStringLiteral("Class 2.0")};
const QStringList kRateItems = {QStringLiteral("2400"),  QStringLiteral("4800"),  QStringLiteral("7200"),
                                QStringLiteral("9600"),  QStringLiteral("12000"), QStringLiteral("14400")};

QString q(const std::string& s) { return QString::fromStdString(s); }
std::string s8(const QString& s) { return s.toStdString(); }

QPushButton* makeButton(const char* name, const QString& caption, QWidget* parent) {
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

QLabel* note(const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setWordWrap(true);
    return label;
}

QGroupBox* section(const QString& title, QWidget* parent) {
    auto* box = new QGroupBox(title, parent);
    new QVBoxLayout(box);
    return box;
}

QVBoxLayout* boxLayout(QGroupBox* box) { return static_cast<QVBoxLayout*>(box->layout()); }

QHBoxLayout* row(std::initializer_list<QWidget*> widgets, bool stretch = true) {
    auto* r = new QHBoxLayout;
    for (QWidget* w : widgets)
        r->addWidget(w);
    if (stretch)
        r->addStretch();
    return r;
}

template <typename T>
T* named(T* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

QComboBox* rateList(const char* name, QWidget* parent) {
    auto* list = named(new QComboBox(parent), name);
    list->addItems(kRateItems);
    return list;
}

// An index the group does not have shows (and so stores) the default instead.
void setChoice(RadioGroup* group, int index, int fallback) {
    group->setItemIndex(index >= 0 && index < group->count() ? index : fallback);
}

} // namespace

int helpContextForPage(int page) {
    if (page <= 0)
        return kHelpIntro;
    if (page == 1)
        return kHelpModem;
    return page <= 4 ? kHelpSending : kHelpReceiving;
}

TPreferences::TPreferences(PreferencesServices services, QWidget* parent)
    : QDialog(parent), services_(std::move(services)) {
    setObjectName(QStringLiteral("TPreferences"));
    setWindowTitle(QStringLiteral("Preferences Wizard"));

    PageCombo = named(new QComboBox(this), "PageCombo");
    for (const char* title : kPageTitles)
        PageCombo->addItem(QString::fromLatin1(title));
    PageLabel = named(new QLabel(this), "PageLabel");
    QFont big = PageLabel->font();
    big.setBold(true);
    big.setPointSizeF(big.pointSizeF() * 1.3);
    PageLabel->setFont(big);

    Pages = named(new QStackedWidget(this), "Pages");
    for (QWidget* page : {buildIntroPage(), buildModemPage(), buildSendingPage1(), buildSendingPage2(),
                          buildSendingPage3(), buildReceivingPage1(), buildReceivingPage2(), buildReceivingPage3()})
        Pages->addWidget(page);

    BackButton = makeButton("BackButton", QStringLiteral("< &Back"), this);
    NextButton = makeButton("NextButton", QStringLiteral("&Next >"), this);
    FinishButton = makeButton("FinishButton", QStringLiteral("&Finish"), this);
    CancelButton = makeButton("CancelButton", QStringLiteral("Cance&l"), this);
    HelpButton = makeButton("HelpButton", QStringLiteral("&Help"), this);
    ProblemSolverButton = makeButton("ProblemSolverButton", QStringLiteral("Problem Solver"), this);

    auto* top = new QHBoxLayout;
    auto* pageCaption = new QLabel(QStringLiteral("&Page:"), this);
    pageCaption->setBuddy(PageCombo);
    top->addWidget(pageCaption);
    top->addWidget(PageCombo, 1);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(HelpButton);
    bottom->addWidget(ProblemSolverButton);
    bottom->addStretch();
    for (QPushButton* b : {BackButton, NextButton, FinishButton, CancelButton})
        bottom->addWidget(b);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(PageLabel);
    layout->addWidget(Pages, 1);
    layout->addLayout(bottom);
    layout->setSizeConstraint(QLayout::SetMinimumSize);
    setMinimumWidth(fontMetrics().averageCharWidth() * 80);

    connect(PageCombo, &QComboBox::activated, this, [this](int index) { goToPage(index); });
    connect(BackButton, &QPushButton::clicked, this, &TPreferences::BackButtonClick);
    connect(NextButton, &QPushButton::clicked, this, &TPreferences::NextButtonClick);
    connect(FinishButton, &QPushButton::clicked, this, &TPreferences::FinishButtonClick);
    connect(CancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(HelpButton, &QPushButton::clicked, this, &TPreferences::HelpButtonClick);
    connect(ProblemSolverButton, &QPushButton::clicked, this, &TPreferences::ProblemSolverButtonClick);

    const DiagnosticsHooks& d = services_.diagnostics;
    FindModemButton->setEnabled(bool(d.findModem));
    CheckFaxClassButton->setEnabled(bool(d.checkFaxClass));
    CheckFaxClassReceiveButton->setEnabled(bool(d.checkFaxClass));
    InitHelpButton->setEnabled(bool(d.initStringHelper));
    InitHelpReceiveButton->setEnabled(bool(d.initStringHelper));
    ProblemSolverButton->setEnabled(bool(d.problemSolver));
    HelpButton->setEnabled(bool(services_.help));

    fillPrinterList();
    goToPage(0);
}

TPreferences::~TPreferences() = default;

QWidget* TPreferences::buildIntroPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(note(QStringLiteral(
        "This wizard takes you through the settings of Parvane: the modem and the port it is "
        "connected to, sending faxes, and receiving faxes.\n\n"
        "Use Next > and < Back to go from page to page, or choose a page from the list above. "
        "The numbers of the settings are the ones the Problem Solver refers to.\n\n"
        "Click Finish to save your changes, or Cancel to leave everything as it was."), page));
    FirstRunLabel = named(note(QString::fromLatin1(kFirstRunNote), page), "FirstRunLabel");
    QFont bold = FirstRunLabel->font();
    bold.setBold(true);
    FirstRunLabel->setFont(bold);
    FirstRunLabel->setVisible(false);
    layout->addSpacing(fontMetrics().height());
    layout->addWidget(FirstRunLabel);
    layout->addStretch();
    return page;
}

QWidget* TPreferences::buildModemPage() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* port = section(QStringLiteral("1. Communications Port"), page);
    ComPort = named(new QComboBox(port), "ComPort");
    FindModemButton = makeButton("FindModemButton", QStringLiteral("Find Modem Port"), port);
    boxLayout(port)->addWidget(note(QStringLiteral("The port your fax modem is connected to. A port that names no "
                                                   "device in the [Ports] section of PVN.INI uses the built-in "
                                                   "virtual fax line."),
                                    port));
    boxLayout(port)->addLayout(row({ComPort, FindModemButton}));
    layout->addWidget(port);

    ToneOrPulse = named(new RadioGroup(QStringLiteral("2. Dialing"), {QStringLiteral("Tone"), QStringLiteral("Pulse")},
                                       Qt::Horizontal, page),
                        "ToneOrPulse");
    layout->addWidget(ToneOrPulse);

    auto* reset = section(QStringLiteral("3. Modem Reset Strings"), page);
    ResetString = named(new QLineEdit(reset), "ResetString");
    ResetAfterString = named(new QLineEdit(reset), "ResetAfterString");
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Before each fax:"), ResetString);
    form->addRow(QStringLiteral("After each fax:"), ResetAfterString);
    boxLayout(reset)->addWidget(note(QStringLiteral("Usually AT&F before and ATZ after each fax, or leave them blank."), reset));
    boxLayout(reset)->addLayout(form);
    layout->addWidget(reset);

    chkSM56 = named(new QCheckBox(QStringLiteral("My modem needs the alternative serial technique (a few soft modems do)"), page),
                    "chkSM56");
    // The serial layer reads this at once, before anything is saved.
    connect(chkSM56, &QCheckBox::toggled, this, [](bool on) { faxengine::setUseSm56Fix(on); });
    layout->addWidget(chkSM56);
    layout->addStretch();

    connect(FindModemButton, &QPushButton::clicked, this, &TPreferences::FindModemButtonClick);
    return page;
}

QWidget* TPreferences::buildSendingPage1() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    FaxClass = named(new RadioGroup(QStringLiteral("4. Fax Class for Sending"), kFaxClassItems, Qt::Horizontal, page),
                     "FaxClass");
    CheckFaxClassButton = makeButton("CheckFaxClassButton", QStringLiteral("Check Fax Class"), FaxClass);
    static_cast<QBoxLayout*>(FaxClass->layout())->addWidget(CheckFaxClassButton);
    layout->addWidget(FaxClass);

    auto* rate = section(QStringLiteral("5. Highest Transfer Rate for Sending"), page);
    TransferRate = rateList("TransferRate", rate);
    boxLayout(rate)->addLayout(row({TransferRate, new QLabel(QStringLiteral("bits per second"), rate)}));
    layout->addWidget(rate);

    auto* init = section(QStringLiteral("6. Modem Initialization String for Sending"), page);
    ModemInit = named(new QLineEdit(init), "ModemInit");
    InitHelpButton = makeButton("InitHelpButton", QStringLiteral("Help with Init Strings"), init);
    boxLayout(init)->addWidget(note(QStringLiteral("Sent to the modem before its usual set-up. Usually blank."), init));
    auto* r = new QHBoxLayout;
    r->addWidget(ModemInit, 1);
    r->addWidget(InitHelpButton);
    boxLayout(init)->addLayout(r);
    layout->addWidget(init);
    layout->addStretch();

    connect(CheckFaxClassButton, &QPushButton::clicked, this, [this] { CheckFaxClassClick(true); });
    connect(InitHelpButton, &QPushButton::clicked, this, [this] { InitHelpClick(true); });
    return page;
}

QWidget* TPreferences::buildSendingPage2() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* user = section(QStringLiteral("7. Your Name and Fax Number"), page);
    Name = named(new QLineEdit(user), "Name");
    Name->setMaxLength(35);
    FaxNumber = named(new QLineEdit(user), "FaxNumber");
    FaxNumber->setMaxLength(20);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Name:"), Name);
    form->addRow(QStringLiteral("Fax number:"), FaxNumber);
    boxLayout(user)->addLayout(form);
    boxLayout(user)->addWidget(note(QStringLiteral("The fax number is sent as your station identifier; some older fax "
                                                   "machines accept digits only."),
                                    user));
    layout->addWidget(user);

    auto* ecm = section(QStringLiteral("8. Error Correction"), page);
    UseECM = named(new QCheckBox(QStringLiteral("Use error correction (ECM) when sending"), ecm), "UseECM");
    boxLayout(ecm)->addWidget(UseECM);
    layout->addWidget(ecm);

    auto* prefix = section(QStringLiteral("9. Dial Prefix"), page);
    DialPrefix = named(new QLineEdit(prefix), "DialPrefix");
    boxLayout(prefix)->addWidget(note(QStringLiteral("Dialled before every fax number, e.g. 9 for an outside line."), prefix));
    boxLayout(prefix)->addWidget(DialPrefix);
    layout->addWidget(prefix);

    auto* suffix = section(QStringLiteral("10. Dial Suffix"), page);
    DialSuffix = named(new QLineEdit(suffix), "DialSuffix");
    boxLayout(suffix)->addWidget(note(QStringLiteral("Dialled after every fax number."), suffix));
    boxLayout(suffix)->addWidget(DialSuffix);
    layout->addWidget(suffix);
    layout->addStretch();
    return page;
}

QWidget* TPreferences::buildSendingPage3() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* attempts = section(QStringLiteral("11. Dial Attempts"), page);
    DialAttempts = named(new QLineEdit(attempts), "DialAttempts");
    RetryWait = named(new QLineEdit(attempts), "RetryWait");
    for (QLineEdit* e : {DialAttempts, RetryWait}) {
        e->setValidator(new QIntValidator(0, 9999, e));
        e->setMaximumWidth(fontMetrics().averageCharWidth() * 10);
    }
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Dial attempts per fax:"), DialAttempts);
    form->addRow(QStringLiteral("Seconds between attempts:"), RetryWait);
    boxLayout(attempts)->addLayout(form);
    layout->addWidget(attempts);

    auto* options = section(QStringLiteral("Dialing Options"), page);
    RenegotiateBetween = named(new QCheckBox(QStringLiteral("12. Renegotiate between pages"), options), "RenegotiateBetween");
    CheckBlindDial = named(new QCheckBox(QStringLiteral("13. Blind dial (do not wait for a dial tone)"), options),
                           "CheckBlindDial");
    CheckIgnoreBusy = named(new QCheckBox(QStringLiteral("14. Ignore busy signals"), options), "CheckIgnoreBusy");
    for (QCheckBox* c : {RenegotiateBetween, CheckBlindDial, CheckIgnoreBusy})
        boxLayout(options)->addWidget(c);
    layout->addWidget(options);
    layout->addStretch();
    return page;
}

QWidget* TPreferences::buildReceivingPage1() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);
    const auto sameAsSend = [](const char* name, QWidget* parent) {
        return makeButton(name, QStringLiteral("Same as SEND"), parent);
    };

    FaxClassReceive = named(
        new RadioGroup(QStringLiteral("15. Fax Class for Receiving"), kFaxClassItems, Qt::Horizontal, page),
        "FaxClassReceive");
    SameClassButton = sameAsSend("SameClassButton", FaxClassReceive);
    CheckFaxClassReceiveButton = makeButton("CheckFaxClassReceiveButton", QStringLiteral("Check Fax Class"), FaxClassReceive);
    auto* classLayout = static_cast<QBoxLayout*>(FaxClassReceive->layout());
    classLayout->addSpacing(fontMetrics().averageCharWidth() * 2);
    classLayout->addWidget(SameClassButton);
    classLayout->addWidget(CheckFaxClassReceiveButton);
    layout->addWidget(FaxClassReceive);

    auto* rate = section(QStringLiteral("16. Highest Transfer Rate for Receiving"), page);
    TransferRateReceive = rateList("TransferRateReceive", rate);
    SameRateButton = sameAsSend("SameRateButton", rate);
    boxLayout(rate)->addLayout(row({TransferRateReceive, new QLabel(QStringLiteral("bits per second"), rate), SameRateButton}));
    layout->addWidget(rate);

    auto* init = section(QStringLiteral("17. Modem Initialization String for Receiving"), page);
    ModemInitReceive = named(new QLineEdit(init), "ModemInitReceive");
    SameInitButton = sameAsSend("SameInitButton", init);
    InitHelpReceiveButton = makeButton("InitHelpReceiveButton", QStringLiteral("Help With Init Strings"), init);
    boxLayout(init)->addWidget(ModemInitReceive);
    boxLayout(init)->addLayout(row({SameInitButton, InitHelpReceiveButton}));
    layout->addWidget(init);
    layout->addStretch();

    connect(SameClassButton, &QPushButton::clicked, this, [this] { FaxClassReceive->setItemIndex(FaxClass->itemIndex()); });
    connect(SameRateButton, &QPushButton::clicked, this,
            [this] { TransferRateReceive->setCurrentIndex(TransferRate->currentIndex()); });
    connect(SameInitButton, &QPushButton::clicked, this, [this] { ModemInitReceive->setText(ModemInit->text()); });
    connect(CheckFaxClassReceiveButton, &QPushButton::clicked, this, [this] { CheckFaxClassClick(false); });
    connect(InitHelpReceiveButton, &QPushButton::clicked, this, [this] { InitHelpClick(false); });
    return page;
}

QWidget* TPreferences::buildReceivingPage2() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* ring = section(QStringLiteral("18. Answer On Ring"), page);
    AnswerOnRing = named(new QComboBox(ring), "AnswerOnRing");
    for (int n = 1; n <= kRings; ++n)
        AnswerOnRing->addItem(QString::number(n));
    boxLayout(ring)->addLayout(row({new QLabel(QStringLiteral("Answer incoming calls on ring"), ring), AnswerOnRing}));
    layout->addWidget(ring);

    auto* start = section(QStringLiteral("19. Receive at Start-up"), page);
    ReceiveAtStartup = named(new QCheckBox(QStringLiteral("Start receiving faxes when the program starts"), start),
                             "ReceiveAtStartup");
    boxLayout(start)->addWidget(ReceiveAtStartup);
    layout->addWidget(start);

    auto* ecm = section(QStringLiteral("20. Error Correction"), page);
    UseECMReceive = named(new QCheckBox(QStringLiteral("Use error correction (ECM) when receiving"), ecm), "UseECMReceive");
    boxLayout(ecm)->addWidget(UseECMReceive);
    layout->addWidget(ecm);
    layout->addStretch();
    return page;
}

QWidget* TPreferences::buildReceivingPage3() {
    auto* page = new QWidget;
    auto* layout = new QVBoxLayout(page);

    auto* sound = section(QStringLiteral("21. Sound When a Fax Arrives"), page);
    WaveFileEdit = named(new QLineEdit(sound), "WaveFileEdit");
    ChooseButton = makeButton("ChooseButton", QStringLiteral("&Choose"), sound);
    PlayButton = makeButton("PlayButton", QStringLiteral("Play &Now"), sound);
    NoneButton = makeButton("NoneButton", QStringLiteral("None"), sound);
    boxLayout(sound)->addWidget(note(QStringLiteral("A WAVE file played when a fax has been received; empty for none."), sound));
    boxLayout(sound)->addWidget(WaveFileEdit);
    boxLayout(sound)->addLayout(row({ChooseButton, PlayButton, NoneButton}));
    layout->addWidget(sound);

    auto* print = section(QStringLiteral("22. Print on Receipt"), page);
    PrintFaxOnReceipt = named(new QCheckBox(QStringLiteral("Print each fax as soon as it is received"), print),
                              "PrintFaxOnReceipt");
    PrintFaxOnReceiptPrinter = named(new QComboBox(print), "PrintFaxOnReceiptPrinter");
    PrintFaxOnReceiptPrinter->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    boxLayout(print)->addWidget(PrintFaxOnReceipt);
    boxLayout(print)->addLayout(row({new QLabel(QStringLiteral("Printer:"), print), PrintFaxOnReceiptPrinter}));
    layout->addWidget(print);
    layout->addStretch();

    connect(ChooseButton, &QPushButton::clicked, this, &TPreferences::ChooseWaveClick);
    connect(PlayButton, &QPushButton::clicked, this, &TPreferences::PlayWaveClick);
    connect(NoneButton, &QPushButton::clicked, WaveFileEdit, &QLineEdit::clear);
    return page;
}

void TPreferences::fillPrinterList() {
    const QStringList names =
        services_.printerNames ? services_.printerNames() : workflow::printing::availablePrinterNames();
    PrintFaxOnReceiptPrinter->clear();
    // The first item stands for whatever the system's default printer is at the time.
    PrintFaxOnReceiptPrinter->addItem(QString::fromLatin1(kDefaultPrinterCaption),
                                      QString::fromLatin1(settings::kDefaultPrinterText));
    for (const QString& name : names)
        PrintFaxOnReceiptPrinter->addItem(name, name);
}

void TPreferences::setFirstRun(bool on) {
    firstRun_ = on;
    FirstRunLabel->setVisible(on);
    updateButtons();
}

void TPreferences::loadFrom(const settings::Settings& s) {
    shown_ = s;
    const auto& m = s.modem;
    fillPortList(ComPort, s);
    selectStoredPort(ComPort, m.comPort);
    setChoice(ToneOrPulse, s.dialing.toneOrPulse, 0);
    ResetString->setText(q(s.resetting.string));
    ResetAfterString->setText(q(s.resetting.afterString));
    {
        // Showing the stored value is not the user ticking the box.
        const QSignalBlocker quiet(chkSM56);
        chkSM56->setChecked(s.other.useMotorolaSm56Fix);
    }

    setChoice(FaxClass, m.faxClass, kDefaultFaxClass);
    TransferRate->setCurrentIndex(settings::rateIndexFromBps(m.maximumBps));
    ModemInit->setText(q(m.initString));

    Name->setText(q(s.user.name));
    FaxNumber->setText(q(s.user.fax));
    UseECM->setChecked(s.dialing.ecm);
    DialPrefix->setText(q(s.dialing.dialPrefix));
    DialSuffix->setText(q(s.dialing.dialSuffix));

    DialAttempts->setText(QString::number(s.dialing.dialAttempts));
    RetryWait->setText(QString::number(s.dialing.retryWait));
    CheckBlindDial->setChecked(s.dialing.blindDial);
    CheckIgnoreBusy->setChecked(s.dialing.ignoreBusy);
    RenegotiateBetween->setChecked(m.renegotiateBetween);

    setChoice(FaxClassReceive, m.faxClassReceive, kDefaultFaxClass);
    TransferRateReceive->setCurrentIndex(settings::rateIndexFromBps(m.maximumBpsReceive));
    ModemInitReceive->setText(q(m.initStringReceive));

    const auto& r = s.receive;
    // A ring outside 1..8 would store 0, which is "never answer" to a modem.
    AnswerOnRing->setCurrentIndex(r.answerOnRing >= 1 && r.answerOnRing <= kRings ? r.answerOnRing - 1 : 0);
    ReceiveAtStartup->setChecked(r.atStartup);
    UseECMReceive->setChecked(r.ecmReceive);

    WaveFileEdit->setText(q(r.wav));
    PrintFaxOnReceipt->setChecked(r.printOnReceipt);
    const int printer = PrintFaxOnReceiptPrinter->findData(q(r.printOnReceiptPrinter));
    PrintFaxOnReceiptPrinter->setCurrentIndex(printer >= 0 ? printer : 0);
}

settings::Settings TPreferences::storeInto(settings::Settings s) const {
    auto& m = s.modem;
    m.comPort = ComPort->currentData().toInt();
    // A group with no choice (nothing loaded yet) keeps the record's value.
    const auto chosen = [](const RadioGroup* group, int current) {
        return group->itemIndex() >= 0 ? group->itemIndex() : current;
    };
    s.dialing.toneOrPulse = chosen(ToneOrPulse, s.dialing.toneOrPulse);
    s.resetting.string = s8(ResetString->text());
    s.resetting.afterString = s8(ResetAfterString->text());
    s.other.useMotorolaSm56Fix = chkSM56->isChecked();

    m.faxClass = chosen(FaxClass, m.faxClass);
    m.maximumBps = settings::bpsFromRateIndex(TransferRate->currentIndex());
    m.initString = s8(ModemInit->text());

    s.user.name = s8(Name->text());
    s.user.fax = s8(FaxNumber->text());
    s.dialing.ecm = UseECM->isChecked();
    s.dialing.dialPrefix = s8(DialPrefix->text());
    s.dialing.dialSuffix = s8(DialSuffix->text());

    // Checked by integerFieldsValid() before the wizard may close as accepted.
    bool ok = false;
    if (const int n = DialAttempts->text().trimmed().toInt(&ok); ok)
        s.dialing.dialAttempts = n;
    if (const int n = RetryWait->text().trimmed().toInt(&ok); ok)
        s.dialing.retryWait = n;
    s.dialing.blindDial = CheckBlindDial->isChecked();
    s.dialing.ignoreBusy = CheckIgnoreBusy->isChecked();
    m.renegotiateBetween = RenegotiateBetween->isChecked();

    m.faxClassReceive = chosen(FaxClassReceive, m.faxClassReceive);
    m.maximumBpsReceive = settings::bpsFromRateIndex(TransferRateReceive->currentIndex());
    m.initStringReceive = s8(ModemInitReceive->text());

    auto& r = s.receive;
    r.answerOnRing = AnswerOnRing->currentIndex() + 1;
    r.atStartup = ReceiveAtStartup->isChecked();
    r.ecmReceive = UseECMReceive->isChecked();
    r.wav = s8(WaveFileEdit->text());
    r.printOnReceipt = PrintFaxOnReceipt->isChecked();
    r.printOnReceiptPrinter = s8(PrintFaxOnReceiptPrinter->currentData().toString());
    return s;
}

int TPreferences::currentPage() const { return Pages->currentIndex(); }

void TPreferences::goToPage(int page) {
    page = std::clamp(page, 0, kLastPage);
    Pages->setCurrentIndex(page);
    {
        const QSignalBlocker quiet(PageCombo);
        PageCombo->setCurrentIndex(page);
    }
    PageLabel->setText(QString::fromLatin1(kPageTitles[size_t(page)]));
    updateButtons();
}

void TPreferences::updateButtons() {
    const int page = currentPage();
    BackButton->setEnabled(page > 0);
    NextButton->setEnabled(page < kLastPage);
    // A first run goes through every page before it can finish.
    FinishButton->setEnabled(!firstRun_ || page == kLastPage);
}

void TPreferences::BackButtonClick() { goToPage(currentPage() - 1); }

void TPreferences::NextButtonClick() { goToPage(currentPage() + 1); }

bool TPreferences::integerFieldsValid() {
    for (QLineEdit* field : {DialAttempts, RetryWait}) {
        bool ok = false;
        field->text().trimmed().toInt(&ok);
        if (ok)
            continue;
        goToPage(4);
        field->setFocus();
        field->selectAll();
        QMessageBox::critical(this, windowTitle(),
                              QStringLiteral("'%1' is not a valid integer value").arg(field->text()));
        return false;
    }
    return true;
}

void TPreferences::FinishButtonClick() {
    if (!FinishButton->isEnabled())
        return;
    // Checked before the question, so that a refused value never half-updates the record.
    if (!integerFieldsValid())
        return;
    if (askYesNo(this, QStringLiteral("Save changes?"), QStringLiteral("Save Preferences")))
        accept();
}

void TPreferences::HelpButtonClick() {
    if (services_.help)
        services_.help(helpContextForPage(currentPage()));
}

void TPreferences::ProblemSolverButtonClick() {
    if (services_.diagnostics.problemSolver)
        services_.diagnostics.problemSolver(this);
}

void TPreferences::FindModemButtonClick() {
    findModemPort(this, ComPort, services_.diagnostics, storeInto(shown_));
}

void TPreferences::CheckFaxClassClick(bool sending) {
    const auto& check = services_.diagnostics.checkFaxClass;
    if (!check)
        return;
    const FaxClassAdvice advice = check(this, storeInto(shown_), ComPort->currentIndex() + 1);
    if (advice.classIndex < 0 || advice.classIndex + 1 >= FaxClass->count())
        return;
    // Each page's button sets the class shown on its own page.
    RadioGroup* target = sending ? FaxClass : FaxClassReceive;
    const int item = advice.classIndex + 1;
    if (target->itemIndex() == item)
        return;
    if (askYesNo(this, QStringLiteral("Set fax class as %1 ?").arg(advice.name), QStringLiteral("Fax Class")))
        target->setItemIndex(item);
}

void TPreferences::InitHelpClick(bool sending) {
    const auto& helper = services_.diagnostics.initStringHelper;
    if (!helper)
        return;
    QLineEdit* field = sending ? ModemInit : ModemInitReceive;
    field->setText(helper(this, field->text(), sending));
}

void TPreferences::ChooseWaveClick() {
    const QString current = WaveFileEdit->text();
    const QString preselect = QFileInfo::exists(current) ? current : QString();
    QString chosen;
    if (services_.chooseWaveFile)
        chosen = services_.chooseWaveFile(this, services_.programDir, preselect);
    else
        chosen = QFileDialog::getOpenFileName(this, QStringLiteral("Choose a sound"),
                                              preselect.isEmpty() ? services_.programDir : preselect,
                                              QStringLiteral("WAVE files (*.wav)"));
    if (chosen.toUpper().contains(QStringLiteral(".WAV")))
        WaveFileEdit->setText(chosen);
}

void TPreferences::PlayWaveClick() {
    const QString file = WaveFileEdit->text();
    if (file.isEmpty() || !QFileInfo(file).isFile())
        return;
    lastPlayed_ = file;
    if (services_.playSound) {
        services_.playSound(file);
        return;
    }
    if (!sound_)
        sound_ = std::make_unique<QSoundEffect>();
    sound_->setSource(QUrl::fromLocalFile(file));
    sound_->play();
}

bool runPreferencesWizard(QWidget* parent, settings::Settings& record, const std::filesystem::path& programDir,
                          bool& firstRun, const PreferencesServices& services,
                          const std::function<void(QWidget*)>& centre) {
    TPreferences wizard(services, parent);
    wizard.setFirstRun(firstRun);
    firstRun = false;
    wizard.loadFrom(record);
    if (centre)
        centre(&wizard);
    if (wizard.exec() != QDialog::Accepted) {
        // The modem-model box acts at once; a cancelled wizard takes that back too.
        faxengine::setUseSm56Fix(record.other.useMotorolaSm56Fix);
        return false;
    }
    record = wizard.storeInto(record);
    try {
        settings::saveSettings(record, programDir);
    } catch (const std::exception& e) {
        QMessageBox::warning(parent, QStringLiteral("Save Preferences"),
                             QStringLiteral("The settings could not be saved:\n") + QString::fromLocal8Bit(e.what()));
    }
    return true;
}

} // namespace preferences
