#include "workflow/richtext/metafile_player.h"

#include "workflow/richtext/rtf_codepage.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QTransform>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <variant>
#include <vector>

namespace workflow::richtext {

std::string_view to_string(MetafileKind kind) {
    switch (kind) {
    case MetafileKind::Wmf: return "WMF";
    case MetafileKind::Emf: return "EMF";
    }
    return "?";
}

namespace {

// Bounds-checked little-endian reads over one record's bytes. A read past the end
// returns 0 and marks the reader bad; callers check ok() before they draw.
class Bytes {
public:
    explicit Bytes(QByteArrayView data) : data_(data) {}
    std::size_t size() const { return static_cast<std::size_t>(data_.size()); }
    bool ok() const { return ok_; }
    bool has(std::size_t at, std::size_t n) const { return at <= size() && n <= size() - at; }
    std::uint32_t u8(std::size_t at) { return has(at, 1) ? byte(at) : fail(); }
    std::uint32_t u16(std::size_t at) { return has(at, 2) ? byte(at) | byte(at + 1) << 8 : fail(); }
    std::int32_t s16(std::size_t at) { return static_cast<std::int16_t>(u16(at)); }
    std::uint32_t u32(std::size_t at) {
        return has(at, 4) ? byte(at) | byte(at + 1) << 8 | byte(at + 2) << 16 | byte(at + 3) << 24 : fail();
    }
    std::int32_t s32(std::size_t at) { return static_cast<std::int32_t>(u32(at)); }
    float f32(std::size_t at) {
        const std::uint32_t bits = u32(at);
        float f;
        std::memcpy(&f, &bits, sizeof f);
        return std::isfinite(f) ? f : (ok_ = false, 0.0f);
    }
    QByteArrayView view(std::size_t at, std::size_t n) {
        if (!has(at, n)) {
            ok_ = false;
            return {};
        }
        return data_.sliced(static_cast<qsizetype>(at), static_cast<qsizetype>(n));
    }

private:
    std::uint32_t byte(std::size_t at) const { return static_cast<unsigned char>(data_[static_cast<qsizetype>(at)]); }
    std::uint32_t fail() {
        ok_ = false;
        return 0;
    }
    QByteArrayView data_;
    bool ok_ = true;
};

QColor colorRef(std::uint32_t c) { return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF); }

enum class MapMode { Text = 1, LoMetric, HiMetric, LoEnglish, HiEnglish, Twips, Isotropic, Anisotropic };

struct LogPen {
    QPen pen;
};
struct LogBrush {
    QBrush brush;
};
struct LogFont {
    int height = 0;
    int escapement = 0; // tenths of a degree, counter-clockwise
    int weight = 400;
    bool italic = false, underline = false, strike = false;
    int charset = 0;
    QString face;
};
struct Placeholder {}; // palettes, regions and pattern brushes: they take a slot only
using GdiObject = std::variant<Placeholder, LogPen, LogBrush, LogFont>;

struct DcState {
    QPen pen = QPen(Qt::black, 0);
    QBrush brush = QBrush(Qt::white);
    LogFont font;
    QColor textColor = Qt::black;
    QColor bkColor = Qt::white;
    bool opaqueBackground = true;
    std::uint32_t textAlign = 0;
    Qt::FillRule fillRule = Qt::OddEvenFill;
    MapMode mapMode = MapMode::Text;
    QPointF windowOrg, viewportOrg;
    QSizeF windowExt{1, 1}, viewportExt{1, 1};
    bool windowExtSet = false;
    QTransform world;
    QPointF position;
};

// Text alignment flags of SetTextAlign.
constexpr std::uint32_t kTaUpdateCp = 1, kTaRight = 2, kTaCenter = 6, kTaBottom = 8, kTaBaseline = 24;
constexpr std::uint32_t kEtoOpaque = 2;
constexpr std::uint32_t kRopSrcCopy = 0x00CC0020, kRopSrcAnd = 0x008800C6, kRopSrcPaint = 0x00EE0086,
                        kRopPatCopy = 0x00F00021, kRopBlackness = 0x00000042, kRopWhiteness = 0x00FF0062;
// Characters drawn from one text record; real documents stay far below.
constexpr std::size_t kMaxTextChars = 4096;
// Drawing may cover the picture this many times over before the rest is left out: a
// hostile file of full-size fills must not keep the reader busy for minutes.
constexpr double kCoverageBudget = 256.0;

QPen penFor(int style, double width, QColor color) {
    QPen pen(color, std::max(0.0, width));
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    switch (style & 0x0F) {
    case 1: pen.setStyle(Qt::DashLine); break;
    case 2: pen.setStyle(Qt::DotLine); break;
    case 3: pen.setStyle(Qt::DashDotLine); break;
    case 4: pen.setStyle(Qt::DashDotDotLine); break;
    case 5: pen.setStyle(Qt::NoPen); break;
    default: pen.setStyle(Qt::SolidLine); break;
    }
    if (width <= 0)
        pen.setCosmetic(true);
    return pen;
}

QBrush brushFor(std::uint32_t style, QColor color, std::uint32_t hatch) {
    switch (style) {
    case 0: return QBrush(color);              // solid
    case 1: return QBrush(Qt::NoBrush);        // null
    case 2: {                                   // hatched
        static constexpr Qt::BrushStyle kHatch[] = {Qt::HorPattern,   Qt::VerPattern,    Qt::FDiagPattern,
                                                    Qt::BDiagPattern, Qt::CrossPattern, Qt::DiagCrossPattern};
        return QBrush(color, hatch < 6 ? kHatch[hatch] : Qt::SolidPattern);
    }
    default: return QBrush(Qt::gray); // pattern brushes: a grey that prints as a tone
    }
}

std::optional<GdiObject> stockObject(std::uint32_t index) {
    switch (index) {
    case 0: return LogBrush{QBrush(Qt::white)};
    case 1: return LogBrush{QBrush(QColor(192, 192, 192))};
    case 2: return LogBrush{QBrush(QColor(128, 128, 128))};
    case 3: return LogBrush{QBrush(QColor(64, 64, 64))};
    case 4: return LogBrush{QBrush(Qt::black)};
    case 5: return LogBrush{QBrush(Qt::NoBrush)};
    case 6: return LogPen{penFor(0, 0, Qt::white)};
    case 7: return LogPen{penFor(0, 0, Qt::black)};
    case 8: return LogPen{penFor(5, 0, Qt::black)};
    case 10: case 11: case 12: case 13: case 14: case 16: case 17: return LogFont{};
    default: return std::nullopt;
    }
}

class Player {
public:
    Player(QImage& image, QRectF frame) : image_(image), painter_(&image), frame_(frame) {
        painter_.setRenderHint(QPainter::Antialiasing);
        painter_.setRenderHint(QPainter::TextAntialiasing);
        painter_.setRenderHint(QPainter::SmoothPixmapTransform);
    }

