// Plays Windows metafiles (WMF and EMF pictures pasted in RTF) onto a QPainter: mapping
// modes and window/viewport, pens, brushes and fonts, lines, polygons, shapes, text and
// DIB bitmaps. Records it does not know are skipped; every length and count is checked
// against its record, so damaged data stops the picture, never the reader.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>

#include <string_view>

namespace workflow::richtext {

enum class MetafileKind { Wmf, Emf };
std::string_view to_string(MetafileKind kind);

// Pictures are drawn at about the fax's fine resolution, so they keep their detail when
// the page is painted; the size in pixels is capped against hostile goals.
inline constexpr double kMetafileDotsPerInch = 204.0;
inline constexpr int kMetafileMaxPixels = 4096;

struct MetafileResult {
    QImage image;         // null when nothing could be drawn
    int drawnRecords = 0; // records that put something on the picture
    int skippedRecords = 0;
};

// Draws the metafile into a white image of `size` pixels, its picture frame filling
// the image. A WMF may start with the 22-byte placeable header or without it (as RTF
// stores it).
MetafileResult playMetafile(MetafileKind kind, QByteArrayView data, QSize size);

// A packed DIB (BITMAPINFOHEADER or BITMAPCOREHEADER, colour table, bits) as an image.
QImage imageFromDib(QByteArrayView dib);

} // namespace workflow::richtext
