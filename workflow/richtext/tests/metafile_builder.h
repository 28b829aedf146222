// Small WMF and EMF writers for the tests: records are put together from their fields,
// so each test says what it draws.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>
#include <initializer_list>

namespace workflow::testing {

inline void put16(QByteArray& b, int v) {
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>((v >> 8) & 0xFF));
}
inline void put32(QByteArray& b, std::int64_t v) {
    for (int i = 0; i < 4; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
}

// A packed DIB (BITMAPINFOHEADER, palette, bottom-up rows) of a one-bit image.
inline QByteArray packedDib(const QImage& source) {
    const QImage image = source.convertToFormat(QImage::Format_Mono);
    QByteArray dib;
    put32(dib, 40);
    put32(dib, image.width());
    put32(dib, image.height());
    put16(dib, 1);
    put16(dib, 1);
    for (int i = 0; i < 6; ++i)
        put32(dib, i == 4 ? 2 : 0); // compression, size, x/y resolution, colours used (2), important
    for (int i = 0; i < 2; ++i) {
        const QRgb c = image.color(i);
        dib.append(static_cast<char>(qBlue(c)));
        dib.append(static_cast<char>(qGreen(c)));
        dib.append(static_cast<char>(qRed(c)));
        dib.append('\0');
    }
    const int stride = ((image.width() + 31) / 32) * 4;
    for (int y = image.height() - 1; y >= 0; --y) {
        QByteArray row(reinterpret_cast<const char*>(image.constScanLine(y)), (image.width() + 7) / 8);
        row.resize(stride, '\0');
        dib.append(row);
    }
    return dib;
}

class WmfBuilder {
public:
    // Parameters as 16-bit words, in the order the record stores them.
    void record(std::uint16_t function, std::initializer_list<int> words) {
        QByteArray params;
        for (int w : words)
            put16(params, w);
        record(function, params);
    }
    void record(std::uint16_t function, const QByteArray& params) {
        QByteArray p = params;
        if (p.size() % 2)
            p.append('\0');
        put32(records_, 3 + p.size() / 2);
        put16(records_, function);
        records_.append(p);
        maxWords_ = std::max<std::int64_t>(maxWords_, 3 + p.size() / 2);
    }
    void createObject(std::uint16_t function, std::initializer_list<int> words) {
        record(function, words);
        ++objects_;
    }
    QByteArray finish() const {
        QByteArray out;
        put16(out, 1);
        put16(out, 9);
        put16(out, 0x0300);
        put32(out, (18 + records_.size() + 6) / 2);
        put16(out, objects_);
        put32(out, maxWords_);
        put16(out, 0);
        out.append(records_);
        put32(out, 3);
        put16(out, 0);
        return out;
    }

private:
    QByteArray records_;
    int objects_ = 0;
    std::int64_t maxWords_ = 3;
};

class EmfBuilder {
public:
    void record(std::uint32_t type, const QByteArray& payload) {
        QByteArray p = payload;
        while (p.size() % 4)
            p.append('\0');
        put32(records_, type);
        put32(records_, 8 + p.size());
        records_.append(p);
        ++count_;
    }
    void record(std::uint32_t type, std::initializer_list<std::int64_t> dwords) {
        QByteArray p;
        for (auto d : dwords)
            put32(p, d);
        record(type, p);
    }
    // A picture of the given size in device pixels of a 96-dpi reference device.
    QByteArray finish(int widthPx, int heightPx, int handles) const {
        QByteArray out;
        put32(out, 1);
        put32(out, 88);
        for (int v : {0, 0, widthPx - 1, heightPx - 1})
            put32(out, v);
        // The frame in hundredths of a millimetre, inclusive.
        for (int v : {0, 0, widthPx * 2540 / 96 - 1, heightPx * 2540 / 96 - 1})
            put32(out, v);
        put32(out, 0x464D4520);
        put32(out, 0x10000);
        const std::int64_t bytes = 88 + records_.size() + 20;
        put32(out, bytes);
        put32(out, count_ + 2);
        put16(out, handles);
        put16(out, 0);
        for (int v : {0, 0, 0, 960, 960, 254, 254})
            put32(out, v);
        out.append(records_);
        for (int v : {14, 20, 0, 16, 20})
            put32(out, v);
        return out;
    }

private:
    QByteArray records_;
    int count_ = 0;
};

} // namespace workflow::testing