    MetafileResult playWmf(QByteArrayView data);
    MetafileResult playEmf(QByteArrayView data);

private:
    // Mapping logical coordinates to the image.
    QTransform logicalToDevice() const;
    QTransform transform() const;
    void applyTransform() { painter_.setTransform(transform()); }
    double fontPixels() const;
    bool charge(const QRectF& logical);

    void select(std::uint32_t index);
    void store(std::uint32_t index, GdiObject object);
    int storeFree(GdiObject object);
    void remove(std::uint32_t index);

    void moveTo(QPointF p);
    void lineTo(QPointF p);
    void polyline(const QPolygonF& points);
    void polygon(const QPolygonF& points);
    void polyPolygon(const std::vector<QPolygonF>& polygons, bool closed);
    void bezier(const QPolygonF& points, bool fromCurrent);
    void rectangle(QRectF r);
    void ellipse(QRectF r);
    void roundRect(QRectF r, QSizeF corner);
    enum class ArcKind { Arc, Chord, Pie };
    void arc(ArcKind kind, QRectF box, QPointF start, QPointF end);
    void text(QPointF reference, const QString& s, const std::vector<double>& dx, bool opaque, QRectF opaqueRect);
    void bitmap(QRectF dest, QRect source, bool sourceBottomUp, const QImage& image, std::uint32_t rop);
    void fillWith(QRectF dest, std::uint32_t rop);
    void restoreDc(int relative);
    void drawPath(const QPainterPath& path, bool stroke, bool fill);

    bool playWmfRecord(std::uint16_t function, Bytes& p);
    bool playEmfRecord(std::uint32_t type, Bytes& r);
    QString decodeText(QByteArrayView bytes) const;

