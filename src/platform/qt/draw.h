// Owner drawing: the drawing contexts handed to the program during a paint,
// the print format, and the symbol-font glyphs drawn as icons.
#pragma once

#include <QImage>
#include <QPainter>
#include <QRect>
#include <QRegion>
#include <QString>

#include <algorithm>
#include <span>
#include <vector>

#include "platform/qt/backend.h"

namespace tarvolen::qt {

// One drawing call of an owner draw: the box it may touch and a fingerprint
// of what it drew there.
struct DrawOp {
    QRect rect;
    uint64_t hash = 0;
};

struct DrawContext {
    QPainter* painter = nullptr;  // none: a dry run that only takes the fingerprint
    int32_t item = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool pushed = false;
    bool focused = false;
    bool selected = false;
    // Fingerprint of everything drawn, so a list can tell which rows changed.
    uint64_t fingerprint = 1469598103934665603ull;
    bool opaque = false;  // something was drawn that the fingerprint cannot see
    // When set, every drawing call is listed here.
    std::vector<DrawOp>* ops = nullptr;
    // When set, calls that touch nothing inside it are not painted; set
    // onlyBounds to its bounding box and onlyParts to its rectangles with it.
    const QRegion* only = nullptr;
    QRect onlyBounds;
    std::span<const QRect> onlyParts;
    // When set (with only), the image the painter paints, its logical (0, 0)
    // at origin there and nothing outside only painted: a call whose pixels
    // are known may write them itself.
    QImage* pixels = nullptr;
    QPoint origin;
    // When valid, the box the drawing belongs in (a list row): a call that
    // could reach outside it is clipped to it. Only then: a clip within a
    // repaint of many small parts costs more than the call's drawing.
    QRect within;
    // The clip as each saved state had it (a bit a level): drawing calls
    // change no other state of the painter that outlives them.
    uint32_t clipSaved = 0;
    int saves = 0;
};

// QRect's own tests and intersection are calls into Qt; a row lists and
// cuts dozens of boxes thirty times a second. For valid rectangles.
inline bool Meets(const QRect& a, const QRect& b) {
    return !a.isEmpty() && !b.isEmpty() && a.left() <= b.right() && b.left() <= a.right() &&
           a.top() <= b.bottom() && b.top() <= a.bottom();
}
inline bool Holds(const QRect& outer, const QRect& inner) {
    return !outer.isEmpty() && !inner.isEmpty() && outer.left() <= inner.left() &&
           inner.right() <= outer.right() && outer.top() <= inner.top() &&
           inner.bottom() <= outer.bottom();
}
inline QRect Both(const QRect& a, const QRect& b) {
    if (!Meets(a, b)) return QRect();
    return QRect(QPoint(std::max(a.left(), b.left()), std::max(a.top(), b.top())),
                 QPoint(std::min(a.right(), b.right()), std::min(a.bottom(), b.bottom())));
}

// Clips the context's painter to its box before a call that may paint
// anywhere in reach.
void ClipFor(DrawContext& c, const QRect& reach);

// Mixes a word into a hash (splitmix's finaliser): rows list dozens of
// calls thirty times a second.
inline uint64_t Mixed(uint64_t hash, uint64_t word) {
    uint64_t x = hash ^ word;
    x = (x ^ (x >> 30)) * 0xbf58476d1ce4e5b9ull;
    x = (x ^ (x >> 27)) * 0x94d049bb133111ebull;
    return x ^ (x >> 31);
}

// Mixes a value into a context's fingerprint (FNV-1a).
void Mix(DrawContext& c, const void* data, size_t size);

// Registers a context for the length of a paint; its number is the draw value
// of the owner-draw event and the dc of the drawing calls.
class ScopedDrawContext {
  public:
    explicit ScopedDrawContext(const DrawContext& context);
    ~ScopedDrawContext();
    ScopedDrawContext(const ScopedDrawContext&) = delete;
    ScopedDrawContext& operator=(const ScopedDrawContext&) = delete;
    int32_t Value() const { return value_; }

  private:
    int32_t value_;
};

// The context registered under a draw value, or nullptr.
DrawContext* FindDrawContext(int32_t dc);

// Fires an owner-draw event with the program's drawing settings saved around
// it, so drawing never changes what the next created control gets. Returns
// the context as the drawing left it (with its fingerprint).
DrawContext FireOwnerDraw(const std::string& form, int32_t id, int32_t code,
                          const DrawContext& context);

// Draws text in rect with Qt alignment flags; symbol fonts draw icons. A line
// too wide for rect is shortened with an ellipsis where elide says.
void DrawTextIn(QPainter& painter, const QRect& rect, int alignment, const FontSpec& font,
                const QString& text, const QColor& color, Qt::TextElideMode elide = Qt::ElideNone);

// Draws one symbol-font character as an icon centred in rect.
void DrawSymbol(QPainter& painter, const QRectF& rect, QChar symbol, bool wingdings, bool small,
                const QColor& color);

}  // namespace tarvolen::qt
