#include <QGlyphRun>
#include <QHash>
#include <QPainterPath>
#include <QRawFont>
#include <QStaticText>
#include <QStringList>
#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <iterator>
#include <map>
#include <optional>
#include <string_view>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "platform/qt/draw.h"
#include "platform/qt/pixels.h"

namespace tarvolen::qt {
namespace {

// The paints under way, innermost last: a row's paint registers one for
// each row. Room is kept for more than paints ever nest, so a context
// stays where it is while another is registered.
constexpr std::size_t kMostContexts = 32;
std::vector<std::pair<int32_t, DrawContext>>& Contexts() {
    static std::vector<std::pair<int32_t, DrawContext>> contexts = [] {
        std::vector<std::pair<int32_t, DrawContext>> v;
        v.reserve(kMostContexts);
        return v;
    }();
    return contexts;
}
int32_t g_nextContext = 1;

struct PrintFormat {
    int32_t mode = 0;
    int32_t right = 0;
    int32_t bottom = 0;
    int32_t flags = 0;
    int32_t extra = 0;
};
PrintFormat g_print;

DrawContext* Context(int32_t dc) {
    auto& contexts = Contexts();
    for (auto it = contexts.rbegin(); it != contexts.rend(); ++it)
        if (it->first == dc) return &it->second;
    return nullptr;
}

}  // namespace

ScopedDrawContext::ScopedDrawContext(const DrawContext& context) : value_(g_nextContext++) {
    if (g_nextContext <= 0) g_nextContext = 1;
    // Deeper than paints nest: its drawing calls find no context and draw nothing.
    if (Contexts().size() < kMostContexts) Contexts().emplace_back(value_, context);
}

ScopedDrawContext::~ScopedDrawContext() {
    auto& contexts = Contexts();
    const auto it = std::find_if(contexts.rbegin(), contexts.rend(),
                                 [this](const auto& c) { return c.first == value_; });
    if (it != contexts.rend()) contexts.erase(std::next(it).base());
}

DrawContext* FindDrawContext(int32_t dc) {
    return Context(dc);
}

namespace {

uint64_t Fnv(uint64_t hash, const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < size; ++i) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

// Lists one drawing call and mixes it into the fingerprint; false when it
// need not be painted (a dry run, or nothing of it in the part repainted).
bool Record(DrawContext& c, const QRect& rect, uint64_t hash, int margin = 1) {
    c.fingerprint = Mixed(c.fingerprint, hash);
    // By default a pixel more on each side: antialiased edges and wide pens.
    const QRect box = rect.adjusted(-margin, -margin, margin, margin);
    if (c.ops) c.ops->push_back(DrawOp{box, hash});
    if (!c.painter) return false;
    if (!c.only) return true;
    if (!Meets(c.onlyBounds, box)) return false;
    if (c.onlyParts.size() == 1) return true;
    return std::any_of(c.onlyParts.begin(), c.onlyParts.end(),
                       [&](const QRect& part) { return Meets(part, box); });
}

}  // namespace

void Mix(DrawContext& c, const void* data, size_t size) {
    c.fingerprint = Fnv(c.fingerprint, data, size);
}

void ClipFor(DrawContext& c, const QRect& reach) {
    if (c.painter && c.within.isValid() && !Holds(c.within, reach) && !c.painter->hasClipping())
        c.painter->setClipRect(c.within);
}

DrawContext FireOwnerDraw(const std::string& form, int32_t id, int32_t code,
                          const DrawContext& context) {
    ScopedDrawContext scoped(context);
    auto saved =
        std::make_tuple(B().foreground, B().background, B().hasCurrentFont, B().currentFont);
    PrintFormat savedPrint = g_print;
    g_print = PrintFormat{};
    B().Fire(form, id, code, scoped.Value());
    std::tie(B().foreground, B().background, B().hasCurrentFont, B().currentFont) = saved;
    g_print = savedPrint;
    return *Context(scoped.Value());
}

void DrawSymbol(QPainter& p, const QRectF& r, QChar symbol, bool wingdings, bool small,
                const QColor& color) {
    p.save();
    p.setRenderHint(QPainter::Antialiasing, true);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    double s = std::min(r.width(), r.height());
    QRectF box(r.center().x() - s / 2, r.center().y() - s / 2, s, s);
    auto tri = [&](QPointF a, QPointF b, QPointF c) {
        QPainterPath path;
        path.moveTo(a);
        path.lineTo(b);
        path.lineTo(c);
        path.closeSubpath();
        p.drawPath(path);
    };
    double l = box.left(), t = box.top(), w = box.width(), h = box.height();
    char16_t u = symbol.unicode();
    if (wingdings && (u == 0xE8 || u == 0xE7)) {
        // Right (è) or left (ç) arrow.
        bool right = u == 0xE8;
        QPen pen(color, std::max(1.5, s * 0.14), Qt::SolidLine, Qt::FlatCap);
        p.setPen(pen);
        double y = t + h / 2;
        double x0 = l + w * 0.1, x1 = l + w * 0.9;
        if (right)
            p.drawLine(QPointF(x0, y), QPointF(x1 - w * 0.25, y));
        else
            p.drawLine(QPointF(x0 + w * 0.25, y), QPointF(x1, y));
        p.setPen(Qt::NoPen);
        if (right)
            tri({x1, y}, {x1 - w * 0.35, y - h * 0.28}, {x1 - w * 0.35, y + h * 0.28});
        else
            tri({x0, y}, {x0 + w * 0.35, y - h * 0.28}, {x0 + w * 0.35, y + h * 0.28});
    } else if (!wingdings) {
        switch (u) {
            case '7':  // rewind
                tri({l + w * 0.05, t + h / 2}, {l + w * 0.5, t + h * 0.2},
                    {l + w * 0.5, t + h * 0.8});
                tri({l + w * 0.5, t + h / 2}, {l + w * 0.95, t + h * 0.2},
                    {l + w * 0.95, t + h * 0.8});
                break;
            case '3':  // play reverse
                tri({l + w * 0.2, t + h / 2}, {l + w * 0.8, t + h * 0.15},
                    {l + w * 0.8, t + h * 0.85});
                break;
            case '<':  // stop
                p.drawRect(QRectF(l + w * 0.22, t + h * 0.22, w * 0.56, h * 0.56));
                break;
            case '4':  // play
                tri({l + w * 0.8, t + h / 2}, {l + w * 0.2, t + h * 0.15},
                    {l + w * 0.2, t + h * 0.85});
                break;
            case '8':  // fast forward
                tri({l + w * 0.5, t + h / 2}, {l + w * 0.05, t + h * 0.2},
                    {l + w * 0.05, t + h * 0.8});
                tri({l + w * 0.95, t + h / 2}, {l + w * 0.5, t + h * 0.2},
                    {l + w * 0.5, t + h * 0.8});
                break;
            case '5':  // eject; small, it is the ascending sort mark
                if (small) {
                    tri({l + w / 2, t + h * 0.25}, {l + w * 0.15, t + h * 0.75},
                        {l + w * 0.85, t + h * 0.75});
                } else {
                    tri({l + w / 2, t + h * 0.12}, {l + w * 0.12, t + h * 0.58},
                        {l + w * 0.88, t + h * 0.58});
                    p.drawRect(QRectF(l + w * 0.12, t + h * 0.68, w * 0.76, h * 0.16));
                }
                break;
            case '6':  // descending sort mark
                tri({l + w / 2, t + h * 0.75}, {l + w * 0.15, t + h * 0.25},
                    {l + w * 0.85, t + h * 0.25});
                break;
            case '`': {  // loop: a circular arrow
                QPen pen(color, std::max(1.5, s * 0.12), Qt::SolidLine, Qt::FlatCap);
                p.setPen(pen);
                p.setBrush(Qt::NoBrush);
                QRectF ring(l + w * 0.18, t + h * 0.18, w * 0.64, h * 0.64);
                p.drawArc(ring, 100 * 16, 290 * 16);
                p.setPen(Qt::NoPen);
                p.setBrush(color);
                QPointF tip(ring.center().x() + ring.width() / 2 * std::cos(100 * M_PI / 180),
                            ring.center().y() - ring.height() / 2 * std::sin(100 * M_PI / 180));
                tri({tip.x() + w * 0.2, tip.y()}, {tip.x() - w * 0.02, tip.y() - h * 0.18},
                    {tip.x() - w * 0.02, tip.y() + h * 0.18});
                break;
            }
            default: {
                // Any other character: a small dot, never an empty box.
                p.drawEllipse(box.center(), s * 0.12, s * 0.12);
                break;
            }
        }
    } else {
        p.drawEllipse(box.center(), s * 0.12, s * 0.12);
    }
    p.restore();
}

namespace {

// The channel list draws the same few hundred texts thirty times a second:
// keep their layouts. Bounded; a full cache starts again.
const QStaticText& LaidOut(const QString& text, const FontSpec& font) {
    static std::map<QString, QHash<QString, QStaticText>> byFont;
    auto& texts = byFont[font.key.isEmpty() ? font.font.key() : font.key];
    auto it = texts.find(text);
    if (it != texts.end()) return *it;
    if (texts.size() > 4096) texts.clear();
    QStaticText laid(text);
    laid.setTextFormat(Qt::PlainText);
    laid.setPerformanceHint(QStaticText::AggressiveCaching);
    laid.prepare(QTransform(), font.font);
    return *texts.insert(text, laid);
}

// Digits and their separators, as running timecodes are written: a new
// text every frame, which a layout of its own would cost far more than its
// drawing. Their glyphs are placed by their advances, which is where the
// layout puts them too (no kerning among them).
struct DigitFont {
    static constexpr std::string_view kChars = "0123456789:;.-+ ";
    QRawFont raw;
    std::array<quint32, kChars.size()> glyph{};
    std::array<double, kChars.size()> advance{};
    // How far any glyph's ink may reach left of its pen position and right
    // of its advance: one margin for all, so a digit's box stays put while
    // the digit changes.
    double inkBefore = 0, inkAfter = 0;
    // How far above and below the baseline any glyph's outline reaches.
    double inkTop = 0, inkBottom = 0;
    double height = 0;
    double ascent = 0;
    bool usable = false;
    // Reused for every line drawn: a run of its own cost each line two lists
    // and a run to allocate. GUI thread only.
    mutable QGlyphRun run;

