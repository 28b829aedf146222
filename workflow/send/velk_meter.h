// TVelkMeter: a segmented progress bar. The bar is drawn as blocks `Step` pixels apart
// inside a bevelled frame; a last block that does not fit whole is drawn narrower.
#pragma once

#include <QColor>
#include <QWidget>

#include <functional>

namespace workflow::send {

// Which blocks a meter of `width` pixels shows for a position.
struct MeterBlocks {
    int whole = 0;        // whole blocks
    bool partial = false; // a narrower last block
    int partialWidth = 0; // its width in pixels
    bool operator==(const MeterBlocks&) const = default;
};
MeterBlocks meterBlocks(int position, int min, int max, int step, int width);

class TVelkMeter : public QWidget {
    Q_OBJECT
public:
    enum BevelStyle { Lowered = 0, Raised = 1 };

    explicit TVelkMeter(QWidget* parent = nullptr);

    QColor BarColor() const { return barColor_; }
    void SetBarColor(const QColor& c);
    QColor BevelColor1() const { return bevel1_; }
    void SetBevelColor1(const QColor& c);
    QColor BevelColor2() const { return bevel2_; }
    void SetBevelColor2(const QColor& c);
    int BevelStyleValue() const { return bevelStyle_; }
    void SetBevelStyle(int style);
    int Max() const { return max_; }
    void SetMax(int v);
    int Min() const { return min_; }
    void SetMin(int v);
    int Position() const { return position_; }
    void SetPosition(int v);
    int Step() const { return step_; }
    void SetStep(int pixels);

    MeterBlocks Blocks() const { return blocks_; }
    QSize sizeHint() const override { return {150, 16}; }

    // Called when a position change altered what the meter shows.
    std::function<void(TVelkMeter&)> OnPosChange;

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;

private:
    bool recompute();

    QColor barColor_;
    QColor bevel1_;
    QColor bevel2_;
    int bevelStyle_ = Lowered;
    int max_ = 100;
    int min_ = 0;
    int position_ = 0;
    int step_ = 8;
    MeterBlocks blocks_;
};

} // namespace workflow::send
