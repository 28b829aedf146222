// Tooltips ("hints") for the whole application: switched on and off by the Show Hints
// setting, shown after 1200 ms and kept for 30 s.
#pragma once

#include <QObject>
#include <QProxyStyle>
#include <chrono>

namespace app {

inline constexpr std::chrono::milliseconds kHintPause{1200};
inline constexpr std::chrono::milliseconds kHintHidePause{30000};

// Installed on the application: swallows tooltip events while hints are off and shows
// the others for kHintHidePause.
class HintControl : public QObject {
    Q_OBJECT
public:
    explicit HintControl(QObject* parent = nullptr);
    void setEnabled(bool on);
    bool isEnabled() const { return enabled_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    bool enabled_ = true;
};

// Gives tooltips their wake-up delay.
class HintStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* returnData) const override;
};

} // namespace app