    explicit DigitFont(const QFont& font) : raw(QRawFont::fromFont(font)) {
        if (!raw.isValid() || font.underline() || font.strikeOut() || font.overline()) return;
        const QList<quint32> glyphs = raw.glyphIndexesForString(QString::fromLatin1(kChars));
        if (glyphs.size() != qsizetype(kChars.size())) return;
        const QList<QPointF> advances = raw.advancesForGlyphIndexes(
            glyphs, QRawFont::SeparateAdvances | QRawFont::UseDesignMetrics);
        for (std::size_t i = 0; i < kChars.size(); ++i) {
            if (glyphs[qsizetype(i)] == 0) return;
            glyph[i] = glyphs[qsizetype(i)];
            advance[i] = advances[qsizetype(i)].x();
            const QRectF ink = raw.boundingRect(glyph[i]);
            inkBefore = std::max(inkBefore, -ink.left());
            inkAfter = std::max(inkAfter, ink.right() - advance[i]);
            inkTop = std::min(inkTop, ink.top());
            inkBottom = std::max(inkBottom, ink.bottom());
        }
        QStaticText zero(QStringLiteral("0"));
        zero.setTextFormat(Qt::PlainText);
        zero.prepare(QTransform(), font);
        height = zero.size().height();
        ascent = raw.ascent();
        run.setRawFont(raw);
        usable = true;
    }
    static const DigitFont& Of(const FontSpec& font) {
        static std::map<QString, DigitFont> fonts;
        // A list draws its rows' digits in one font: the last one is kept.
        static QString lastKey;
        static const DigitFont* last = nullptr;
        const QString& key = font.key.isEmpty() ? font.font.key() : font.key;
        if (last && key == lastKey) return *last;
        auto it = fonts.find(key);
        if (it == fonts.end()) it = fonts.emplace(key, DigitFont(font.font)).first;
        lastKey = key;
        last = &it->second;
        return it->second;
    }
    static constexpr qsizetype kLongest = 64;
    using Chars = std::array<uint8_t, kLongest>;
    using Offsets = std::array<double, kLongest>;
    // Which of kChars each character of text is and where its pen goes, and
    // the line's width; false when it has other characters.
    template <class Text>
    bool Place(const Text& text, Chars& chars, Offsets& xs, double& width) const {
        if (!usable || text.size() == 0 || qsizetype(text.size()) > kLongest) return false;
        double x = 0;
        std::size_t k = 0;
        for (const auto c : text) {
            const unsigned code = Code(c);
            const uint8_t i = code < kIndex.size() ? kIndex[code] : kNone;
            if (i == kNone) return false;
            chars[k] = i;
            xs[k++] = x;
            x += advance[i];
        }
        width = x;
        return true;
    }

