#include <QPaintEngine>

#include <algorithm>
#include <cmath>
#include <span>
#include <unordered_map>
#include <vector>

#include "platform/qt/draw.h"
#include "platform/qt/pixels.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tarvolen::qt {
namespace {

// Rows of an image's pixels, read through its const view: a detach would
// move the image from under its painter.
struct Rows {
    explicit Rows(const QImage& image)
        : bits(const_cast<uchar*>(image.constBits())), stride(image.bytesPerLine()) {}
    QRgb* operator[](int y) const { return reinterpret_cast<QRgb*>(bits + y * stride); }
    uchar* bits;
    qsizetype stride;
};

// Rows of a glyph or a part are a few pixels wide: four at a time, the last
// four overlapping the ones before.
#if defined(__SSE2__)
__m128i Load(const QRgb* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
}
void Store(QRgb* p, __m128i v) {
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
}
bool AllAre(const QRgb* p, int n, QRgb value) {
    if (n < 4) return std::all_of(p, p + n, [value](QRgb v) { return v == value; });
    const __m128i four = _mm_set1_epi32(int(value));
    __m128i differ = _mm_xor_si128(Load(p + n - 4), four);
    for (int i = 0; i + 4 <= n; i += 4)
        differ = _mm_or_si128(differ, _mm_xor_si128(Load(p + i), four));
    return _mm_movemask_epi8(_mm_cmpeq_epi32(differ, _mm_setzero_si128())) == 0xffff;
}
void Copy(const QRgb* from, QRgb* to, int n) {
    if (n < 4) {
        std::copy_n(from, n, to);
        return;
    }
    for (int i = 0; i + 4 <= n; i += 4) Store(to + i, Load(from + i));
    Store(to + n - 4, Load(from + n - 4));
}
void Fill(QRgb* to, int n, QRgb value) {
    if (n < 4) {
        std::fill_n(to, n, value);
        return;
    }
    const __m128i four = _mm_set1_epi32(int(value));
    for (int i = 0; i + 4 <= n; i += 4) Store(to + i, four);
    Store(to + n - 4, four);
}
#else
bool AllAre(const QRgb* p, int n, QRgb value) {
    return std::all_of(p, p + n, [value](QRgb v) { return v == value; });
}
void Copy(const QRgb* from, QRgb* to, int n) {
    std::copy_n(from, n, to);
}
void Fill(QRgb* to, int n, QRgb value) {
    std::fill_n(to, n, value);
}
#endif

struct Cell {
    int width = 0, height = 0;
    std::vector<QRgb> pixels;
};

// Bounded; a full cache starts again. GUI thread only.
std::unordered_map<uint64_t, Cell>& Cells() {
    static std::unordered_map<uint64_t, Cell> cells;
    return cells;
}

}  // namespace

QImage* PaintedPixels(QPainter& painter, const QRegion& region, QPoint& origin) {
    QPaintEngine* engine = painter.paintEngine();
    if (!engine || engine->type() != QPaintEngine::Raster) return nullptr;
    QPaintDevice* device = engine->paintDevice();
    if (!device || device->devType() != QInternal::Image) return nullptr;
    auto* image = static_cast<QImage*>(device);
    const QImage::Format format = image->format();
    if (format != QImage::Format_RGB32 && format != QImage::Format_ARGB32_Premultiplied)
        return nullptr;
    if (image->devicePixelRatio() != 1.0 || painter.hasClipping() || painter.opacity() != 1.0 ||
        painter.compositionMode() != QPainter::CompositionMode_SourceOver)
        return nullptr;
    const QTransform t = painter.deviceTransform();
    if (t.type() > QTransform::TxTranslate || t.dx() != std::floor(t.dx()) ||
        t.dy() != std::floor(t.dy()))
        return nullptr;
    origin = QPoint(int(t.dx()), int(t.dy()));
    // Written pixels are cut to the event's region: it must be all the clip.
    if (engine->systemClip() != region.translated(origin)) return nullptr;
    return image;
}

bool WriteFill(QPainter& painter, QImage& pixels, QPoint origin, const QRect& rect,
               const QColor& color) {
    if (color.alpha() != 255) return false;
    const QRect box = rect.translated(origin);
    if (!pixels.rect().contains(box)) return false;
    // Colour and format to the pixel fillRect left: a handful, looked up.
    static std::vector<std::pair<uint64_t, QRgb>> known;
    const uint64_t key = (uint64_t(pixels.format()) << 32) | color.rgba();
    auto it =
        std::find_if(known.begin(), known.end(), [&](const auto& k) { return k.first == key; });
    if (it == known.end()) {
        painter.fillRect(rect, color);
        if (known.size() >= 64) known.clear();
        known.emplace_back(key, Rows(pixels)[box.top()][box.left()]);
        return true;
    }
    const Rows rows(pixels);
    for (int y = box.top(); y <= box.bottom(); ++y)
        Fill(rows[y] + box.left(), box.width(), it->second);
    return true;
}

GlyphWrite WriteGlyph(QImage& pixels, const QRect& box, std::span<const QRect> parts,
                      uint64_t key) {
    GlyphWrite w;
    const QRect image = pixels.rect();
    if (parts.empty() || !image.contains(box)) return w;
    const Rows rows(pixels);
    const QRgb plain = rows[parts[0].top()][parts[0].left()];
    qint64 area = 0;
    for (const QRect& part : parts) {
        for (int y = part.top(); y <= part.bottom(); ++y) {
            if (!AllAre(rows[y] + part.left(), part.width(), plain)) return w;
        }
        area += qint64(part.width()) * part.height();
    }
    w.key = Mixed(Mixed(key, plain), (uint64_t(pixels.format()) << 32) ^
                                         (uint64_t(box.width()) << 16) ^ uint64_t(box.height()));
    const auto it = Cells().find(w.key);
    if (it == Cells().end()) {
        // Only a glyph painted whole shows all of itself.
        w.keep = area == qint64(box.width()) * box.height();
        return w;
    }
    const Cell& cell = it->second;
    if (cell.width != box.width() || cell.height != box.height()) return GlyphWrite{};
    for (const QRect& part : parts) {
        const QRgb* from =
            cell.pixels.data() + (part.top() - box.top()) * cell.width + (part.left() - box.left());
        for (int y = part.top(); y <= part.bottom(); ++y, from += cell.width)
            Copy(from, rows[y] + part.left(), part.width());
    }
    w.written = true;
    return w;
}

void KeepGlyph(const QImage& pixels, const QRect& box, uint64_t key) {
    if (Cells().size() >= 4096) Cells().clear();
    Cell cell;
    cell.width = box.width();
    cell.height = box.height();
    cell.pixels.reserve(size_t(cell.width) * size_t(cell.height));
    const Rows rows(pixels);
    for (int y = box.top(); y <= box.bottom(); ++y) {
        const QRgb* line = rows[y] + box.left();
        cell.pixels.insert(cell.pixels.end(), line, line + box.width());
    }
    Cells()[key] = std::move(cell);
}

}  // namespace tarvolen::qt
