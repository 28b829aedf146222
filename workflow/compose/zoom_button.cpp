#include "workflow/compose/zoom_button.h"

#include "workflow/compose/fax_text_edit.h"

#include <QAction>
#include <QActionGroup>
#include <QMenu>

namespace workflow::compose {

ZoomButton::ZoomButton(std::function<FaxTextEdit*()> target, QWidget* parent)
    : QPushButton(parent), target_(std::move(target)) {
    setObjectName(QStringLiteral("Zoombutton"));
    menu_ = new QMenu(this);
    menu_->setObjectName(QStringLiteral("ZoomMenu"));
    auto* group = new QActionGroup(menu_);
    for (int percent : {70, 80, 100}) {
        QAction* item = menu_->addAction(QStringLiteral("%1%").arg(percent));
        item->setObjectName(QStringLiteral("Zoom%1").arg(percent));
        item->setData(percent); // the item's tag
        item->setCheckable(true);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, percent] { choose(percent); });
    }
    connect(menu_, &QMenu::aboutToShow, this, [this] {
        const FaxTextEdit* edit = target_();
        for (QAction* item : menu_->actions())
            item->setChecked(edit && item->data().toInt() == edit->zoom());
    });
    connect(this, &QPushButton::clicked, this, [this] {
        menu_->popup(mapToGlobal(QPoint(0, height())));
    });
    syncCaption();
}

void ZoomButton::syncCaption() {
    const FaxTextEdit* edit = target_();
    setText(QStringLiteral("%1%").arg(edit ? edit->zoom() : 100));
}

void ZoomButton::choose(int percent) {
    if (FaxTextEdit* edit = target_())
        edit->setZoom(percent);
    setText(QStringLiteral("%1%").arg(percent));
}

} // namespace workflow::compose