  private:
    // Each character's place in kChars, by its code.
    static constexpr uint8_t kNone = 0xff;
    static constexpr std::array<uint8_t, 128> kIndex = [] {
        std::array<uint8_t, 128> index{};
        index.fill(kNone);
        for (std::size_t i = 0; i < kChars.size(); ++i) index[uint8_t(kChars[i])] = uint8_t(i);
        return index;
    }();
    static unsigned Code(QChar c) { return c.unicode(); }
    static unsigned Code(char c) { return static_cast<unsigned char>(c); }
};

// One line of text placed in rect as drawText would place it.
struct PlacedLine {
    const QStaticText* laid = nullptr;
    // Or, for digits, which of the font's characters each is, where, and
    // whether it is drawn.
    const DigitFont* digitFont = nullptr;
    DigitFont::Chars chars{};
    DigitFont::Offsets xs{};
    std::array<bool, DigitFont::kLongest> keep{};
    qsizetype glyphCount = 0;  // none: not digits
    QSizeF size;
    QPointF at;
    bool fits = true;  // else it is clipped to rect

    PlacedLine(const QRect& rect, int alignment, const FontSpec& font, const QString& text) {
        if (!PlaceDigits(font, text)) {
            laid = &LaidOut(text, font);
            size = laid->size();
        }
        Align(rect, alignment);
    }
    // Only a line of digits, which needs no text of Qt's; Glyphs() tells.
    PlacedLine(const QRect& rect, int alignment, const FontSpec& font, std::string_view digits) {
        if (PlaceDigits(font, digits)) Align(rect, alignment);
    }
    // Where it can leave ink, inside rect.
    QRect Ink(const QRect& rect) const {
        return Both(QRect(int(at.x()), int(at.y()), int(std::ceil(size.width())) + 1,
                          int(std::ceil(size.height())) + 1),
                    rect);
    }
    qsizetype Glyphs() const { return glyphCount; }
    // The pixels the digit line's glyph k can leave ink on, inside rect: no
    // more, or its neighbours would be drawn again with it each time.
    QRect GlyphInk(qsizetype k, const QRect& rect) const { return Both(GlyphBox(k), rect); }
    char GlyphChar(qsizetype k) const { return DigitFont::kChars[chars[size_t(k)]]; }
    // Digits may be written straight into the pixels of direct, when it has them.
    void Draw(QPainter& p, const QRect& rect, const FontSpec& font, const QColor& color,
              const DrawContext* direct = nullptr) const {
        // Font and pen are put back by hand: a full save and restore of the
        // painter costs more than the text on a busy channel list. Digits
        // bring their own font, and set the pen only when Qt draws them.
        std::optional<std::pair<QFont, QPen>> old;
        if (laid) {
            old.emplace(p.font(), p.pen());
            p.setFont(font.font);
            p.setPen(color);
        }
        if (!fits) {
            p.save();
            p.setClipRect(rect, Qt::IntersectClip);
        }
        if (laid)
            p.drawStaticText(at, *laid);
        else
            DrawDigits(p, direct && direct->pixels ? direct : nullptr, rect, color);
        if (!fits) p.restore();
        if (old) {
            p.setFont(old->first);
            p.setPen(old->second);
        }
    }

