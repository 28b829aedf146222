// TStartingFaxForm: the "Starting Receive mode..." notice. It says to wait while receive
// mode starts, then that the program is in receive mode; it hides itself after 15 s,
// when clicked, or when a call is being answered.
#pragma once

#include <QDialog>

#include <chrono>

class QLabel;
class QPushButton;
class QTimer;

namespace workflow::receive {

class TStartingFaxForm : public QDialog {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kShowTime{15000};

    explicit TStartingFaxForm(QWidget* parent = nullptr);

    // "Please wait ..." with no button.
    void showStarting();
    // The three lines of receive mode and "Ok".
    void showReady();
    bool readyShown() const;

protected:
    void showEvent(QShowEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    bool eventFilter(QObject* watched, QEvent* e) override;

private:
    QWidget* StartingPanel = nullptr;
    QWidget* ReadyPanel = nullptr;
    QPushButton* okbutton = nullptr;
    QTimer* Timer1 = nullptr;
};

} // namespace workflow::receive
