// The toolkit's list view: rows of cell texts, drawn by the toolkit or by the
// program (owner-drawn rows), with a header whose columns the operator may
// resize and reorder.
#include <QAbstractScrollArea>
#include <QBitmap>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QStyle>
#include <QStyleOptionButton>
#include <QToolTip>
#include <algorithm>
#include <utility>

#include "platform/qt/draw.h"
#include "platform/qt/listview.h"
#include "platform/qt/listview_header.h"
#include "platform/qt/pixels.h"
#include "platform/qt/qt_seam.h"
#include "shell/text.h"

namespace tarvolen::qt {
namespace {

// Click information waiting to be read by EZ_GETLVCLICKINFO, by event value.
struct Click {
    int32_t row, column, x;
};
std::map<int32_t, Click>& Clicks() {
    static std::map<int32_t, Click> clicks;
    return clicks;
}
int32_t g_nextClick = 1;

// Whether a region covers the whole of a rectangle (QRegion::contains only
// asks for an overlap).
bool Covers(const QRegion& region, const QRect& rect) {
    // Mostly one of its rectangles does, or its bounds do not (a repaint of
    // a few digits and a whole row): neither needs region arithmetic.
    if (rect.isEmpty()) return true;
    if (!region.boundingRect().contains(rect)) return false;
    for (const QRect& part : region)
        if (part.contains(rect)) return true;
    return QRegion(rect).subtracted(region).isEmpty();
}

// Whether two lists of drawing calls within bounds differ only inside a region.
bool SameOutside(const std::vector<DrawOp>& a, const std::vector<DrawOp>& b, const QRegion& inside,
                 const QRect& bounds) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].hash == b[i].hash && a[i].rect == b[i].rect) continue;
        if (!Covers(inside, a[i].rect & bounds) || !Covers(inside, b[i].rect & bounds))
            return false;
    }
    return true;
}

// Where two lists of the same drawing calls differ; nothing when they are
// not lists of the same calls.
QRegion Differing(const std::vector<DrawOp>& a, const std::vector<DrawOp>& b) {
    QRegion differing;
    if (a.size() != b.size()) return differing;
    // Neighbouring calls that differ (the digits of a line) are joined into
    // one box before they go into the region: each addition costs it an
    // allocation and a merge.
    QRect joined;
    auto add = [&](const QRect& rect) {
        if (rect.isEmpty()) return;
        const bool beside = joined.top() == rect.top() && joined.bottom() == rect.bottom() &&
                            rect.left() <= joined.right() + 1 && rect.right() >= joined.left() - 1;
        if (beside) {
            joined |= rect;
            return;
        }
        if (!joined.isEmpty()) differing += joined;
        joined = rect;
    };
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].hash == b[i].hash && a[i].rect == b[i].rect) continue;
        add(a[i].rect);
        if (b[i].rect != a[i].rect) add(b[i].rect);
    }
    if (!joined.isEmpty()) differing += joined;
    return differing;
}

}  // namespace

ListView::ListView(std::string form, int32_t id, const std::string& columns,
                   const std::string& props)
    : form_(std::move(form)), id_(id) {
    std::string up = ToUpper(props);
    ownerDrawn_ = up.find('O') != std::string::npos;
    headerHidden_ = up.find('N') != std::string::npos;
    headerOwnerDrawn_ = up.find('#') != std::string::npos && ownerDrawn_;
    checkBoxes_ = up.find('X') != std::string::npos && !ownerDrawn_;
    model_ = new QStandardItemModel(this);
    header_ = headerOwnerDrawn_ ? MakeOwnerDrawnHeader(form_, id_, this)
                                : new QHeaderView(Qt::Horizontal, this);
    header_->setModel(model_);
    header_->setSectionsMovable(true);
    header_->setStretchLastSection(false);
    header_->setSectionsClickable(true);
    // Columns "Title{chars}{L|C|R}|...".
    QStringList columnTexts = ToQ(columns).split('|');
    model_->setColumnCount(int(columnTexts.size()));
    for (int i = 0; i < columnTexts.size(); ++i) {
        QString columnText = columnTexts[i];
        QString title = columnText.section('{', 0, 0);
        int chars = 10;
        int align = Qt::AlignLeft;
        int pos = 0;
        while ((pos = columnText.indexOf('{', pos)) >= 0) {
            int end = columnText.indexOf('}', pos);
            if (end < 0) break;
            QString inner = columnText.mid(pos + 1, end - pos - 1);
            bool ok = false;
            int n = inner.toInt(&ok);
            if (ok)
                chars = n;
            else if (inner == "C")
                align = Qt::AlignHCenter;
            else if (inner == "R")
                align = Qt::AlignRight;
            pos = end + 1;
        }
        model_->setHeaderData(i, Qt::Horizontal, title);
        alignments_.push_back(align);
        header_->resizeSection(i, chars * kColumnPixels);
    }
    if (headerHidden_) header_->hide();
    connect(header_, &QHeaderView::sectionResized, this, [this] { Relayout(); });
    connect(header_, &QHeaderView::sectionMoved, this, [this] { viewport()->update(); });
    connect(header_, &QHeaderView::sectionClicked, this,
            [this](int logical) { B().Fire(form_, id_, EZ_EV_HEADERCLICK, logical); });
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, [this](int v) {
        header_->setOffset(v);
        viewport()->update();
    });
    rowHeight_ = QFontMetrics(font()).height() + 4;
    // The list fills what it repaints itself (PaintRows): Qt's fill first
    // would be painted over again.
    viewport()->setAutoFillBackground(false);
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    Relayout();
}