  private:
    template <class Text>
    bool PlaceDigits(const FontSpec& font, const Text& text) {
        const DigitFont& digits = DigitFont::Of(font);
        double width = 0;
        if (!digits.Place(text, chars, xs, width)) return false;
        digitFont = &digits;
        glyphCount = qsizetype(text.size());
        std::fill(keep.begin(), keep.end(), true);
        size = QSizeF(width, digits.height);
        return true;
    }
    void Align(const QRect& rect, int alignment) {
        double x = rect.left(), y = rect.top();
        if (alignment & Qt::AlignHCenter)
            x += (rect.width() - size.width()) / 2;
        else if (alignment & Qt::AlignRight)
            x = rect.right() + 1 - size.width();
        if (alignment & Qt::AlignVCenter)
            y += (rect.height() - size.height()) / 2;
        else if (alignment & Qt::AlignBottom)
            y = rect.bottom() + 1 - size.height();
        at = QPointF(std::floor(x), std::floor(y));
        fits = size.width() <= rect.width() && size.height() <= rect.height();
    }
    // Across: from the pen, less the furthest any glyph's ink reaches before
    // it, to the advance, plus the furthest any reaches beyond it. Down: the
    // rows the outlines reach, a pixel more each way for antialiasing.
    QRect GlyphBox(qsizetype k) const {
        const double x = at.x() + xs[size_t(k)];
        const double left = std::floor(x - digitFont->inkBefore);
        const double right =
            std::ceil(x + digitFont->advance[chars[size_t(k)]] + digitFont->inkAfter);
        const double baseline = at.y() + digitFont->ascent;
        const int top = std::max(int(at.y()), int(std::floor(baseline + digitFont->inkTop)) - 1);
        const int bottom = std::min(int(at.y()) + int(std::ceil(size.height())),
                                    int(std::ceil(baseline + digitFont->inkBottom)) + 1);
        return QRect(QPoint(int(left), top), QPoint(int(right) - 1, bottom));
    }
    // The glyphs kept, from the line's own arrays; a glyph whose box lies
    // whole in a part repainted is written straight when it can be.
    void DrawDigits(QPainter& p, const DrawContext* direct, const QRect& rect,
                    const QColor& color) const {
        std::array<quint32, DigitFont::kLongest> glyphs;
        std::array<QPointF, DigitFont::kLongest> positions;
        int n = 0;
        QGlyphRun& run = digitFont->run;
        // The pen is set, and put back, only when Qt draws a glyph.
        std::optional<QPen> oldPen;
        auto draw = [&] {
            if (n == 0) return;
            if (!oldPen) {
                oldPen = p.pen();
                p.setPen(color);
            }
            run.setRawData(glyphs.data(), positions.data(), n);
            p.drawGlyphRun(at, run);
            run.setRawData(nullptr, nullptr, 0);
            n = 0;
        };
        for (qsizetype k = 0; k < glyphCount; ++k) {
            if (!keep[size_t(k)]) continue;
            const quint32 glyph = digitFont->glyph[chars[size_t(k)]];
            const QPointF position(xs[size_t(k)], digitFont->ascent);
            const QRect box = GlyphBox(k);
            // The parts of its box being painted, in pixels.
            std::array<QRect, 8> parts;
            size_t count = 0;
            if (direct && Holds(rect, box) && Holds(direct->within, box)) {
                for (const QRect& part : direct->onlyParts) {
                    const QRect both = Both(part, box);
                    if (both.isEmpty()) continue;
                    if (count == parts.size()) {
                        count = 0;
                        break;
                    }
                    parts[count++] = both.translated(direct->origin);
                }
            }
            if (count == 0) {
                glyphs[size_t(n)] = glyph;
                positions[size_t(n++)] = position;
                continue;
            }
            // Those before it first: their ink may reach into its box.
            draw();
            // Its pixels depend on the pen's fraction of a pixel; the line
            // starts on a whole one.
            const double fraction = position.x() - std::floor(position.x());
            uint64_t what = reinterpret_cast<uintptr_t>(digitFont);
            for (const uint64_t word :
                 {uint64_t(glyph) << 32 | color.rgba(), std::bit_cast<uint64_t>(fraction)})
                what = Mixed(what, word);
            const QRect pixels = box.translated(direct->origin);
            const GlyphWrite w =
                WriteGlyph(*direct->pixels, pixels, std::span(parts.data(), count), what);
            if (w.written) continue;
            glyphs[0] = glyph;
            positions[0] = position;
            n = 1;
            if (!w.keep) continue;
            draw();
            KeepGlyph(*direct->pixels, pixels, w.key);
        }
        draw();
        if (oldPen) p.setPen(*oldPen);
    }
};

}  // namespace

void DrawTextIn(QPainter& p, const QRect& rect, int alignment, const FontSpec& font,
                const QString& text, const QColor& color, Qt::TextElideMode elide) {
    if (!font.symbol) {
        QString shown = text;
        if (elide != Qt::ElideNone && !(alignment & Qt::TextWordWrap)) {
            QFontMetrics fm(font.font);
            QStringList lines = text.split('\n');
            for (auto& line : lines) line = fm.elidedText(line, elide, rect.width());
            shown = lines.join('\n');
        }
        if (!shown.contains('\n')) {
            PlacedLine(rect, alignment, font, shown).Draw(p, rect, font, color);
            return;
        }
        const QFont oldFont = p.font();
        const QPen oldPen = p.pen();
        p.setFont(font.font);
        p.setPen(color);
        p.drawText(rect, alignment, shown);
        p.setFont(oldFont);
        p.setPen(oldPen);
        return;
    }
    // Symbol captions: each character an icon the size of the font, lines stacked.
    QString t = text;
    t.replace("\r\n", "\n").replace('|', '\n');
    QStringList lines = t.split('\n', Qt::SkipEmptyParts);
    if (lines.isEmpty()) return;
    double px = font.font.pixelSize() > 0 ? font.font.pixelSize() : 16;
    double cell = lines.size() > 1 ? std::min(px, double(rect.height()) / lines.size()) : px;
    bool small = font.points < 14;
    double total = cell * lines.size();
    double y = rect.top();
    if (alignment & Qt::AlignVCenter)
        y = rect.top() + (rect.height() - total) / 2;
    else if (alignment & Qt::AlignBottom)
        y = rect.bottom() - total;
    for (const QString& line : lines) {
        double width = cell * line.size();
        double x = rect.left();
        if (alignment & Qt::AlignHCenter)
            x = rect.left() + (rect.width() - width) / 2;
        else if (alignment & Qt::AlignRight)
            x = rect.right() - width;
        for (QChar c : line) {
            if (c != ' ') DrawSymbol(p, QRectF(x, y, cell, cell), c, font.wingdings, small, color);
            x += cell;
        }
        y += cell;
    }
}

}  // namespace tarvolen::qt

