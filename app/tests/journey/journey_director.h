// Answers the windows a journey opens, as the user would: each expected window gets the
// steps written for it once it is the active modal window; message boxes nobody expected
// are recorded (and answered with their default button) so a step can say nothing else
// was asked.
#pragma once

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <functional>
#include <list>

namespace journey {

class Director {
public:
    using Match = std::function<bool(QWidget*)>;
    using Act = std::function<void(QWidget*)>;

    Director() {
        timer_.setInterval(20);
        QObject::connect(&timer_, &QTimer::timeout, [this] { look(); });
        timer_.start();
    }

    // The next window of class `name` (without its namespace) gets `act`.
    void expect(const QString& name, Act act) {
        expectAny(
            [name](QWidget* w) {
                const QString cls = QString::fromLatin1(w->metaObject()->className());
                return cls == name || cls.endsWith(QStringLiteral("::") + name);
            },
            std::move(act), name);
    }
    void expectAny(Match match, Act act, const QString& name = QStringLiteral("(a dialog)")) {
        pending_.push_back({std::move(match), std::move(act), name});
    }
    // Windows of class `name` are the step's own business (it drives them through the
    // program's hooks): never answered or closed here.
    void tolerate(const QString& name) { tolerated_ << name; }

    // True when every expected window came and was handled.
    bool allDone() const { return pending_.empty(); }
    QStringList missing() const {
        QStringList l;
        for (const auto& p : pending_)
            l << p.name;
        return l;
    }

    // Message boxes are answered with `button` and their texts appended to *asked, until
    // called again with NoButton (then they count as unexpected).
    void answerBoxes(QMessageBox::StandardButton button, QStringList* asked) {
        boxAnswer_ = button;
        asked_ = asked;
    }
    // What came without being expected since the last call; clears the list.
    QStringList unexpected() {
        QStringList l = unexpected_;
        unexpected_.clear();
        return l;
    }

private:
    struct Pending {
        Match match;
        Act act;
        QString name;
    };

    void look() {
        QWidget* w = QApplication::activeModalWidget();
        if (!w || !w->isVisible() || handled_.contains(w))
            return;
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (!it->match(w))
                continue;
            handled_ << w;
            Act act = std::move(it->act);
            pending_.erase(it);
            // From the event loop, not from inside this timer: the steps may open windows
            // of their own, which this timer must see.
            QTimer::singleShot(0, w, [w, act] { act(w); });
            return;
        }
        auto* box = qobject_cast<QMessageBox*>(w);
        const QString cls = QString::fromLatin1(w->metaObject()->className());
        if (!box && tolerated_.contains(cls.section(QStringLiteral("::"), -1)))
            return;
        if (!box) {
            // A window no step expected: after a while it is recorded and closed, so that
            // a journey gone astray fails instead of waiting for ever.
            if (w != stray_) {
                stray_ = w;
                straySince_.start();
            } else if (straySince_.elapsed() > kStrayMs) {
                handled_ << w;
                unexpected_ << cls + QStringLiteral(": ") + w->windowTitle();
                if (auto* dialog = qobject_cast<QDialog*>(w))
                    dialog->reject();
                else
                    w->close();
            }
            return;
        }
        handled_ << w;
        const QString said = box->windowTitle() + QStringLiteral(": ") + box->text();
        QAbstractButton* answer = nullptr;
        if (asked_ && boxAnswer_ != QMessageBox::NoButton) {
            *asked_ << said;
            answer = box->button(boxAnswer_);
        } else {
            unexpected_ << said;
        }
        if (!answer)
            answer = box->defaultButton();
        QTimer::singleShot(0, box, [box, answer] {
            if (answer)
                answer->click();
            else
                box->close();
        });
    }

    static constexpr qint64 kStrayMs = 20000;
    QTimer timer_;
    QPointer<QWidget> stray_;
    QElapsedTimer straySince_;
    std::list<Pending> pending_;
    QList<QPointer<QWidget>> handled_;
    QMessageBox::StandardButton boxAnswer_ = QMessageBox::NoButton;
    QStringList* asked_ = nullptr;
    QStringList unexpected_;
    QStringList tolerated_;
};

} // namespace journey
