// TPreferences: the eight-page preferences wizard. It shows a copy of the settings
// record, lets the user walk or jump through the pages, and on Finish hands the edited
// values back; nothing reaches the record before the user has accepted.
#pragma once

#include "preferences_hooks.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSoundEffect;
class QStackedWidget;

namespace preferences {

class RadioGroup;

inline constexpr int kPageCount = 8;
inline constexpr std::array<const char*, kPageCount> kPageTitles = {
    "Wizard Information",         "Modem and Communications Port", "Sending Faxes - Part 1",
    "Sending Faxes - Part 2",     "Sending Faxes - Part 3",        "Receiving Faxes - Part 1",
    "Receiving Faxes - Part 2",   "Receiving Faxes - Part 3"};
// Help context of each page.
int helpContextForPage(int page);

inline constexpr const char* kFirstRunNote =
    "While the default settings will work for most people, be sure to verify that the "
    "COMMUNICATIONS PORT and FAX CLASS settings are correct before continuing to use the program.";
inline constexpr const char* kDefaultPrinterCaption = "Default printer";

class TPreferences : public QDialog {
    Q_OBJECT
public:
    explicit TPreferences(PreferencesServices services, QWidget* parent = nullptr);
    ~TPreferences() override;

    // Before showing: whether this is the first run, and the record to show.
    void setFirstRun(bool on);
    bool firstRunMode() const { return firstRun_; }
    void loadFrom(const settings::Settings& s);
    // The record with the controls' values put in; keys the wizard does not edit keep
    // the values of `base`.
    settings::Settings storeInto(settings::Settings base) const;

    int currentPage() const;
    void goToPage(int page);

    // Button handlers.
    void BackButtonClick();
    void NextButtonClick();
    void FinishButtonClick();
    void HelpButtonClick();
    void ProblemSolverButtonClick();
    void FindModemButtonClick();
    void CheckFaxClassClick(bool sending);
    void InitHelpClick(bool sending);
    void ChooseWaveClick();
    void PlayWaveClick();

    // The sound last started by Play Now (empty when none), for checks.
    QString lastPlayedSound() const { return lastPlayed_; }

private:
    QWidget* buildIntroPage();
    QWidget* buildModemPage();
    QWidget* buildSendingPage1();
    QWidget* buildSendingPage2();
    QWidget* buildSendingPage3();
    QWidget* buildReceivingPage1();
    QWidget* buildReceivingPage2();
    QWidget* buildReceivingPage3();
    void updateButtons();
    void fillPrinterList();
    // Dial attempts and seconds between them must be whole numbers; false (after saying
    // so and showing the field) when one is not.
    bool integerFieldsValid();

    PreferencesServices services_;
    bool firstRun_ = false;
    settings::Settings shown_; // what loadFrom() was given: [Ports] and keys without a control
    QString lastPlayed_;
    std::unique_ptr<QSoundEffect> sound_;

    // Frame.
    QComboBox* PageCombo = nullptr;
    QLabel* PageLabel = nullptr;
    QStackedWidget* Pages = nullptr;
    QPushButton* BackButton = nullptr;
    QPushButton* NextButton = nullptr;
    QPushButton* FinishButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QPushButton* HelpButton = nullptr;
    QPushButton* ProblemSolverButton = nullptr;

    // Page 1.
    QLabel* FirstRunLabel = nullptr;
    // Page 2.
    QComboBox* ComPort = nullptr;
    RadioGroup* ToneOrPulse = nullptr;
    QLineEdit* ResetString = nullptr;
    QLineEdit* ResetAfterString = nullptr;
    QCheckBox* chkSM56 = nullptr;
    QPushButton* FindModemButton = nullptr;
    // Page 3.
    RadioGroup* FaxClass = nullptr;
    QComboBox* TransferRate = nullptr;
    QLineEdit* ModemInit = nullptr;
    QPushButton* CheckFaxClassButton = nullptr;
    QPushButton* InitHelpButton = nullptr;
    // Page 4.
    QLineEdit* Name = nullptr;
    QLineEdit* FaxNumber = nullptr;
    QCheckBox* UseECM = nullptr;
    QLineEdit* DialPrefix = nullptr;
    QLineEdit* DialSuffix = nullptr;
    // Page 5.
    QLineEdit* DialAttempts = nullptr;
    QLineEdit* RetryWait = nullptr;
    QCheckBox* CheckBlindDial = nullptr;
    QCheckBox* CheckIgnoreBusy = nullptr;
    QCheckBox* RenegotiateBetween = nullptr;
    // Page 6.
    RadioGroup* FaxClassReceive = nullptr;
    QComboBox* TransferRateReceive = nullptr;
    QLineEdit* ModemInitReceive = nullptr;
    QPushButton* SameClassButton = nullptr;
    QPushButton* SameRateButton = nullptr;
    QPushButton* SameInitButton = nullptr;
    QPushButton* CheckFaxClassReceiveButton = nullptr;
    QPushButton* InitHelpReceiveButton = nullptr;
    // Page 7.
    QComboBox* AnswerOnRing = nullptr;
    QCheckBox* ReceiveAtStartup = nullptr;
    QCheckBox* UseECMReceive = nullptr;
    // Page 8.
    QLineEdit* WaveFileEdit = nullptr;
    QPushButton* ChooseButton = nullptr;
    QPushButton* PlayButton = nullptr;
    QPushButton* NoneButton = nullptr;
    QCheckBox* PrintFaxOnReceipt = nullptr;
    QComboBox* PrintFaxOnReceiptPrinter = nullptr;
};

// Runs the wizard over `record`: takes over and clears `firstRun`, and on acceptance puts
// the edited values into the record and saves it to PVN.INI. True when accepted. A
// cancelled wizard leaves the record (and the live flags) as they were.
bool runPreferencesWizard(QWidget* parent, settings::Settings& record, const std::filesystem::path& programDir,
                          bool& firstRun, const PreferencesServices& services,
                          const std::function<void(QWidget*)>& centre = {});

} // namespace preferences