using namespace tarvolen::qt;

bool EZ_STARTOWNERDRAW(int32_t value, EzDrawInfo& info) {
    DrawContext* c = Context(value);
    if (!c) return false;
    info.dc = value;
    info.item = c->item;
    info.width = c->width;
    info.height = c->height;
    info.pushed = c->pushed;
    info.focused = c->focused;
    info.selected = c->selected;
    return true;
}

void EZ_ENDOWNERDRAW(int32_t) {
    g_print = PrintFormat{};
}

void EZ_DCDRAW(int32_t dc, int32_t type, int32_t x1, int32_t y1, int32_t x2, int32_t y2,
               int32_t lineWidth) {
    DrawContext* c = Context(dc);
    if (!c) return;
    QColor fg = B().Color(B().foreground, Qt::black);
    QColor bg = B().Color(B().background, Qt::white);
    QRect r = QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
                    QPoint(std::max(x1, x2), std::max(y1, y2)));
    {
        const QRgb colors[2] = {fg.rgba(), B().background >= 0 ? bg.rgba() : 0u};
        const int32_t args[6] = {type, x1, y1, x2, y2, lineWidth};
        const int32_t pen = std::max(1, lineWidth);
        const QRect reach = r.adjusted(-pen, -pen, pen, pen);
        if (!Record(*c, reach, Fnv(Fnv(0, colors, sizeof colors), args, sizeof args))) return;
        // A fill is cut to the box by hand, which needs no clip; its edge
        // lies inside the item, and so inside the box.
        if (type == EZ_DRAW_FILL && c->within.isValid())
            r &= c->within;
        else
            ClipFor(*c, reach);
    }
    QPainter& p = *c->painter;
    switch (type) {
        case EZ_DRAW_FILL: {
            // Only the parts being repainted: Qt cuts a fill to a repaint of
            // many small parts line by line.
            if (B().background >= 0 && c->only) {
                for (const QRect& part : c->onlyParts) {
                    const QRect cut = Both(r, part);
                    if (cut.isEmpty()) continue;
                    if (!c->pixels || !Holds(c->within, cut) ||
                        !WriteFill(p, *c->pixels, c->origin, cut, bg))
                        p.fillRect(cut, bg);
                }
            } else if (B().background >= 0) {
                p.fillRect(r, bg);
            }
            // The first colour edges the fill: a dark button on a dark form
            // still shows where it is.
            QRect edge = r.intersected(QRect(0, 0, c->width, c->height));
            if (B().foreground >= 0 && fg != bg && !edge.isEmpty()) {
                p.setPen(QPen(fg, 1));
                p.setBrush(Qt::NoBrush);
                p.drawRect(edge.adjusted(0, 0, -1, -1));
            }
            break;
        }
        case EZ_DRAW_BOX: {
            QPen pen(fg, std::max(1, lineWidth));
            pen.setJoinStyle(Qt::MiterJoin);
            p.setPen(pen);
            p.setBrush(Qt::NoBrush);
            p.drawRect(r.adjusted(0, 0, -1, -1));
            break;
        }
        case EZ_DRAW_LINE:
            p.setPen(QPen(fg, std::max(1, lineWidth)));
            p.drawLine(QPoint(x1, y1), QPoint(x2, y2));
            break;
        default:
            break;
    }
}