int32_t ListView::AddRow(const std::string& text, int32_t index) {
    std::vector<QString> row(size_t(std::max(1, ColumnCount())));
    row[0] = ToQ(text);
    if (index < 0 || index >= int32_t(rows_.size())) {
        rows_.push_back(std::move(row));
        index = int32_t(rows_.size()) - 1;
    } else {
        rows_.insert(rows_.begin() + index, std::move(row));
        if (selected_ >= index) ++selected_;
    }
    if (checkBoxes_)
        checks_.insert(checks_.begin() + std::min<size_t>(size_t(index), checks_.size()), 1);
    Changed();
    return index;
}

void ListView::Clear() {
    rows_.clear();
    checks_.clear();
    selected_ = -1;
    Changed();
}

void ListView::Reserve(int32_t count) {
    rows_.reserve(size_t(std::max(0, count)));
}

bool ListView::SetText(int32_t row, int32_t column, const std::string& text, bool queue) {
    if (row < 0 || row >= int32_t(rows_.size()) || column < 0 || column >= ColumnCount())
        return false;
    auto& cells = rows_[size_t(row)];
    if (cells.size() < size_t(ColumnCount())) cells.resize(size_t(ColumnCount()));
    // Writing a cell redraws its row, even with the same text: the program
    // rewrites cells to have them drawn again. An owner-drawn row is looked
    // at once the writes of this turn of the event loop are in, and only
    // what its drawing changed is painted.
    cells[size_t(column)] = ToQ(text);
    if (!ownerDrawn_) {
        viewport()->update(RowRect(row));
        return false;
    }
    written_.push_back(row);
    if (!std::exchange(writtenQueued_, true) && queue)
        QMetaObject::invokeMethod(this, &ListView::RedrawWritten, Qt::QueuedConnection);
    return true;
}

std::string ListView::Text(int32_t row, int32_t column) const {
    if (row < 0 || row >= int32_t(rows_.size()) || column < 0) return {};
    const auto& cells = rows_[size_t(row)];
    return size_t(column) < cells.size() ? FromQ(cells[size_t(column)]) : std::string();
}

int32_t ListView::ColumnCount() const {
    return model_->columnCount();
}

int32_t ListView::ColumnWidth(int32_t column) const {
    return column >= 0 && column < ColumnCount() ? header_->sectionSize(column) : 0;
}

void ListView::SetColumnWidth(int32_t column, int32_t pixels) {
    if (column >= 0 && column < ColumnCount()) header_->resizeSection(column, std::max(0, pixels));
}

std::vector<int32_t> ListView::ColumnOrder() const {
    std::vector<int32_t> order;
    for (int v = 0; v < ColumnCount(); ++v) order.push_back(header_->logicalIndex(v));
    return order;
}

void ListView::SetRowHeight(int32_t pixels) {
    rowHeight_ = std::max(1, pixels);
    Relayout();
}

void ListView::SetSelected(int32_t row) {
    selected_ = row >= 0 && row < int32_t(rows_.size()) ? row : -1;
    viewport()->update();
}

void ListView::EnsureVisible(int32_t row) {
    if (row < 0) return;
    int top = row * rowHeight_;
    int v = verticalScrollBar()->value();
    if (top < v)
        verticalScrollBar()->setValue(top);
    else if (top + rowHeight_ > v + viewport()->height())
        verticalScrollBar()->setValue(top + rowHeight_ - viewport()->height());
}

void ListView::ScrollBy(int32_t dx, int32_t dy) {
    horizontalScrollBar()->setValue(horizontalScrollBar()->value() + dx);
    verticalScrollBar()->setValue(verticalScrollBar()->value() + dy);
}

QRect ListView::RowRect(int32_t row) const {
    return QRect(-horizontalScrollBar()->value(), row * rowHeight_ - verticalScrollBar()->value(),
                 std::max(TotalWidth(), viewport()->width()), rowHeight_);
}

int32_t ListView::CountPerPage() const {
    return std::max(1, viewport()->height() / rowHeight_);
}

