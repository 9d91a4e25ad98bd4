// Owner-drawn list headers, the event answer they use, per-column sizing and
// gradient fills.
#include <QAbstractItemModel>
#include <QHeaderView>
#include <QLinearGradient>
#include <QPainter>

#include "platform/qt/draw.h"
#include "platform/qt/listview.h"
#include "platform/qt/listview_header.h"

namespace tarvolen::qt {
namespace {

constexpr int32_t kNoAnswer = INT32_MIN;

// The answer a handler gave to the event being delivered.
int32_t& EventAnswer() {
    static int32_t answer = kNoAnswer;
    return answer;
}

// Room below the caption for the sort mark.
constexpr int kMinimumHeaderHeight = 26;

class OwnerDrawnHeader : public QHeaderView {
  public:
    OwnerDrawnHeader(std::string form, int32_t listId, QWidget* parent)
        : QHeaderView(Qt::Horizontal, parent), form_(std::move(form)), listId_(listId) {}

    QSize sizeHint() const override {
        QSize s = QHeaderView::sizeHint();
        s.setHeight(std::max(s.height(), kMinimumHeaderHeight));
        return s;
    }

  protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override {
        if (!rect.isValid()) return;
        // The plain section first, so a handler that draws nothing leaves a header.
        painter->save();
        QHeaderView::paintSection(painter, rect, logicalIndex);
        painter->restore();

        painter->save();
        painter->setClipRect(rect);
        painter->translate(rect.topLeft());
        DrawContext dc;
        dc.painter = painter;
        dc.item = logicalIndex;
        dc.width = rect.width();
        dc.height = rect.height();
        int32_t saved = EventAnswer();
        EventAnswer() = kNoAnswer;
        FireOwnerDraw(form_, listId_, EZ_EV_HEADERDRAW, dc);
        int32_t target = EventAnswer();
        EventAnswer() = saved;
        if (target != kNoAnswer && target > 0) FireOwnerDraw(form_, target, EZ_EV_OWNERDRAW, dc);
        painter->restore();
    }

  private:
    std::string form_;
    int32_t listId_;
};

}  // namespace

QHeaderView* MakeOwnerDrawnHeader(const std::string& form, int32_t listId, QWidget* parent) {
    return new OwnerDrawnHeader(form, listId, parent);
}

}  // namespace tarvolen::qt

using namespace tarvolen::qt;

void EZ_SETEVENTVALUE(int32_t value) {
    EventAnswer() = value;
}

void EZ_SIZELVCOLUMN(const std::string& form, int32_t id, int32_t column) {
    ListView* l = FindListView(form, id);
    if (!l || column < 0 || column >= l->ColumnCount()) return;
    QFontMetrics fm(l->font());
    QString caption = l->Header()->model()->headerData(column, Qt::Horizontal).toString();
    int w = fm.horizontalAdvance(caption) + 24;
    for (int32_t r = 0; r < l->RowCount(); ++r)
        w = std::max(w, fm.horizontalAdvance(ToQ(l->Text(r, column))) + 12);
    l->SetColumnWidth(column, w);
}

void EZ_DCGRADIENT(int32_t dc, int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t color1,
                   int32_t color2, int32_t style) {
    DrawContext* c = FindDrawContext(dc);
    if (!c) return;
    if (!c->painter) {
        c->opaque = true;  // a dry run cannot tell a gradient apart
        return;
    }
    QRect r(QPoint(std::min(x1, x2), std::min(y1, y2)), QPoint(std::max(x1, x2), std::max(y1, y2)));
    QLinearGradient g = style == 6 ? QLinearGradient(r.topLeft(), r.bottomLeft())
                                   : QLinearGradient(r.topLeft(), r.topRight());
    g.setColorAt(0, B().Color(color1, Qt::white));
    g.setColorAt(1, B().Color(color2, Qt::white));
    ClipFor(*c, r);
    c->painter->fillRect(r, g);
}