    QImage& image_;
    QPainter painter_;
    QRectF frame_; // device rectangle shown in the image (EMF); window for WMF
    bool wmf_ = false;
    QTransform deviceToImage_;
    double pxPerMmX_ = 96 / 25.4, pxPerMmY_ = 96 / 25.4; // the EMF's reference device
    DcState dc_;
    std::vector<DcState> saved_;
    std::vector<std::optional<GdiObject>> objects_;
    std::optional<QPainterPath> path_; // between BeginPath and EndPath
    QPainterPath lastPath_;
    double covered_ = 0;
    MetafileResult result_;
};

QTransform Player::logicalToDevice() const {
    const DcState& d = dc_;
    double sx = 1, sy = 1;
    auto fixed = [&](double unitsPerMm) { // fixed modes: y grows upward
        sx = pxPerMmX_ / unitsPerMm;
        sy = -pxPerMmY_ / unitsPerMm;
    };
    switch (d.mapMode) {
    case MapMode::Text: break;
    case MapMode::LoMetric: fixed(10.0); break;
    case MapMode::HiMetric: fixed(100.0); break;
    case MapMode::LoEnglish: fixed(100.0 / 25.4); break;
    case MapMode::HiEnglish: fixed(1000.0 / 25.4); break;
    case MapMode::Twips: fixed(1440.0 / 25.4); break;
    case MapMode::Isotropic:
    case MapMode::Anisotropic:
        sx = d.windowExt.width() != 0 ? d.viewportExt.width() / d.windowExt.width() : 1;
        sy = d.windowExt.height() != 0 ? d.viewportExt.height() / d.windowExt.height() : 1;
        if (d.mapMode == MapMode::Isotropic) {
            const double s = std::min(std::abs(sx), std::abs(sy));
            sx = std::copysign(s, sx);
            sy = std::copysign(s, sy);
        }
        break;
    }
    return QTransform::fromTranslate(-d.windowOrg.x(), -d.windowOrg.y()) * QTransform::fromScale(sx, sy) *
           QTransform::fromTranslate(d.viewportOrg.x(), d.viewportOrg.y());
}

QTransform Player::transform() const {
    if (wmf_) {
        // A WMF in a document has no device of its own: its window is the picture.
        const DcState& d = dc_;
        const QRectF window = d.windowExtSet ? QRectF(d.windowOrg, d.windowExt) : frame_;
        const double w = window.width() != 0 ? window.width() : 1, h = window.height() != 0 ? window.height() : 1;
        return QTransform::fromTranslate(-window.x(), -window.y()) *
               QTransform::fromScale(image_.width() / w, image_.height() / h);
    }
    return dc_.world * logicalToDevice() * deviceToImage_;
}

// Fonts are sized in logical units; this is the height in image pixels.
double Player::fontPixels() const {
    const QTransform t = transform();
    const double scale = std::hypot(t.m21(), t.m22());
    if (dc_.font.height == 0)
        return 16.0; // the default font: about 12 points on a screen
    const double h = dc_.font.height;
    const double em = h < 0 ? -h : h / 1.15; // positive heights include the internal leading
    return std::clamp(em * scale, 1.0, 4.0 * image_.height() + 1);
}

bool Player::charge(const QRectF& logical) {
    const QRectF area = transform().mapRect(logical.normalized()).intersected(image_.rect());
    covered_ += std::max(1.0, area.width() * area.height());
    return covered_ <= kCoverageBudget * std::max(1, image_.width() * image_.height());
}

void Player::store(std::uint32_t index, GdiObject object) {
    if (index < objects_.size())
        objects_[index] = std::move(object);
}

int Player::storeFree(GdiObject object) {
    for (std::size_t i = 0; i < objects_.size(); ++i)
        if (!objects_[i]) {
            objects_[i] = std::move(object);
            return static_cast<int>(i);
        }
    return -1;
}

void Player::remove(std::uint32_t index) {
    if (index < objects_.size())
        objects_[index].reset();
}

void Player::select(std::uint32_t index) {
    std::optional<GdiObject> object;
    if (index & 0x80000000u)
        object = stockObject(index & 0x7FFFFFFFu);
    else if (index < objects_.size())
        object = objects_[index];
    if (!object)
        return;
    if (const auto* pen = std::get_if<LogPen>(&*object))
        dc_.pen = pen->pen;
    else if (const auto* brush = std::get_if<LogBrush>(&*object))
        dc_.brush = brush->brush;
    else if (const auto* font = std::get_if<LogFont>(&*object))
        dc_.font = *font;
}

void Player::drawPath(const QPainterPath& path, bool stroke, bool fill) {
    if (!charge(path.boundingRect()))
        return;
    applyTransform();
    painter_.setPen(stroke ? dc_.pen : QPen(Qt::NoPen));
    painter_.setBrush(fill ? dc_.brush : QBrush(Qt::NoBrush));
    QPainterPath p = path;
    p.setFillRule(dc_.fillRule);
    painter_.drawPath(p);
    ++result_.drawnRecords;
}

void Player::moveTo(QPointF p) {
    dc_.position = p;
    if (path_)
        path_->moveTo(p);
}

void Player::lineTo(QPointF p) {
    if (path_) {
        if (path_->elementCount() == 0)
            path_->moveTo(dc_.position);
        path_->lineTo(p);
    } else {
        QPainterPath line(dc_.position);
        line.lineTo(p);
        drawPath(line, true, false);
    }
    dc_.position = p;
}

void Player::polyline(const QPolygonF& points) {
    if (points.size() < 2)
        return;
    QPainterPath p;
    p.addPolygon(points);
    if (path_)
        path_->addPath(p);
    else
        drawPath(p, true, false);
}

void Player::polygon(const QPolygonF& points) {
    polyPolygon({points}, true);
}

void Player::polyPolygon(const std::vector<QPolygonF>& polygons, bool closed) {
    QPainterPath p;
    for (const QPolygonF& poly : polygons) {
        if (poly.size() < 2)
            continue;
        p.addPolygon(poly);
        if (closed)
            p.closeSubpath();
    }
    if (path_)
        path_->addPath(p);
    else
        drawPath(p, true, closed);
}

void Player::bezier(const QPolygonF& points, bool fromCurrent) {
    QPainterPath p;
    qsizetype i = 0;
    if (fromCurrent) {
        p.moveTo(path_ && path_->elementCount() > 0 ? path_->currentPosition() : dc_.position);
    } else {
        if (points.isEmpty())
            return;
        p.moveTo(points[0]);
        i = 1;
    }
    for (; i + 2 < points.size(); i += 3)
        p.cubicTo(points[i], points[i + 1], points[i + 2]);
    dc_.position = p.currentPosition();
    if (path_) {
        if (fromCurrent && path_->elementCount() > 0)
            path_->connectPath(p);
        else
            path_->addPath(p);
    } else {
        drawPath(p, true, false);
    }
}

void Player::rectangle(QRectF r) {
    QPainterPath p;
    p.addRect(r.normalized());
    if (path_)
        path_->addPath(p);
    else
        drawPath(p, true, true);
}

void Player::ellipse(QRectF r) {
    QPainterPath p;
    p.addEllipse(r.normalized());
    if (path_)
        path_->addPath(p);
    else
        drawPath(p, true, true);
}

namespace {

// A bitmap's source rectangle from a record's numbers. Far-out values are cut so that Qt's
// edge arithmetic cannot overflow; such a rectangle misses the bitmap anyway.
QRect sourceRect(std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h) {
    static constexpr std::int64_t kLimit = std::int64_t(1) << 28;
    const auto cut = [](std::int64_t v) { return static_cast<int>(std::clamp(v, -kLimit, kLimit)); };
    return QRect(cut(x), cut(y), cut(w), cut(h));
}

} // namespace

void Player::roundRect(QRectF r, QSizeF corner) {
    QPainterPath p;
    p.addRoundedRect(r.normalized(), std::abs(corner.width()) / 2, std::abs(corner.height()) / 2);
    drawPath(p, true, true);
}

void Player::arc(ArcKind kind, QRectF box, QPointF start, QPointF end) {
    box = box.normalized();
    if (box.isEmpty())
        return;
    const QPointF c = box.center();
    // Angles measured on the logical plane; arcs run counter-clockwise as seen with y
    // growing upward, which is clockwise on a y-down device.
    auto angle = [&](QPointF p) {
        return std::atan2(-(p.y() - c.y()) * box.width(), (p.x() - c.x()) * box.height()) * 180.0 / M_PI;
    };
    const double a0 = angle(start);
    double sweep = angle(end) - a0;
    if (sweep <= 0)
        sweep += 360;
    QPainterPath p;
    if (kind == ArcKind::Pie)
        p.moveTo(c); // arcTo draws the first spoke from the centre
    else
        p.arcMoveTo(box, a0);
    p.arcTo(box, a0, sweep);
    if (kind != ArcKind::Arc)
        p.closeSubpath();
    drawPath(p, true, kind != ArcKind::Arc);
}

void Player::text(QPointF reference, const QString& s, const std::vector<double>& dx, bool opaque,
                  QRectF opaqueRect) {
    const QTransform t = transform();
    if (opaque && !opaqueRect.isEmpty() && charge(opaqueRect)) {
        painter_.setTransform(t);
        painter_.fillRect(opaqueRect.normalized(), dc_.bkColor);
    }
    if (s.isEmpty())
        return;
    const bool updateCp = dc_.textAlign & kTaUpdateCp;
    if (updateCp)
        reference = dc_.position;
    QFont font(dc_.font.face.isEmpty() ? QStringLiteral("Liberation Sans") : dc_.font.face);
    font.setPixelSize(std::max(1, static_cast<int>(std::lround(fontPixels()))));
    font.setWeight(static_cast<QFont::Weight>(std::clamp(dc_.font.weight == 0 ? 400 : dc_.font.weight, 100, 900)));
    font.setItalic(dc_.font.italic);
    font.setUnderline(dc_.font.underline);
    font.setStrikeOut(dc_.font.strike);
    const QFontMetricsF metrics(font);
    // Advances are logical; measure them along the text's direction on the image.
    const double xScale = std::hypot(t.m11(), t.m12());
    std::vector<double> advances;
    double width = 0;
    if (!dx.empty()) {
        for (std::size_t i = 0; i < static_cast<std::size_t>(s.size()); ++i) {
            advances.push_back(i < dx.size() ? dx[i] * xScale : metrics.horizontalAdvance(s[static_cast<qsizetype>(i)]));
            width += advances.back();
        }
    } else {
        width = metrics.horizontalAdvance(s);
    }
    if (!charge(t.inverted().mapRect(QRectF(t.map(reference), QSizeF(width, metrics.height())))))
        return;
    double x = 0, y = 0;
    const std::uint32_t h = dc_.textAlign & kTaCenter, v = dc_.textAlign & kTaBaseline;
    if (h == kTaCenter)
        x = -width / 2;
    else if (h == kTaRight)
        x = -width;
    if (v == 0)
        y = metrics.ascent();
    else if (v == kTaBottom)
        y = -metrics.descent();
    const QPointF origin = t.map(reference);
    painter_.setTransform(QTransform());
    painter_.translate(origin);
    // Escapement turns counter-clockwise as seen; a mirrored y axis turns it back.
    const double turn = dc_.font.escapement / 10.0 * (t.m22() < 0 ? 1 : -1);
    painter_.rotate(turn);
    if (dc_.opaqueBackground && !opaque)
        painter_.fillRect(QRectF(x, y - metrics.ascent(), width, metrics.height()), dc_.bkColor);
    painter_.setFont(font);
    painter_.setPen(dc_.textColor);
    if (advances.empty()) {
        painter_.drawText(QPointF(x, y), s);
    } else {
        // Wild advances would carry the text far off the picture: stop there.
        const double limit = 4.0 * (image_.width() + image_.height());
        for (qsizetype i = 0; i < s.size() && std::abs(x) < limit; ++i) {
            painter_.drawText(QPointF(x, y), QString(s[i]));
            x += advances[static_cast<std::size_t>(i)];
        }
    }
    if (updateCp) {
        const double logicalWidth = xScale > 0 ? width / xScale : 0;
        dc_.position += QPointF(h == kTaRight ? -logicalWidth : logicalWidth, 0);
    }
    ++result_.drawnRecords;
}

void Player::bitmap(QRectF dest, QRect source, bool sourceBottomUp, const QImage& image, std::uint32_t rop) {
    if (image.isNull() || !charge(dest))
        return;
    if (source.width() <= 0 || source.height() <= 0)
        source = image.rect();
    if (sourceBottomUp)
        source.moveTop(image.height() - source.y() - source.height());
    source = source.intersected(image.rect());
    if (source.isEmpty())
        return;
    applyTransform();
    switch (rop) {
    case kRopSrcAnd: painter_.setCompositionMode(QPainter::CompositionMode_Multiply); break;
    case kRopSrcPaint: painter_.setCompositionMode(QPainter::CompositionMode_Lighten); break;
    default: break;
    }
    // A negative width or height mirrors the picture.
    const QRectF target = dest.normalized();
    const QImage part = image.copy(source).mirrored(dest.width() < 0, dest.height() < 0);
    // Enlarged bitmaps keep hard pixel edges as they do on a printer; smoothing would turn
    // them grey and the fax page would dither them. Reduced ones are smoothed.
    const QRectF onImage = transform().mapRect(target);
    painter_.setRenderHint(QPainter::SmoothPixmapTransform,
                           onImage.width() < part.width() || onImage.height() < part.height());
    painter_.drawImage(target, part);
    painter_.setCompositionMode(QPainter::CompositionMode_SourceOver);
    ++result_.drawnRecords;
}

void Player::fillWith(QRectF dest, std::uint32_t rop) {
    QBrush brush;
    switch (rop) {
    case kRopBlackness: brush = QBrush(Qt::black); break;
    case kRopWhiteness: brush = QBrush(Qt::white); break;
    case kRopPatCopy: brush = dc_.brush; break;
    default: ++result_.skippedRecords; return;
    }
    if (!charge(dest))
        return;
    applyTransform();
    painter_.fillRect(dest.normalized(), brush);
    ++result_.drawnRecords;
}

void Player::restoreDc(int relative) {
    // Negative: that many levels back; positive: an absolute level (1 = the first save).
    std::size_t keep;
    if (relative < 0) {
        const std::size_t back = static_cast<std::size_t>(-static_cast<long long>(relative));
        if (back > saved_.size())
            return;
        keep = saved_.size() - back;
    } else {
        if (relative == 0 || static_cast<std::size_t>(relative) > saved_.size())
            return;
        keep = static_cast<std::size_t>(relative) - 1;
    }
    dc_ = saved_[keep];
    saved_.resize(keep);
}

QString Player::decodeText(QByteArrayView bytes) const {
    return decodeCodePageBytes(codePageOfCharset(dc_.font.charset), bytes);
}

// ---- WMF ------------------------------------------------------------------------

constexpr std::uint32_t kPlaceableKey = 0x9AC6CDD7;

MetafileResult Player::playWmf(QByteArrayView data) {
    wmf_ = true;
    Bytes all(data);
    std::size_t pos = 0;
    if (all.u32(0) == kPlaceableKey) {
        const double left = all.s16(6), top = all.s16(8), right = all.s16(10), bottom = all.s16(12);
        if (right != left && bottom != top)
            frame_ = QRectF(QPointF(left, top), QPointF(right, bottom));
        pos = 22;
    }
    const std::uint32_t headerWords = all.u16(pos + 2);
    const std::uint32_t objectCount = all.u16(pos + 10);
    if (!all.ok() || headerWords != 9 || (all.u16(pos) != 1 && all.u16(pos) != 2))
        return {};
    objects_.resize(objectCount);
    pos += 18;
    while (all.has(pos, 6)) {
        const std::uint32_t words = all.u32(pos);
        const std::uint16_t function = static_cast<std::uint16_t>(all.u16(pos + 4));
        if (function == 0 || words < 3 || words > (all.size() - pos) / 2)
            break; // end of file, or a record longer than the data
        Bytes params(data.sliced(static_cast<qsizetype>(pos + 6), static_cast<qsizetype>(words * 2 - 6)));
        if (!playWmfRecord(function, params) || !params.ok())
            ++result_.skippedRecords;
        pos += words * 2;
    }
    return result_;
}

bool Player::playWmfRecord(std::uint16_t function, Bytes& p) {
    auto point = [&](std::size_t at) { return QPointF(p.s16(at + 2), p.s16(at)); }; // y, x
    auto rect = [&](std::size_t at) { // bottom, right, top, left
        return QRectF(QPointF(p.s16(at + 6), p.s16(at + 4)), QPointF(p.s16(at + 2), p.s16(at)));
    };
    auto points = [&](std::size_t at, std::size_t count) { // x, y pairs
        QPolygonF poly;
        if (!p.has(at, count * 4))
            return (void)p.u8(p.size()), poly;
        poly.reserve(static_cast<qsizetype>(count));
        for (std::size_t i = 0; i < count; ++i)
            poly.append(QPointF(p.s16(at + 4 * i), p.s16(at + 4 * i + 2)));
        return poly;
    };
    switch (function) {
    case 0x020B: dc_.windowOrg = point(0); return true;                               // SetWindowOrg
    case 0x020C: dc_.windowExt = QSizeF(p.s16(2), p.s16(0)); dc_.windowExtSet = true; return true;
    case 0x020D: dc_.viewportOrg = point(0); return true;
    case 0x020E: dc_.viewportExt = QSizeF(p.s16(2), p.s16(0)); return true;
    case 0x0103: dc_.mapMode = static_cast<MapMode>(std::clamp<int>(p.s16(0), 1, 8)); return true;
    case 0x0102: dc_.opaqueBackground = p.u16(0) == 2; return true;                     // SetBkMode
    case 0x0201: dc_.bkColor = colorRef(p.u32(0)); return true;
    case 0x0209: dc_.textColor = colorRef(p.u32(0)); return true;
    case 0x012E: dc_.textAlign = p.u16(0); return true;
    case 0x0106: dc_.fillRule = p.u16(0) == 2 ? Qt::WindingFill : Qt::OddEvenFill; return true;
    case 0x001E: saved_.push_back(dc_); return true;                                     // SaveDC
    case 0x0127: restoreDc(p.s16(0)); return true;
    case 0x02FA:                                                                          // CreatePenIndirect
        return storeFree(LogPen{penFor(p.u16(0), p.s16(2), colorRef(p.u32(6)))}), true;
    case 0x02FC:                                                                          // CreateBrushIndirect
        return storeFree(LogBrush{brushFor(p.u16(0), colorRef(p.u32(2)), p.u16(6))}), true;
    case 0x02FB: {                                                                        // CreateFontIndirect
        LogFont f;
        f.height = p.s16(0);
        f.escapement = p.s16(4);
        f.weight = p.s16(8);
        f.italic = p.u8(10);
        f.underline = p.u8(11);
        f.strike = p.u8(12);
        f.charset = static_cast<int>(p.u8(13));
        const QByteArrayView face = p.has(18, 1) ? p.view(18, std::min<std::size_t>(32, p.size() - 18)) : QByteArrayView();
        const qsizetype end = face.indexOf('\0');
        f.face = decodeCodePageBytes(codePageOfCharset(f.charset), end >= 0 ? face.first(end) : face);
        storeFree(f);
        return true;
    }
    case 0x00F7: case 0x01F9: case 0x0142: case 0x06FF:  // palette, pattern brushes, region
        storeFree(Placeholder{});
        return true;
    case 0x012D: select(p.u16(0)); return true;
    case 0x01F0: remove(p.u16(0)); return true;
    case 0x0214: moveTo(point(0)); return true;
    case 0x0213: lineTo(point(0)); return true;
    case 0x0325: polyline(points(2, p.u16(0))); return true;
    case 0x0324: polygon(points(2, p.u16(0))); return true;
    case 0x0538: {                                                                        // PolyPolygon
        const std::size_t n = p.u16(0);
        if (!p.has(2, n * 2))
            return false;
        std::vector<QPolygonF> polys;
        std::size_t at = 2 + n * 2;
        for (std::size_t i = 0; i < n && p.ok(); ++i) {
            const std::size_t count = p.u16(2 + 2 * i);
            polys.push_back(points(at, count));
            at += count * 4;
        }
        if (!p.ok())
            return false;
        polyPolygon(polys, true);
        return true;
    }
    case 0x041B: rectangle(rect(0)); return true;
    case 0x0418: ellipse(rect(0)); return true;
    case 0x061C: roundRect(rect(4), QSizeF(p.s16(2), p.s16(0))); return true;
    case 0x0817: case 0x0830: case 0x081A: {                                             // Arc, Chord, Pie
        const ArcKind kind = function == 0x0817 ? ArcKind::Arc : function == 0x0830 ? ArcKind::Chord : ArcKind::Pie;
        if (!p.has(0, 16))
            return false;
        arc(kind, rect(8), point(4), point(0));
        return true;
    }
    case 0x0521: {                                                                        // TextOut
        const std::size_t n = std::min<std::size_t>(p.u16(0), kMaxTextChars);
        const QByteArrayView s = p.view(2, n);
        const std::size_t at = 2 + ((p.u16(0) + 1u) & ~1u);
        if (!p.ok() || !p.has(at, 4))
            return false;
        text(point(at), decodeText(s), {}, false, {});
        return true;
    }
    case 0x0A32: {                                                                        // ExtTextOut
        const QPointF at = point(0);
        const std::size_t n = p.u16(4);
        const std::uint32_t options = p.u16(6);
        std::size_t pos = 8;
        QRectF clip;
        if (options & 0x0006) { // opaque or clipped: a rectangle follows (left, top, right, bottom)
            clip = QRectF(QPointF(p.s16(8), p.s16(10)), QPointF(p.s16(12), p.s16(14)));
            pos += 8;
        }
        const QByteArrayView s = p.view(pos, std::min(n, kMaxTextChars));
        if (!p.ok())
            return false;
        const QString decoded = decodeText(s);
        std::vector<double> dx;
        const std::size_t dxAt = pos + ((n + 1) & ~std::size_t{1});
        if (p.has(dxAt, n * 2) && static_cast<std::size_t>(decoded.size()) == n)
            for (std::size_t i = 0; i < n; ++i)
                dx.push_back(p.s16(dxAt + 2 * i));
        text(at, decoded, dx, options & kEtoOpaque, clip);
        return true;
    }
    case 0x0F43: {                                                                        // StretchDIB
        if (!p.has(0, 22))
            return false;
        const std::uint32_t rop = p.u32(0);
        const QRect source(p.s16(12), p.s16(10), p.s16(8), p.s16(6));
        const QRectF dest(p.s16(20), p.s16(18), p.s16(16), p.s16(14));
        bitmap(dest, source, true, imageFromDib(p.view(22, p.size() - 22)), rop);
        return true;
    }
    case 0x0B41: {                                                                        // DIBStretchBlt
        if (!p.has(0, 20))
            return false;
        const std::uint32_t rop = p.u32(0);
        if (p.size() <= 22) { // no bitmap: a pattern operation, with one reserved word
            fillWith(QRectF(p.s16(20), p.s16(18), p.s16(16), p.s16(14)), rop);
            return true;
        }
        const QRect source(p.s16(10), p.s16(8), p.s16(6), p.s16(4));
        const QRectF dest(p.s16(18), p.s16(16), p.s16(14), p.s16(12));
        bitmap(dest, source, false, imageFromDib(p.view(20, p.size() - 20)), rop);
        return true;
    }
    case 0x0940: {                                                                        // DIBBitBlt
        if (!p.has(0, 16))
            return false;
        const std::uint32_t rop = p.u32(0);
        if (p.size() <= 18) {
            fillWith(QRectF(p.s16(16), p.s16(14), p.s16(12), p.s16(10)), rop);
            return true;
        }
        const QRectF dest(p.s16(14), p.s16(12), p.s16(10), p.s16(8));
        const QRect source(p.s16(6), p.s16(4), p.s16(10), p.s16(8));
        bitmap(dest, source, false, imageFromDib(p.view(16, p.size() - 16)), rop);
        return true;
    }
    default:
        return false;
    }
}

// ---- EMF ------------------------------------------------------------------------

constexpr std::uint32_t kEmfSignature = 0x464D4520; // " EMF"

MetafileResult Player::playEmf(QByteArrayView data) {
    Bytes all(data);
    if (all.u32(0) != 1 || all.u32(40) != kEmfSignature)
        return {};
    const std::uint32_t headerSize = all.u32(4);
    const QRectF frame01mm(QPointF(all.s32(24), all.s32(28)), QPointF(all.s32(32), all.s32(36)));
    const double devW = all.s32(72), devH = all.s32(76), mmW = all.s32(80), mmH = all.s32(84);
    const std::uint32_t handles = all.u16(56);
    if (!all.ok() || headerSize < 88 || headerSize > all.size())
        return {};
    pxPerMmX_ = devW > 0 && mmW > 0 ? devW / mmW : 96 / 25.4;
    pxPerMmY_ = devH > 0 && mmH > 0 ? devH / mmH : 96 / 25.4;
    // The frame is inclusive and in hundredths of a millimetre of the reference device.
    QRectF device(QPointF(frame01mm.left() * pxPerMmX_ / 100, frame01mm.top() * pxPerMmY_ / 100),
                  QPointF((frame01mm.right() + 1) * pxPerMmX_ / 100, (frame01mm.bottom() + 1) * pxPerMmY_ / 100));
    if (device.width() <= 0 || device.height() <= 0) {
        const QRectF bounds(QPointF(all.s32(8), all.s32(12)), QPointF(all.s32(16) + 1, all.s32(20) + 1));
        device = bounds;
    }
    if (device.width() <= 0 || device.height() <= 0)
        return {};
    deviceToImage_ = QTransform::fromTranslate(-device.x(), -device.y()) *
                     QTransform::fromScale(image_.width() / device.width(), image_.height() / device.height());
    objects_.resize(handles);
    std::size_t pos = 0;
    while (all.has(pos, 8)) {
        const std::uint32_t type = all.u32(pos), size = all.u32(pos + 4);
        if (size < 8 || size > all.size() - pos)
            break;
        if (type == 14) // EOF
            break;
        Bytes record(data.sliced(static_cast<qsizetype>(pos), static_cast<qsizetype>(size)));
        if (!playEmfRecord(type, record) || !record.ok())
            ++result_.skippedRecords;
        pos += size;
    }
    return result_;
}

bool Player::playEmfRecord(std::uint32_t type, Bytes& r) {
    // Offsets below count from the record's start: type (4) and size (4) come first.
    auto pointl = [&](std::size_t at) { return QPointF(r.s32(at), r.s32(at + 4)); };
    auto rectl = [&](std::size_t at) { return QRectF(pointl(at), pointl(at + 8)); };
    auto sizel = [&](std::size_t at) { return QSizeF(r.s32(at), r.s32(at + 4)); };
    auto points = [&](std::size_t at, std::size_t count, bool small) {
        QPolygonF poly;
        const std::size_t each = small ? 4 : 8;
        if (count > r.size() / each || !r.has(at, count * each)) {
            r.u8(r.size());
            return poly;
        }
        poly.reserve(static_cast<qsizetype>(count));
        for (std::size_t i = 0; i < count; ++i)
            poly.append(small ? QPointF(r.s16(at + 4 * i), r.s16(at + 4 * i + 2)) : pointl(at + 8 * i));
        return poly;
    };
    // Poly records: bounds (16), count (4), points.
    auto poly = [&](bool small) { return points(28, r.u32(24), small); };
    auto polyPoly = [&](bool small, bool closed) {
        const std::size_t n = r.u32(24), total = r.u32(28);
        if (n > r.size() / 4 || !r.has(32, n * 4))
            return false;
        std::vector<QPolygonF> polys;
        std::size_t at = 32 + n * 4, used = 0;
        for (std::size_t i = 0; i < n && r.ok(); ++i) {
            const std::size_t count = r.u32(32 + 4 * i);
            if (count > total - used)
                return false;
            polys.push_back(points(at, count, small));
            at += count * (small ? 4 : 8);
            used += count;
        }
        if (!r.ok())
            return false;
        if (closed) {
            polyPolygon(polys, true);
        } else {
            for (const QPolygonF& p : polys)
                polyline(p);
        }
        return true;
    };
    auto polylineTo = [&](const QPolygonF& pts) {
        for (const QPointF& pt : pts)
            lineTo(pt);
    };
    auto dib = [&](std::size_t offBmi, std::size_t cbBmi, std::size_t offBits, std::size_t cbBits) {
        const QByteArrayView header = r.view(offBmi, cbBmi), bits = r.view(offBits, cbBits);
        if (!r.ok() || header.isEmpty())
            return QImage();
        QByteArray packed(header.data(), header.size());
        packed.append(bits.data(), bits.size());
        return imageFromDib(packed);
    };
    switch (type) {
    case 1: return true; // header, read already
    case 9: dc_.windowExt = sizel(8); dc_.windowExtSet = true; return true;
    case 10: dc_.windowOrg = pointl(8); return true;
    case 11: dc_.viewportExt = sizel(8); return true;
    case 12: dc_.viewportOrg = pointl(8); return true;
    case 17: dc_.mapMode = static_cast<MapMode>(std::clamp<int>(r.s32(8), 1, 8)); return true;
    case 18: dc_.opaqueBackground = r.u32(8) == 2; return true;
    case 19: dc_.fillRule = r.u32(8) == 2 ? Qt::WindingFill : Qt::OddEvenFill; return true;
    case 22: dc_.textAlign = r.u32(8); return true;
    case 24: dc_.textColor = colorRef(r.u32(8)); return true;
    case 25: dc_.bkColor = colorRef(r.u32(8)); return true;
    case 27: moveTo(pointl(8)); return true;
    case 54: lineTo(pointl(8)); return true;
    case 33: saved_.push_back(dc_); return true;
    case 34: restoreDc(r.s32(8)); return true;
    case 35: { // SetWorldTransform
        const QTransform t(r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28));
        if (r.ok())
            dc_.world = t;
        return true;
    }
    case 36: { // ModifyWorldTransform
        const QTransform t(r.f32(8), r.f32(12), r.f32(16), r.f32(20), r.f32(24), r.f32(28));
        if (!r.ok())
            return false;
        switch (r.u32(32)) {
        case 1: dc_.world = QTransform(); break;
        case 2: dc_.world = t * dc_.world; break;
        case 3: dc_.world = dc_.world * t; break;
        case 4: dc_.world = t; break;
        default: return false;
        }
        return true;
    }
    case 37: select(r.u32(8)); return true;
    case 40: remove(r.u32(8)); return true;
    case 38: // CreatePen: ih, style, width (POINTL; x used), colour
        store(r.u32(8), LogPen{penFor(static_cast<int>(r.u32(12)), r.s32(16), colorRef(r.u32(24)))});
        return true;
    case 95: { // ExtCreatePen: ih, offBmi, cbBmi, offBits, cbBits, style, width, brush style, colour
        const bool geometric = r.u32(28) & 0x10000, nullBrush = r.u32(36) == 1;
        store(r.u32(8), LogPen{penFor(nullBrush ? 5 : static_cast<int>(r.u32(28)), geometric ? r.s32(32) : 0,
                                      colorRef(r.u32(40)))});
        return true;
    }
    case 39: // CreateBrushIndirect
        store(r.u32(8), LogBrush{brushFor(r.u32(12), colorRef(r.u32(16)), r.u32(20))});
        return true;
    case 93: case 94: // pattern brushes
        store(r.u32(8), LogBrush{QBrush(Qt::gray)});
        return true;
    case 49: // CreatePalette
        store(r.u32(8), Placeholder{});
        return true;
    case 82: { // ExtCreateFontIndirectW
        LogFont f;
        f.height = r.s32(12);
        f.escapement = r.s32(20);
        f.weight = r.s32(28);
        f.italic = r.u8(32);
        f.underline = r.u8(33);
        f.strike = r.u8(34);
        f.charset = static_cast<int>(r.u8(35));
        for (std::size_t i = 0; i < 32 && r.has(40 + 2 * i, 2); ++i) {
            const char16_t c = static_cast<char16_t>(r.u16(40 + 2 * i));
            if (c == 0)
                break;
            f.face.append(QChar(c));
        }
        store(r.u32(8), f);
        return r.ok();
    }
    case 42: ellipse(rectl(8)); return true;
    case 43: rectangle(rectl(8)); return true;
    case 44: roundRect(rectl(8), sizel(24)); return true;
    case 45: case 46: case 47: // Arc, Chord, Pie: box, start, end
        arc(type == 45 ? ArcKind::Arc : type == 46 ? ArcKind::Chord : ArcKind::Pie, rectl(8), pointl(24), pointl(32));
        return r.ok();
    case 3: polygon(poly(false)); return true;
    case 86: polygon(poly(true)); return true;
    case 4: polyline(poly(false)); return true;
    case 87: polyline(poly(true)); return true;
    case 6: polylineTo(poly(false)); return true;
    case 89: polylineTo(poly(true)); return true;
    case 2: bezier(poly(false), false); return true;
    case 85: bezier(poly(true), false); return true;
    case 5: bezier(poly(false), true); return true;
    case 88: bezier(poly(true), true); return true;
    case 8: return polyPoly(false, true);
    case 91: return polyPoly(true, true);
    case 7: return polyPoly(false, false);
    case 90: return polyPoly(true, false);
    case 59: path_ = QPainterPath(); return true; // BeginPath
    case 60: if (path_) lastPath_ = *path_; path_.reset(); return true;
    case 61: if (path_) path_->closeSubpath(); return true;
    case 68: path_.reset(); lastPath_ = {}; return true; // AbortPath
    case 62: drawPath(lastPath_, false, true); lastPath_ = {}; return true;
    case 63: drawPath(lastPath_, true, true); lastPath_ = {}; return true;
    case 64: drawPath(lastPath_, true, false); lastPath_ = {}; return true;
    case 67: lastPath_ = {}; return true; // SelectClipPath: clipping is not kept
    case 83: case 84: { // ExtTextOutA / ExtTextOutW: bounds, mode, scales, then EMRTEXT
        const QPointF reference = pointl(36);
        const std::size_t n = r.u32(44), offString = r.u32(48), options = r.u32(52), offDx = r.u32(72);
        const QRectF opaqueRect = rectl(56);
        const bool wide = type == 84;
        const std::size_t shown = std::min(n, kMaxTextChars);
        QString s;
        if (wide) {
            const QByteArrayView bytes = r.view(offString, shown * 2);
            if (!r.ok())
                return false;
            for (std::size_t i = 0; i < shown; ++i)
                s.append(QChar(static_cast<char16_t>(static_cast<unsigned char>(bytes[static_cast<qsizetype>(2 * i)]) |
                                                     static_cast<unsigned char>(bytes[static_cast<qsizetype>(2 * i + 1)]) << 8)));
        } else {
            const QByteArrayView bytes = r.view(offString, shown);
            if (!r.ok())
                return false;
            s = decodeText(bytes);
        }
        std::vector<double> dx;
        if (offDx != 0 && r.has(offDx, shown * 4) && static_cast<std::size_t>(s.size()) == shown)
            for (std::size_t i = 0; i < shown; ++i)
                dx.push_back(r.s32(offDx + 4 * i));
        text(reference, s, dx, options & kEtoOpaque, opaqueRect);
        return true;
    }
    case 81: { // StretchDIBits
        const QRectF dest(r.s32(24), r.s32(28), r.s32(72), r.s32(76));
        const QRect source = sourceRect(r.s32(32), r.s32(36), r.s32(40), r.s32(44));
        const std::uint32_t rop = r.u32(68);
        if (!r.ok())
            return false;
        bitmap(dest, source, true, dib(r.u32(48), r.u32(52), r.u32(56), r.u32(60)), rop);
        return true;
    }
    case 76: case 77: { // BitBlt, StretchBlt
        const QRectF dest(r.s32(24), r.s32(28), r.s32(32), r.s32(36));
        const std::uint32_t rop = r.u32(40);
        const std::size_t cbBmi = r.u32(88);
        if (!r.ok())
            return false;
        if (cbBmi == 0) {
            fillWith(dest, rop);
            return true;
        }
        const QRect source = type == 77 ? sourceRect(r.s32(44), r.s32(48), r.s32(100), r.s32(104))
                                        : sourceRect(r.s32(44), r.s32(48), static_cast<std::int64_t>(dest.width()),
                                                     static_cast<std::int64_t>(dest.height()));
        bitmap(dest, source, false, dib(r.u32(84), cbBmi, r.u32(92), r.u32(96)), rop);
        return r.ok();
    }
    case 70: // GdiComment
    case 30: case 75: case 26: case 21: case 16: case 98: case 114: // clipping, mapper, colour and
        return true;                                                // layout settings we do not keep
    default:
        return false;
    }
}

} // namespace