void ListView::SortBy(int32_t column, bool descending) {
    if (column < 0 || column >= ColumnCount()) return;
    std::vector<size_t> order(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    auto cell = [&](size_t r) {
        const auto& cells = rows_[r];
        return size_t(column) < cells.size() ? cells[size_t(column)] : QString();
    };
    std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
        int c = QString::compare(cell(a), cell(b), Qt::CaseInsensitive);
        return descending ? c > 0 : c < 0;
    });
    // Rows move with their check boxes and the selection stays on its row.
    std::vector<std::vector<QString>> rows(rows_.size());
    std::vector<uint8_t> checks(checks_.size());
    int32_t selected = -1;
    for (size_t i = 0; i < order.size(); ++i) {
        rows[i] = std::move(rows_[order[i]]);
        if (order[i] < checks_.size()) checks[i] = checks_[order[i]];
        if (int32_t(order[i]) == selected_) selected = int32_t(i);
    }
    rows_ = std::move(rows);
    checks_ = std::move(checks);
    selected_ = selected;
    viewport()->update();
}

int32_t ListView::Find(int32_t column, const std::string& text, int32_t from) const {
    QString t = ToQ(text);
    for (int32_t i = std::max(0, from); i < int32_t(rows_.size()); ++i) {
        const auto& cells = rows_[size_t(i)];
        if (size_t(column) < cells.size() &&
            cells[size_t(column)].compare(t, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void ListView::AutoSizeColumns() {
    QFontMetrics fm(font());
    for (int c = 0; c < ColumnCount(); ++c) {
        int w = fm.horizontalAdvance(model_->headerData(c, Qt::Horizontal).toString()) + 24;
        for (const auto& row : rows_) {
            if (size_t(c) < row.size()) w = std::max(w, fm.horizontalAdvance(row[size_t(c)]) + 12);
        }
        header_->resizeSection(c, w);
    }
}

int ListView::TotalWidth() const {
    // The header keeps the sum of its sections: every row's box needs it.
    return header_->length();
}

void ListView::Changed() {
    Relayout();
    viewport()->update();
}

void ListView::Relayout() {
    int headerH = headerHidden_ ? 0 : header_->sizeHint().height();
    setViewportMargins(0, headerH, 0, 0);
    header_->setGeometry(frameWidth(), frameWidth(), viewport()->width(), headerH);
    int contentH = int(rows_.size()) * rowHeight_;
    verticalScrollBar()->setPageStep(viewport()->height());
    verticalScrollBar()->setSingleStep(rowHeight_);
    verticalScrollBar()->setRange(0, std::max(0, contentH - viewport()->height()));
    horizontalScrollBar()->setPageStep(viewport()->width());
    horizontalScrollBar()->setRange(0, std::max(0, TotalWidth() - viewport()->width()));
    viewport()->update();
}

void ListView::resizeEvent(QResizeEvent* e) {
    QAbstractScrollArea::resizeEvent(e);
    Relayout();
}

void ListView::paintEvent(QPaintEvent* e) {
    QPainter painter(viewport());
    QPoint origin;
    QImage* const pixels = PaintedPixels(painter, e->region(), origin);
    PaintRows(painter, e, pixels, origin);
    // The keyboard is here: a frame inside the list's edge. A repaint of
    // running timecodes seldom reaches it, and intersecting all their small
    // parts with the frame's costs as much as drawing them.
    if (hasFocus() && !FocusFrame().isEmpty()) {
        const QColor highlight = palette().color(QPalette::Highlight);
        for (const QRect& part : e->region()) {
            if (focusFree_.contains(part)) continue;
            for (const QRect& r : focusFrame_.intersected(part))
                if (!pixels || !WriteFill(painter, *pixels, origin, r, highlight))
                    painter.fillRect(r, highlight);
        }
    }
}

namespace {

// A mask's region lists each scan line apart; lines alike joined, a frame is
// a few boxes, and cheap to intersect.
QRegion JoinedLines(const QRegion& lines) {
    std::vector<QRect> joined;
    std::size_t band = 0;  // where the last band begins in joined
    for (auto it = lines.begin(); it != lines.end();) {
        auto end = it;
        while (end != lines.end() && end->top() == it->top()) ++end;
        const std::size_t count = std::size_t(end - it);
        const bool alike = joined.size() - band == count &&
                           joined[band].bottom() + 1 == it->top() &&
                           std::equal(it, end, joined.begin() + std::ptrdiff_t(band),
                                      [](const QRect& a, const QRect& b) {
                                          return a.left() == b.left() && a.right() == b.right();
                                      });
        if (alike) {
            for (std::size_t k = band; k < joined.size(); ++k) joined[k].setBottom(it->bottom());
        } else {
            band = joined.size();
            joined.insert(joined.end(), it, end);
        }
        it = end;
    }
    QRegion region;
    region.setRects(joined.data(), int(joined.size()));
    return region;
}

}  // namespace

QRegion ListView::FocusFrame() {
    // The pixels a 2-pixel stroke inside the edge covers, stroked once per
    // size: stroking it clipped to a few timecodes each frame cost more than
    // the timecodes.
    const QSize size = viewport()->size();
    if (size != focusFrameSize_ && size.isEmpty()) {
        focusFrame_ = QRegion();
        focusFree_ = QRect();
        focusFrameSize_ = size;
    } else if (size != focusFrameSize_) {
        QBitmap mask(size);
        mask.fill(Qt::color0);
        QPainter p(&mask);
        p.setPen(QPen(Qt::color1, 2));
        p.setBrush(Qt::NoBrush);
        p.drawRect(QRect(QPoint(0, 0), size).adjusted(1, 1, -1, -1));
        p.end();
        focusFrame_ = JoinedLines(QRegion(mask));
        focusFrameSize_ = size;
        // The widest box inside the stroke.
        focusFree_ = QRect();
        for (int inset = 1; inset <= 4; ++inset) {
            const QRect inside = QRect(QPoint(0, 0), size).adjusted(inset, inset, -inset, -inset);
            if (focusFrame_.intersects(inside)) continue;
            focusFree_ = inside;
            break;
        }
    }
    return focusFrame_;
}

void ListView::focusInEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusInEvent(e);
    viewport()->update();
}

void ListView::focusOutEvent(QFocusEvent* e) {
    QAbstractScrollArea::focusOutEvent(e);
    viewport()->update();
}

void ListView::PaintRows(QPainter& painter, QPaintEvent* e, QImage* pixels, QPoint origin) {
    QColor base = palette().color(QPalette::Base);
    const bool erase = !ownerDrawn_ || B().Fire(form_, id_, EZ_EV_ERASE, 0) == 0;
    if (erase) {
        painter.fillRect(e->rect(), base);
    } else {
        // The program paints its rows' columns itself; the rest is the list's.
        const QRect drawn(-horizontalScrollBar()->value(), -verticalScrollBar()->value(),
                          TotalWidth(), int(rows_.size()) * rowHeight_);
        for (const QRect& rect : e->region().subtracted(drawn)) painter.fillRect(rect, base);
    }
    if (rowHeight_ <= 0 || rows_.empty()) return;
    int top = verticalScrollBar()->value();
    int first = std::max(0, (e->rect().top() + top) / rowHeight_);
    int last = std::min(int(rows_.size()) - 1, (e->rect().bottom() + top) / rowHeight_);
    if (ownerDrawn_ && painted_.size() != rows_.size()) {
        painted_.assign(rows_.size(), 0);
        paintedOps_.assign(rows_.size(), {});
        changes_.assign(rows_.size(), {});
    }
    // Per-row colours only when the program asks for them (cancel 1 on 315).
    const bool customRows = !ownerDrawn_ && B().Fire(form_, id_, EZ_EV_CUSTOMDRAWNOTIFY, 0) != 0;
    for (int r = first; r <= last; ++r) {
        QRect rr = RowRect(r);
        if (ownerDrawn_) {
            if (!e->region().intersects(rr)) continue;
            // Drawing calls leave nothing of the painter changed but a clip
            // to the row: put back by hand, cheaper than a save.
            painter.translate(rr.topLeft());
            // Calls outside the part being repainted are listed, not painted.
            const QRegion exposed = e->region().intersected(rr).translated(-rr.topLeft());
            std::vector<DrawOp> ops;
            ops.reserve(paintedOps_[size_t(r)].size());
            DrawContext context = RowContext(r, &painter);
            context.ops = &ops;
            context.only = &exposed;
            context.onlyBounds = exposed.boundingRect();
            context.onlyParts = std::span(exposed.begin(), exposed.end());
            context.within = QRect(QPoint(0, 0), rr.size());
            context.pixels = pixels;
            context.origin = origin + rr.topLeft();
            DrawContext drawn = FireOwnerDraw(form_, id_, EZ_EV_OWNERDRAW, context);
            if (painter.hasClipping()) painter.setClipping(false);
            painter.translate(-rr.topLeft());
            // A part repainted (an expose, or a guess) before a change was
            // looked at leaves the change unpainted outside it: where the
            // calls differ then, or the whole row when the calls are others.
            // Only the part of the row in view can be painted.
            const QRect bounds = rr.intersected(viewport()->rect()).translated(-rr.topLeft());
            const std::vector<DrawOp>& was = paintedOps_[size_t(r)];
            if (!Covers(exposed, bounds) && !SameOutside(was, ops, exposed, bounds)) {
                painted_[size_t(r)] = 0;
                const QRegion differing = Differing(was, ops);
                viewport()->update(differing.isEmpty() ? rr
                                                       : differing.translated(rr.topLeft()) & rr);
                continue;
            }
            painted_[size_t(r)] = drawn.opaque ? 0 : drawn.fingerprint;
            // Where the row's drawing changed is where its next change is
            // looked for; other calls (a new state) leave it unknown.
            RowChanges& changes = changes_[size_t(r)];
            if (was.size() != ops.size()) {
                changes = RowChanges{};
            } else if (QRegion d = Differing(was, ops) & QRect(QPoint(0, 0), rr.size());
                       !d.isEmpty()) {
                changes.Add(d);
            }
            paintedOps_[size_t(r)] = std::move(ops);
            continue;
        }
        QColor fg = palette().color(r == selected_ ? QPalette::HighlightedText : QPalette::Text);
        QColor bg;
        if (customRows && RowColours(r, fg, bg) && r != selected_) painter.fillRect(rr, bg);
        if (r == selected_) {
            painter.fillRect(rr, palette().color(QPalette::Highlight));
            fg = palette().color(QPalette::HighlightedText);
        }
        painter.setPen(fg);
        if (checkBoxes_) {
            QStyleOptionButton box;
            box.rect = CheckBoxRect(r);
            box.state =
                QStyle::State_Enabled | (StateImage(r) == 2 ? QStyle::State_On : QStyle::State_Off);
            box.palette = palette();
            box.palette.setColor(QPalette::Base, Qt::white);
            box.palette.setColor(QPalette::Window, Qt::white);
            box.palette.setColor(QPalette::Text, Qt::black);
            style()->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, &painter, this);
        }
        int x = rr.left();
        for (int v = 0; v < ColumnCount(); ++v) {
            int c = header_->logicalIndex(v);
            int w = header_->sectionSize(c);
            const auto& cells = rows_[size_t(r)];
            if (size_t(c) < cells.size()) {
                QRect cell(x + 4, rr.top(), w - 8, rr.height());
                // The first column makes room for the check box.
                if (checkBoxes_ && c == 0) cell.setLeft(CheckBoxRect(r).right() + 5);
                QString t = painter.fontMetrics().elidedText(cells[size_t(c)], Qt::ElideRight,
                                                             cell.width());
                painter.drawText(cell, alignments_[size_t(c)] | Qt::AlignVCenter, t);
            }
            x += w;
        }
    }
}

DrawContext ListView::RowContext(int32_t row, QPainter* painter) const {
    DrawContext dc;
    dc.painter = painter;
    dc.item = row;
    dc.width = TotalWidth();
    dc.height = rowHeight_;
    dc.selected = row == selected_;
    const int32_t shape[4] = {row, dc.width, dc.height, dc.selected ? 1 : 0};
    Mix(dc, shape, sizeof shape);
    return dc;
}

void ListView::RedrawChanged() {
    if (!headerHidden_) header_->viewport()->update();
    std::vector<int32_t> all(rows_.size());
    for (size_t r = 0; r < all.size(); ++r) all[r] = int32_t(r);
    RedrawRows(all, false);
}

void ListView::RedrawWritten() {
    writtenQueued_ = false;
    std::vector<int32_t> rows;
    rows.swap(written_);
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // A written row is most likely a running timecode again: where it mostly
    // changes, or is due to, is repainted without a dry run, and the paint
    // finds any other change.
    if (!rows.empty()) RedrawRows(rows, true);
}

void ListView::RedrawRows(const std::vector<int32_t>& rows, bool guess) {
    if (!ownerDrawn_ || !isVisible() || !updatesEnabled() || painted_.size() != rows_.size()) {
        viewport()->update();
        return;
    }
    // A dry run of each row's drawing: only the calls that come out different
    // are painted again. Thirty times a second, while only the timecodes
    // move, that is the timecodes' text and nothing else; a guess skips even
    // the dry run.
    int top = verticalScrollBar()->value();
    int first = std::max(0, top / rowHeight_);
    int last = std::min(int(rows_.size()) - 1, (top + viewport()->height()) / rowHeight_);
    // One update for all rows: each costs the window's bookkeeping.
    QRegion dirty;
    std::vector<DrawOp> ops;
    for (int32_t r : rows) {
        if (r < first || r > last) continue;
        const RowChanges& changes = changes_[size_t(r)];
        if (guess && painted_[size_t(r)] != 0 && !changes.expected.isEmpty()) {
            dirty += changes.expected.translated(RowRect(r).topLeft());
            continue;
        }
        ops.clear();
        DrawContext context = RowContext(r, nullptr);
        context.ops = &ops;
        DrawContext dry = FireOwnerDraw(form_, id_, EZ_EV_OWNERDRAW, context);
        const uint64_t before = painted_[size_t(r)];
        if (!dry.opaque && before != 0 && dry.fingerprint == before) continue;
        const QRect rr = RowRect(r);
        const std::vector<DrawOp>& was = paintedOps_[size_t(r)];
        if (dry.opaque || before == 0 || was.size() != ops.size()) {
            dirty += rr;
            continue;
        }
        const QRegion changed = Differing(was, ops) & QRect(QPoint(0, 0), rr.size());
        dirty += changed.translated(rr.topLeft());
    }
    if (dirty.isEmpty()) return;
    // Written rows are painted now: an update would post a request to this
    // same thread, which wakes its loop twice more each frame.
    if (guess)
        viewport()->repaint(dirty);
    else
        viewport()->update(dirty);
}

bool ListView::Hit(const QPoint& pos, int32_t& row, int32_t& column, int32_t& x) const {
    int y = pos.y() + verticalScrollBar()->value();
    row = y / rowHeight_;
    if (row < 0 || row >= int32_t(rows_.size())) return false;
    int cx = pos.x() + horizontalScrollBar()->value();
    int left = 0;
    for (int v = 0; v < ColumnCount(); ++v) {
        int c = header_->logicalIndex(v);
        int w = header_->sectionSize(c);
        if (cx >= left && cx < left + w) {
            column = c;
            x = cx - left;
            return true;
        }
        left += w;
    }
    return false;
}

bool ListView::viewportEvent(QEvent* e) {
    if (e->type() != QEvent::ToolTip) return QAbstractScrollArea::viewportEvent(e);
    // A cell whose text is wider than its column shows the whole text as a
    // tooltip, as list views do for their cut texts.
    auto* help = static_cast<QHelpEvent*>(e);
    int32_t row = -1, column = -1, x = 0;
    if (Hit(help->pos(), row, column, x)) {
        const std::string text = Text(row, column);
        if (QFontMetrics(font()).horizontalAdvance(ToQ(text)) + 4 > ColumnWidth(column)) {
            QToolTip::showText(help->globalPos(), PlainTooltip(text), viewport());
            return true;
        }
    }
    QToolTip::hideText();
    e->ignore();
    return true;
}

void ListView::mousePressEvent(QMouseEvent* e) {
    QAbstractScrollArea::mousePressEvent(e);
    int32_t row = -1, column = -1, x = 0;
    if (!Hit(e->pos(), row, column, x)) return;
    if (e->button() == Qt::LeftButton) {
        if (checkBoxes_ && CheckBoxRect(row).adjusted(-2, -2, 2, 2).contains(e->pos()))
            ToggleCheck(row);
        SetSelected(row);
        B().Fire(form_, id_, EZ_EV_LVROWCHOSEN, row);
        int32_t value = g_nextClick++;
        if (g_nextClick <= 0) g_nextClick = 1;
        Clicks()[value] = Click{row, column, x};
        // Only the latest few clicks can still be asked about.
        while (Clicks().size() > 16) Clicks().erase(Clicks().begin());
        B().Fire(form_, id_, EZ_EV_LVCLICK, value);
    }
}

void ListView::mouseDoubleClickEvent(QMouseEvent* e) {
    int32_t row = -1, column = -1, x = 0;
    if (Hit(e->pos(), row, column, x)) B().Fire(form_, id_, EZ_EV_LVACTIVATE, row);
}

void ListView::keyPressEvent(QKeyEvent* e) {
    if (e->key() == Qt::Key_Down && selected_ + 1 < int32_t(rows_.size())) {
        SetSelected(selected_ + 1);
        EnsureVisible(selected_);
        B().Fire(form_, id_, EZ_EV_LVROWCHOSEN, selected_);
    } else if (e->key() == Qt::Key_Up && selected_ > 0) {
        SetSelected(selected_ - 1);
        EnsureVisible(selected_);
        B().Fire(form_, id_, EZ_EV_LVROWCHOSEN, selected_);
    } else if (e->key() == Qt::Key_Space && checkBoxes_ && selected_ >= 0) {
        ToggleCheck(selected_);
    } else if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && selected_ >= 0) {
        B().Fire(form_, id_, EZ_EV_LVACTIVATE, selected_);
    } else {
        QAbstractScrollArea::keyPressEvent(e);
    }
}

int32_t ListView::StateImage(int32_t row) const {
    if (!checkBoxes_ || row < 0 || size_t(row) >= checks_.size()) return 0;
    return checks_[size_t(row)];
}

int32_t ListView::State(int32_t row, int32_t mask) const {
    if (row < 0 || row >= RowCount()) return 0;
    int32_t state = EZ_STATEIMAGE(StateImage(row));
    if (row == selected_) state |= EZ_LVIS_SELECTED | EZ_LVIS_FOCUSED;
    return state & mask;
}

void ListView::SetState(int32_t row, int32_t state, int32_t mask) {
    if (row == -1) {
        for (int32_t r = 0; r < RowCount(); ++r) SetState(r, state, mask);
        return;
    }
    if (row < 0 || row >= RowCount()) return;
    if (mask & EZ_LVIS_SELECTED) {
        if (state & EZ_LVIS_SELECTED)
            selected_ = row;
        else if (selected_ == row)
            selected_ = -1;
    }
    if ((mask & EZ_LVIS_STATEIMAGEMASK) && checkBoxes_) {
        int32_t image = (state & EZ_LVIS_STATEIMAGEMASK) >> 12;
        if (image == 1 || image == 2) checks_[size_t(row)] = uint8_t(image);
    }
    viewport()->update(RowRect(row));
}

int32_t ListView::FindNextSelected(int32_t after) const {
    return selected_ > after ? selected_ : -1;
}

QRect ListView::CheckBoxRect(int32_t row) const {
    QRect rr = RowRect(row);
    int x = rr.left();
    for (int v = 0; v < ColumnCount() && header_->logicalIndex(v) != 0; ++v)
        x += header_->sectionSize(header_->logicalIndex(v));
    int side = std::min(13, rr.height() - 2);
    return QRect(x + 4, rr.top() + (rr.height() - side) / 2, side, side);
}

void ListView::ToggleCheck(int32_t row) {
    if (row < 0 || size_t(row) >= checks_.size()) return;
    checks_[size_t(row)] = checks_[size_t(row)] == 2 ? 1 : 2;
    viewport()->update(RowRect(row));
}

bool ListView::RowColours(int32_t row, QColor& fg, QColor& bg) const {
    // The handler answers with EZ_COLOR; the creation colours are put back after.
    const int32_t savedFg = B().foreground, savedBg = B().background;
    B().foreground = B().background = -1;
    B().Fire(form_, id_, EZ_EV_CUSTOMDRAW, row);
    const int32_t rowFg = B().foreground, rowBg = B().background;
    B().foreground = savedFg;
    B().background = savedBg;
    if (rowFg >= 0) fg = B().Color(rowFg, fg);
    bg = rowBg >= 0 ? B().Color(rowBg, palette().color(QPalette::Base))
                    : palette().color(QPalette::Base);
    return rowBg >= 0;
}

ListView* FindListView(const std::string& form, int32_t id) {
    Control* c = B().FindControl(form, id);
    return c ? qobject_cast<ListView*>(c->widget.data()) : nullptr;
}

int ListRowHeight(const std::string& form, int32_t id) {
    ListView* l = FindListView(form, id);
    return l ? l->RowHeight() : 0;
}

bool TakeClick(int32_t value, int32_t& row, int32_t& column, int32_t& x) {
    auto it = Clicks().find(value);
    if (it == Clicks().end()) return false;
    row = it->second.row;
    column = it->second.column;
    x = it->second.x;
    return true;
}

}  // namespace tarvolen::qt

