// Answers modal dialogs from inside a test: the dialog's exec() blocks the test, so the
// answer is scheduled beforehand and runs from the dialog's own event loop.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>

namespace testing_support {

struct SeenBox {
    bool seen = false;
    QString title;
    QString text;
    QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
};

// Calls `act` with the next modal widget that shows up within `timeoutMs`.
inline void onNextModal(std::function<void(QWidget*)> act, int timeoutMs = 5000) {
    auto* timer = new QTimer(qApp);
    auto remaining = std::make_shared<int>(timeoutMs / 10);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, act, remaining] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            act(modal);
        } else if (--*remaining <= 0) {
            timer->stop();
            timer->deleteLater();
        }
    });
    timer->start();
}

// Answers the next message box with `button` and records what it said.
inline std::shared_ptr<SeenBox> answerNextBox(QMessageBox::StandardButton button,
                                              int timeoutMs = 5000) {
    auto seen = std::make_shared<SeenBox>();
    onNextModal(
        [seen, button](QWidget* w) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box)
                return;
            seen->seen = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            seen->icon = box->icon();
            if (auto* def = box->defaultButton())
                seen->defaultButton = box->standardButton(def);
            if (QAbstractButton* b = box->button(button))
                b->click();
            else
                box->done(button);
        },
        timeoutMs);
    return seen;
}

} // namespace testing_support