namespace {

// Where each text other than digits leaves ink, by its call: a channel list
// repaints a few digits in a row whose other texts stay as they were, and
// their place is all it needs of them. Bounded; a full cache starts again.
std::unordered_map<uint64_t, QRect>& TextBoxes() {
    static std::unordered_map<uint64_t, QRect> boxes;
    return boxes;
}

// Digits are listed glyph by glyph, so a running timecode repaints the
// digits that moved, not the whole line, and only the glyphs in the part
// being repainted are drawn.
void PrintDigits(DrawContext& c, PlacedLine& line, const QRect& r, uint64_t hash,
                 const FontSpec& font, const QColor& fg) {
    bool any = false;
    for (qsizetype k = 0; k < line.Glyphs(); ++k) {
        const char ch = line.GlyphChar(k);
        line.keep[size_t(k)] = Record(c, line.GlyphInk(k, r), Fnv(hash, &ch, 1), 0);
        any = any || line.keep[size_t(k)];
    }
    if (!any) return;
    ClipFor(c, line.Ink(r).adjusted(-1, -1, 1, 1));
    line.Draw(*c.painter, r, font, fg, &c);
}

}  // namespace

void EZ_DCPRINT(int32_t dc, int32_t x, int32_t y, const std::string& text) {
    DrawContext* c = Context(dc);
    if (!c) return;
    const FontSpec& font = B().hasCurrentFont ? B().currentFont : *B().Font(4);
    QColor fg = B().Color(B().foreground, Qt::black);
    uint64_t hash = 0;
    {
        const QRgb color = fg.rgba();
        const int32_t args[7] = {
            x, y, g_print.mode, g_print.right, g_print.bottom, g_print.flags, g_print.extra};
        const double points = font.points;
        hash = Fnv(0, &color, sizeof color);
        hash = Fnv(hash, args, sizeof args);
        hash = Fnv(hash, font.face.data(), font.face.size());
        hash = Fnv(hash, font.props.data(), font.props.size());
        hash = Fnv(hash, &points, sizeof points);
    }
    const QRect r =
        g_print.mode == 2
            ? QRect(QPoint(x, y), QPoint(std::max(x, g_print.right), std::max(y, g_print.bottom)))
            : QRect(x, y, std::max(1, c->width - x), std::max(1, c->height - y));
    int align = Qt::AlignLeft | Qt::AlignTop;
    Qt::TextElideMode elide = Qt::ElideNone;
    if (g_print.mode == 2) {
        align = (g_print.flags & 16) ? Qt::AlignHCenter : Qt::AlignLeft;
        align |= (g_print.flags & 32) ? Qt::AlignVCenter : Qt::AlignTop;
        elide = (g_print.extra & 16)   ? Qt::ElideRight
                : (g_print.extra & 64) ? Qt::ElideMiddle
                                       : Qt::ElideNone;
    }
    const bool plain = !font.symbol && elide == Qt::ElideNone;
    // A running timecode, a new text every frame, goes straight from its bytes.
    if (plain) {
        PlacedLine digits(r, align, font, std::string_view(text));
        if (digits.Glyphs() > 0) {
            PrintDigits(*c, digits, r, hash, font, fg);
            return;
        }
    }
    // Everything the box depends on: the call, the text and the item's size.
    const uint64_t textHash = Fnv(hash, text.data(), text.size() + 1);
    const int32_t size[2] = {c->width, c->height};
    const uint64_t boxKey = Fnv(textHash, size, sizeof size);
    const auto known = TextBoxes().find(boxKey);
    const bool recorded = known != TextBoxes().end();
    if (recorded && !Record(*c, known->second, textHash)) return;
    QString t = ToQ(text);
    if (g_print.mode == 2) {
        if (g_print.flags & 32) {
            // Symbol captions keep their lines: the ping-pong arrows stack.
            if (!font.symbol) t.replace("\r\n", " ");
        } else {
            t.replace("\r\n", "\n");
        }
        // Two-line button captions: "|" starts the second line.
        if (g_print.extra & 32) t.replace('|', '\n');
    }
    // A plain line is listed by where it leaves ink, so a neighbour that
    // changes (a running timecode beside its state) repaints only itself.
    std::optional<PlacedLine> line;
    if (plain && !t.contains('\n')) line.emplace(r, align, font, t);
    if (line && line->Glyphs() > 0) {
        PrintDigits(*c, *line, r, hash, font, fg);
        return;
    }
    // Lines of several may run out of their box: they count as the whole item.
    QRect box = line ? line->Ink(r) : r;
    if (text.find('\n') != std::string::npos && !font.symbol)
        box = QRect(0, 0, std::max(1, c->width), std::max(1, c->height));
    if (!recorded) {
        if (TextBoxes().size() >= 4096) TextBoxes().clear();
        TextBoxes().emplace(boxKey, box);
        if (!Record(*c, box, textHash)) return;
    }
    ClipFor(*c, line ? box.adjusted(-1, -1, 1, 1) : r.united(box));
    if (line)
        line->Draw(*c->painter, r, font, fg);
    else
        DrawTextIn(*c->painter, r, align, font, t, fg, elide);
}

void EZ_SETPRINTFORMAT(int32_t mode, int32_t right, int32_t bottom, int32_t flags, int32_t extra) {
    g_print = PrintFormat{mode, right, bottom, flags, extra};
}

// A full save of the painter costs more than a row's changed digits: only
// the clip a call may leave (ClipFor's, set where there was none) is kept.
void EZ_DCSAVESTATE(int32_t dc) {
    DrawContext* c = Context(dc);
    if (!c || !c->painter) return;
    if (c->saves < 32 && c->painter->hasClipping()) c->clipSaved |= 1u << c->saves;
    ++c->saves;
}

void EZ_DCRESTORESTATE(int32_t dc) {
    DrawContext* c = Context(dc);
    if (!c || !c->painter || c->saves == 0) return;
    --c->saves;
    const uint32_t bit = c->saves < 32 ? 1u << c->saves : 0;
    const bool wasClipped = bit != 0 && (c->clipSaved & bit);
    c->clipSaved &= ~bit;
    if (!wasClipped && c->painter->hasClipping()) c->painter->setClipping(false);
}