using namespace tarvolen::qt;

void EZ_LISTVIEW(int32_t id, const std::string& columns, double column, double row, double width,
                 double height, const std::string& props) {
    Form* form = B().Designing();
    if (!form) return;
    auto* list = new ListView(form->name, id, columns, props);
    B().AddControl(id, "listview", list, column, row, width, height);
    QPalette pal = list->palette();
    if (B().foreground >= 0) pal.setColor(QPalette::Text, B().Color(B().foreground));
    if (B().background >= 0) pal.setColor(QPalette::Base, B().Color(B().background));
    list->setPalette(pal);
    list->viewport()->setPalette(pal);
}

void EZ_CLEARLV(const std::string& form, int32_t id) {
    if (ListView* l = FindListView(form, id)) l->Clear();
}
void EZ_SETLVCOUNT(const std::string& form, int32_t id, int32_t count) {
    if (ListView* l = FindListView(form, id)) l->Reserve(count);
}
int32_t EZ_ADDLVITEM(const std::string& form, int32_t id, const std::string& text, int32_t index) {
    ListView* l = FindListView(form, id);
    return l ? l->AddRow(text, index) : -1;
}
void EZ_SETLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column,
                      const std::string& text) {
    if (ListView* l = FindListView(form, id)) l->SetText(row, column, text);
}
std::string EZ_GETLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column) {
    ListView* l = FindListView(form, id);
    return l ? l->Text(row, column) : std::string();
}
int32_t EZ_GETLVCOUNT(const std::string& form, int32_t id) {
    ListView* l = FindListView(form, id);
    return l ? l->RowCount() : 0;
}
int32_t EZ_GETLVSEL(const std::string& form, int32_t id) {
    ListView* l = FindListView(form, id);
    return l ? l->Selected() : -1;
}
void EZ_SETLVSEL(const std::string& form, int32_t id, int32_t row) {
    if (ListView* l = FindListView(form, id)) {
        l->SetSelected(row);
        l->EnsureVisible(row);
    }
}
void EZ_SETREDRAWSTATE(const std::string& form, int32_t id, int32_t on) {
    if (ListView* l = FindListView(form, id)) {
        l->setUpdatesEnabled(on != 0);
        if (on) l->viewport()->update();
    } else if (Control* c = B().FindControl(form, id); c && c->widget) {
        // Any other control simply holds its painting (re-enabling repaints it).
        c->widget->setUpdatesEnabled(on != 0);
    }
}
void EZ_GETLVCLICKINFO(int32_t value, int32_t& row, int32_t& column, int32_t& x) {
    row = column = -1;
    x = 0;
    TakeClick(value, row, column, x);
}
int32_t EZ_GETLVCOLUMNCOUNT(const std::string& form, int32_t id) {
    ListView* l = FindListView(form, id);
    return l ? l->ColumnCount() : 0;
}
int32_t EZ_GETLVCOLUMNWIDTH(const std::string& form, int32_t id, int32_t column) {
    ListView* l = FindListView(form, id);
    return l ? l->ColumnWidth(column) : 0;
}
void EZ_SETLVCOLUMNWIDTH(const std::string& form, int32_t id, int32_t column, int32_t pixels) {
    if (ListView* l = FindListView(form, id)) l->SetColumnWidth(column, pixels);
}
std::vector<int32_t> EZ_GETLVCOLUMNORDER(const std::string& form, int32_t id) {
    ListView* l = FindListView(form, id);
    return l ? l->ColumnOrder() : std::vector<int32_t>{};
}
void EZ_SETLVROWHEIGHT(const std::string& form, int32_t id, int32_t pixels) {
    if (ListView* l = FindListView(form, id)) l->SetRowHeight(pixels);
}
void EZ_SORTLV(const std::string& form, int32_t id, int32_t column, int32_t descending) {
    if (ListView* l = FindListView(form, id)) l->SortBy(column, descending != 0);
}
int32_t EZ_FINDLVITEM(const std::string& form, int32_t id, int32_t column, const std::string& text,
                      int32_t from) {
    ListView* l = FindListView(form, id);
    return l ? l->Find(column, text, from) : -1;
}
void EZ_SIZELISTVIEW(const std::string& form, int32_t id) {
    if (ListView* l = FindListView(form, id)) l->AutoSizeColumns();
}

