#include "workflow/send/velk_meter.h"

#include <QPainter>
#include <QPalette>

namespace workflow::send {

MeterBlocks meterBlocks(int position, int min, int max, int step, int width) {
    MeterBlocks b;
    // A meter without range or block width shows nothing rather than dividing by zero.
    if (position <= min || max <= min || step <= 0 || width < 4)
        return b;
    b.whole = (position - min) * ((width - 3) / step) / (max - min) + 1;
    if (b.whole * step > width - 4) {
        b.whole = (width - 4) / step;
        b.partialWidth = (width - 4) % step;
        b.partial = b.partialWidth > 0;
        if (!b.partial)
            b.partialWidth = 0;
    }
    return b;
}

TVelkMeter::TVelkMeter(QWidget* parent) : QWidget(parent) {
    const QPalette pal = palette();
    barColor_ = pal.color(QPalette::Highlight);
    bevel1_ = pal.color(QPalette::Light);
    bevel2_ = pal.color(QPalette::Dark);
    resize(150, 16);
}

bool TVelkMeter::recompute() {
    const MeterBlocks b = meterBlocks(position_, min_, max_, step_, width());
    const bool changed = !(b == blocks_);
    blocks_ = b;
    return changed;
}

void TVelkMeter::SetBarColor(const QColor& c) {
    barColor_ = c;
    update();
}
void TVelkMeter::SetBevelColor1(const QColor& c) {
    bevel1_ = c;
    update();
}
void TVelkMeter::SetBevelColor2(const QColor& c) {
    bevel2_ = c;
    update();
}
void TVelkMeter::SetBevelStyle(int style) {
    bevelStyle_ = style;
    update();
}
void TVelkMeter::SetMax(int v) {
    max_ = v;
    recompute();
    update();
}
void TVelkMeter::SetMin(int v) {
    min_ = v;
    recompute();
    update();
}
void TVelkMeter::SetStep(int pixels) {
    step_ = pixels;
    recompute();
    update();
}

void TVelkMeter::SetPosition(int v) {
    position_ = v;
    if (recompute()) {
        update();
        if (OnPosChange)
            OnPosChange(*this);
    }
}

void TVelkMeter::resizeEvent(QResizeEvent*) {
    recompute();
    update();
}

void TVelkMeter::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const int w = width();
    const int h = height();
    if (bevelStyle_ == Lowered || bevelStyle_ == Raised) {
        const QColor topLeft = bevelStyle_ == Lowered ? bevel2_ : bevel1_;
        const QColor bottomRight = bevelStyle_ == Lowered ? bevel1_ : bevel2_;
        p.setPen(topLeft);
        p.drawLine(0, 0, w - 1, 0);
        p.drawLine(0, 0, 0, h - 1);
        p.setPen(bottomRight);
        p.drawLine(w - 1, 0, w - 1, h - 1);
        p.drawLine(0, h - 1, w - 1, h - 1);
    }
    // Block i covers left i*Step+2 up to (i+1)*Step (exclusive), leaving a 2-pixel gap.
    for (int i = 0; i < blocks_.whole; ++i)
        p.fillRect(QRect(QPoint(i * step_ + 2, 2), QPoint((i + 1) * step_ - 1, h - 3)), barColor_);
    if (blocks_.partial) {
        const int left = blocks_.whole * step_ + 2;
        p.fillRect(QRect(left, 2, blocks_.partialWidth, h - 4), barColor_);
    }
}

} // namespace workflow::send
