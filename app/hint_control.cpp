#include "hint_control.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMenu>
#include <QToolTip>
#include <QWidget>

namespace app {

HintControl::HintControl(QObject* parent) : QObject(parent) {}

void HintControl::setEnabled(bool on) {
    enabled_ = on;
    if (!on)
        QToolTip::hideText();
    // Menus show their items' hints themselves.
    for (QWidget* w : QApplication::allWidgets())
        if (auto* menu = qobject_cast<QMenu*>(w))
            menu->setToolTipsVisible(on);
}

bool HintControl::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QObject::eventFilter(watched, event);
    if (!enabled_)
        return true;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || qobject_cast<QMenu*>(widget) || widget->toolTip().isEmpty())
        return QObject::eventFilter(watched, event);
    const auto* help = static_cast<QHelpEvent*>(event);
    QToolTip::showText(help->globalPos(), widget->toolTip(), widget, QRect(),
                       static_cast<int>(kHintHidePause.count()));
    return true;
}

int HintStyle::styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                         QStyleHintReturn* returnData) const {
    if (hint == SH_ToolTip_WakeUpDelay)
        return static_cast<int>(kHintPause.count());
    return QProxyStyle::styleHint(hint, option, widget, returnData);
}

} // namespace app