int32_t EZ_LVGETITEMSTATEIMG(const std::string& form, int32_t id, int32_t row) {
    ListView* l = FindListView(form, id);
    return l ? l->StateImage(row) : 0;
}
void EZ_LVSETITEMSTATE(const std::string& form, int32_t id, int32_t row, int32_t state,
                       int32_t mask) {
    if (ListView* l = FindListView(form, id)) l->SetState(row, state, mask);
}
int32_t EZ_LVGETITEMSTATE(const std::string& form, int32_t id, int32_t row, int32_t mask) {
    ListView* l = FindListView(form, id);
    return l ? l->State(row, mask) : 0;
}
bool EZ_LVGETITEMRECT(const std::string& form, int32_t id, int32_t row, int32_t code, int32_t& left,
                      int32_t& top, int32_t& right, int32_t& bottom) {
    ListView* l = FindListView(form, id);
    if (!l || row < 0 || row >= l->RowCount()) return false;
    QRect r = l->RowRect(row);
    if (code == 1 && l->CheckBoxes()) r = l->CheckBoxRect(row);
    if (code == 2 && l->CheckBoxes()) r.setLeft(l->CheckBoxRect(row).right() + 1);
    // In the list's own coordinates, below its header, as the platform gives them.
    r.translate(0, l->viewport()->y());
    left = r.left(), top = r.top(), right = r.right() + 1, bottom = r.bottom() + 1;
    return true;
}
bool EZ_LVGETITEMPOSITION(const std::string& form, int32_t id, int32_t row, int32_t& x,
                          int32_t& y) {
    int32_t right = 0, bottom = 0;
    return EZ_LVGETITEMRECT(form, id, row, 0, x, y, right, bottom);
}
void EZ_LVSCROLL(const std::string& form, int32_t id, int32_t dx, int32_t dy) {
    if (ListView* l = FindListView(form, id)) l->ScrollBy(dx, dy);
}
int32_t EZ_LVCOUNTPERPAGE(const std::string& form, int32_t id) {
    ListView* l = FindListView(form, id);
    return l ? l->CountPerPage() : 0;
}
void EZ_LVENSUREVISIBLE(const std::string& form, int32_t id, int32_t row) {
    if (ListView* l = FindListView(form, id)) l->EnsureVisible(row);
}
