// The zoom button of the composing windows: its caption is the zoom ("100%"), and its
// pop-up menu offers 70, 80 and 100 percent with the current one ticked.
#pragma once

#include <QPushButton>

#include <functional>

class QMenu;

namespace workflow::compose {

class FaxTextEdit;

class ZoomButton : public QPushButton {
    Q_OBJECT
public:
    // `target` names the editor the button acts on at the moment it is used.
    ZoomButton(std::function<FaxTextEdit*()> target, QWidget* parent = nullptr);

    // Shows the target's zoom as the caption.
    void syncCaption();
    QMenu* zoomMenu() const { return menu_; }
    // What choosing a menu item does.
    void choose(int percent);

private:
    std::function<FaxTextEdit*()> target_;
    QMenu* menu_ = nullptr;
};

} // namespace workflow::compose
