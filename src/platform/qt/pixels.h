// Writing a widget paint's pixels straight, where what Qt paints there is
// known: a channel list repaints a few digits of each recording row thirty
// times a second, and Qt's fills and glyph blending, cut to a repaint of many
// small parts, cost more than the rest of the row's drawing together.
#pragma once

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>

#include <cstdint>
#include <span>

namespace tarvolen::qt {

// The image a paint event's painter paints into, and in origin where its
// logical (0, 0) lies there; nullptr unless it paints a 32-bit image
// unscaled, unclipped but for region, plainly (no opacity, no composition).
QImage* PaintedPixels(QPainter& painter, const QRegion& region, QPoint& origin);

// Fills rect (logical) with an opaque colour as fillRect does: the first
// time through fillRect, then by writing the pixel that left. rect must lie
// inside the paint's clip. False, and nothing filled, for a colour that is
// not opaque.
bool WriteFill(QPainter& painter, QImage& pixels, QPoint origin, const QRect& rect,
               const QColor& color);

// A glyph drawn on one plain colour is the same pixels wherever it lands at
// the same fraction of a pixel. WriteGlyph writes the glyph key (its font,
// colour and fraction, told apart by the caller) whose ink lies in box (in
// pixels) into the parts of box being painted, when they are all one colour
// and it was kept on that colour before; when it was not, and the parts are
// all of box, the caller draws it and keeps it.
struct GlyphWrite {
    bool written = false;
    bool keep = false;  // draw it, then KeepGlyph(box, key)
    uint64_t key = 0;
};
GlyphWrite WriteGlyph(QImage& pixels, const QRect& box, std::span<const QRect> parts, uint64_t key);
void KeepGlyph(const QImage& pixels, const QRect& box, uint64_t key);

}  // namespace tarvolen::qt