QImage imageFromDib(QByteArrayView dib) {
    Bytes b(dib);
    const std::uint32_t headerSize = b.u32(0);
    if (!b.ok() || headerSize < 12 || headerSize > b.size())
        return {};
    const bool core = headerSize < 40;
    const std::uint32_t bitCount = core ? b.u16(10) : b.u16(14);
    const std::uint32_t compression = core ? 0 : b.u32(16);
    std::uint32_t colours = core ? 0 : b.u32(32);
    if (colours == 0 && bitCount > 0 && bitCount <= 8)
        colours = 1u << bitCount;
    std::uint64_t offset = headerSize + std::min<std::uint32_t>(colours, 256) * (core ? 3u : 4u);
    if (headerSize == 40 && (compression == 3 || compression == 6))
        offset += compression == 3 ? 12 : 16; // the colour masks follow the header
    if (!b.ok() || offset > b.size())
        return {};
    if (compression == 4 || compression == 5) { // the bits are a JPEG or PNG stream
        QImage image;
        image.loadFromData(dib.sliced(static_cast<qsizetype>(offset)), compression == 4 ? "JPEG" : "PNG");
        return image;
    }
    // Image readers expect the 14-byte file header that a packed DIB lacks.
    QByteArray bmp("BM");
    const std::uint32_t fileSize = 14 + static_cast<std::uint32_t>(dib.size());
    for (std::uint32_t v : {fileSize, 0u, static_cast<std::uint32_t>(14 + offset)})
        for (int i = 0; i < 4; ++i)
            bmp.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    bmp.append(dib.data(), dib.size());
    QImage image;
    image.loadFromData(bmp, "BMP");
    return image;
}

MetafileResult playMetafile(MetafileKind kind, QByteArrayView data, QSize size) {
    if (size.width() <= 0 || size.height() <= 0)
        return {};
    size = size.boundedTo(QSize(kMetafileMaxPixels, kMetafileMaxPixels));
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    MetafileResult result;
    {
        Player player(image, QRectF(0, 0, size.width(), size.height()));
        switch (kind) {
        case MetafileKind::Wmf: result = player.playWmf(data); break;
        case MetafileKind::Emf: result = player.playEmf(data); break;
        }
    }
    if (result.drawnRecords > 0)
        result.image = std::move(image);
    return result;
}

} // namespace workflow::richtext
