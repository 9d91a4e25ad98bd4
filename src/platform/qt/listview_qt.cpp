// The toolkit's list view: rows of cell texts, drawn by the toolkit or by the
// program (owner-drawn rows), with a header whose columns the operator may
// resize and reorder.
#include <QAbstractScrollArea>
#include <QHeaderView>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QToolTip>

#include "platform/qt/draw.h"
#include "platform/qt/listview.h"
#include "platform/qt/listview_header.h"
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

}  // namespace

ListView::ListView(std::string form, int32_t id, const std::string& columns,
                   const std::string& props)
    : form_(std::move(form)), id_(id) {
    std::string up = ToUpper(props);
    ownerDrawn_ = up.find('O') != std::string::npos;
    headerHidden_ = up.find('N') != std::string::npos;
    headerOwnerDrawn_ = up.find('#') != std::string::npos && ownerDrawn_;
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
    Changed();
    return index;
}

void ListView::Clear() {
    rows_.clear();
    selected_ = -1;
    Changed();
}

void ListView::Reserve(int32_t count) {
    rows_.reserve(size_t(std::max(0, count)));
}

void ListView::SetText(int32_t row, int32_t column, const std::string& text) {
    if (row < 0 || row >= int32_t(rows_.size()) || column < 0 || column >= ColumnCount()) return;
    auto& cells = rows_[size_t(row)];
    if (cells.size() < size_t(ColumnCount())) cells.resize(size_t(ColumnCount()));
    // Writing a cell repaints its row, even with the same text: the program
    // rewrites cells to have them drawn again.
    cells[size_t(column)] = ToQ(text);
    viewport()->update(RowRect(row));
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
    QString current = selected_ >= 0 ? rows_[size_t(selected_)][0] : QString();
    std::stable_sort(
        rows_.begin(), rows_.end(), [column, descending](const auto& a, const auto& b) {
            const QString& x = size_t(column) < a.size() ? a[size_t(column)] : QString();
            const QString& y = size_t(column) < b.size() ? b[size_t(column)] : QString();
            int c = QString::compare(x, y, Qt::CaseInsensitive);
            return descending ? c > 0 : c < 0;
        });
    if (selected_ >= 0) {
        for (size_t i = 0; i < rows_.size(); ++i) {
            if (rows_[i][0] == current) selected_ = int32_t(i);
        }
    }
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
    int w = 0;
    for (int c = 0; c < ColumnCount(); ++c) w += header_->sectionSize(c);
    return w;
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
    QColor base = palette().color(QPalette::Base);
    if (!ownerDrawn_)
        painter.fillRect(e->rect(), base);
    else if (B().Fire(form_, id_, EZ_EV_ERASE, 0) == 0)
        painter.fillRect(e->rect(), base);
    if (rowHeight_ <= 0 || rows_.empty()) return;
    int top = verticalScrollBar()->value();
    int first = std::max(0, (e->rect().top() + top) / rowHeight_);
    int last = std::min(int(rows_.size()) - 1, (e->rect().bottom() + top) / rowHeight_);
    if (ownerDrawn_ && painted_.size() != rows_.size()) painted_.assign(rows_.size(), 0);
    for (int r = first; r <= last; ++r) {
        QRect rr = RowRect(r);
        if (ownerDrawn_) {
            if (!e->region().intersects(rr)) continue;
            painter.save();
            painter.setClipRect(rr);
            painter.translate(rr.topLeft());
            DrawContext drawn = FireOwnerDraw(form_, id_, EZ_EV_OWNERDRAW, RowContext(r, &painter));
            painted_[size_t(r)] = drawn.opaque ? 0 : drawn.fingerprint;
            painter.restore();
            continue;
        }
        if (r == selected_) painter.fillRect(rr, palette().color(QPalette::Highlight));
        QColor fg = palette().color(r == selected_ ? QPalette::HighlightedText : QPalette::Text);
        painter.setPen(fg);
        int x = rr.left();
        for (int v = 0; v < ColumnCount(); ++v) {
            int c = header_->logicalIndex(v);
            int w = header_->sectionSize(c);
            const auto& cells = rows_[size_t(r)];
            if (size_t(c) < cells.size()) {
                QRect cell(x + 4, rr.top(), w - 8, rr.height());
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
    if (!ownerDrawn_ || !isVisible() || !updatesEnabled() || painted_.size() != rows_.size()) {
        viewport()->update();
        return;
    }
    // A dry run of each visible row's drawing: only rows that would come out
    // different are painted again. Thirty times a second this saves most of
    // the list's painting while only the timecodes move.
    if (!headerHidden_) header_->viewport()->update();
    int top = verticalScrollBar()->value();
    int first = std::max(0, top / rowHeight_);
    int last = std::min(int(rows_.size()) - 1, (top + viewport()->height()) / rowHeight_);
    for (int r = first; r <= last; ++r) {
        DrawContext dry = FireOwnerDraw(form_, id_, EZ_EV_OWNERDRAW, RowContext(r, nullptr));
        if (dry.opaque || dry.fingerprint != painted_[size_t(r)]) viewport()->update(RowRect(r));
    }
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
    if (Hit(e->pos(), row, column, x)) B().Fire(form_, id_, EZ_EV_DBLCLICK, row);
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
    } else if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && selected_ >= 0) {
        B().Fire(form_, id_, EZ_EV_DBLCLICK, selected_);
    } else {
        QAbstractScrollArea::keyPressEvent(e);
    }
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
