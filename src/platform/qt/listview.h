#pragma once

#include <QAbstractScrollArea>
#include <algorithm>
#include <array>
#include <bit>
#include <string>
#include <utility>
#include <vector>

#include "platform/qt/backend.h"
#include "platform/qt/draw.h"

class QHeaderView;
class QStandardItemModel;

namespace tarvolen::qt {

class ListView : public QAbstractScrollArea, public MessageTarget {
    Q_OBJECT
  public:
    ListView(std::string form, int32_t id, const std::string& columns, const std::string& props);

    int32_t AddRow(const std::string& text, int32_t index);
    void Clear();
    void Reserve(int32_t count);
    // Without queue, an owner-drawn row written is left for the caller's
    // RedrawWritten; returns whether one was.
    bool SetText(int32_t row, int32_t column, const std::string& text, bool queue = true);
    std::string Text(int32_t row, int32_t column) const;
    int32_t RowCount() const { return int32_t(rows_.size()); }
    int32_t ColumnCount() const;
    int32_t ColumnWidth(int32_t column) const;
    void SetColumnWidth(int32_t column, int32_t pixels);
    std::vector<int32_t> ColumnOrder() const;
    void SetRowHeight(int32_t pixels);
    int32_t RowHeight() const { return rowHeight_; }
    int32_t Selected() const { return selected_; }
    void SetSelected(int32_t row);
    void EnsureVisible(int32_t row);
    void ScrollBy(int32_t dx, int32_t dy);
    QRect RowRect(int32_t row) const;
    int32_t CountPerPage() const;
    void SortBy(int32_t column, bool descending);
    int32_t Find(int32_t column, const std::string& text, int32_t from) const;
    void AutoSizeColumns();
    bool OwnerDrawn() const { return ownerDrawn_; }
    QHeaderView* Header() const { return header_; }
    bool Hit(const QPoint& pos, int32_t& row, int32_t& column, int32_t& x) const;
    // Repaints what changed in the rows' drawing since they were last
    // painted; the whole list when it cannot tell.
    void RedrawChanged();
    // The same for the rows whose cell texts were written since.
    void RedrawWritten();

    // Item states: selected, focused and the check box's state image.
    bool CheckBoxes() const { return checkBoxes_; }
    int32_t StateImage(int32_t row) const;
    int32_t State(int32_t row, int32_t mask) const;
    void SetState(int32_t row, int32_t state, int32_t mask);
    int32_t FindNextSelected(int32_t after) const override;
    // The check box of a row, in viewport pixels.
    QRect CheckBoxRect(int32_t row) const;

  protected:
    bool viewportEvent(QEvent* e) override;
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;

  private:
    // pixels (with origin): what painter paints, when its owner-drawn rows
    // may write them straight (PaintedPixels).
    void PaintRows(QPainter& painter, QPaintEvent* e, QImage* pixels, QPoint origin);
    QRegion FocusFrame();
    int TotalWidth() const;
    DrawContext RowContext(int32_t row, QPainter* painter) const;
    void Changed();
    void Relayout();
    // guess: repaint a row where its drawing changed the last times, with no
    // dry run; the paint finds any change elsewhere (PaintRows).
    void RedrawRows(const std::vector<int32_t>& rows, bool guess);

    std::string form_;
    int32_t id_;
    void ToggleCheck(int32_t row);
    // Asks the program for a row's colours (event 316) when it wants to give them.
    bool RowColours(int32_t row, QColor& fg, QColor& bg) const;

    bool ownerDrawn_ = false;
    bool checkBoxes_ = false;
    std::vector<uint8_t> checks_;  // state image per row: 1 unticked, 2 ticked
    bool headerHidden_ = false;
    bool headerOwnerDrawn_ = false;
    QStandardItemModel* model_ = nullptr;
    QHeaderView* header_ = nullptr;
    std::vector<int> alignments_;
    std::vector<std::vector<QString>> rows_;
    // What each row's owner drawing looked like when it was last painted:
    // its fingerprint (0: unknown) and its drawing calls.
    std::vector<uint64_t> painted_;
    std::vector<std::vector<DrawOp>> paintedOps_;
    // Per row, where its recent changes of drawing were (none: unknown): a
    // running timecode's frame digit changes in the same place every frame,
    // its tens every tenth, its seconds every thirtieth, and the two
    // timecodes of a row each at its own time. A written row is repainted
    // where it changed in at least a third of its last changes, and where a
    // change is due back after as many changes as it last took (from one
    // early: a pass may see two frames at once); any other is found by that
    // paint and repainted at once. Painting the tens with every frame cost
    // more than foreseeing them.
    struct RowChanges {
        static constexpr int kRemembered = 32;  // changes, one bit each
        struct Place {
            QRect rect;
            uint32_t seen = 0;  // in which of the last changes, the latest in bit 0
            int age = 0;        // changes since it was last seen
            int period = 0;     // changes between its last two sightings (0: one)
            bool expected = false;
        };
        std::vector<Place> places;
        int count = 0;     // changes remembered
        QRegion expected;  // where the next change is looked for
        void Add(const QRegion& changed) {
            count = std::min(count + 1, kRemembered);
            for (Place& place : places) {
                place.seen <<= 1;
                ++place.age;
            }
            for (const QRect& rect : changed) {
                auto it = std::find_if(places.begin(), places.end(),
                                       [&](const Place& place) { return place.rect == rect; });
                if (it == places.end()) {
                    places.push_back(Place{rect, 1});
                    continue;
                }
                it->seen |= 1;
                it->period = it->age;
                it->age = 0;
            }
            bool moved = false;
            std::erase_if(places, [&](const Place& place) {
                moved |= place.seen == 0 && place.expected;
                return place.seen == 0;
            });
            for (Place& place : places) {
                const bool often = 3 * std::popcount(place.seen) >= count;
                const bool due = place.period > 1 && place.age + 2 >= place.period;
                moved |= (often || due) != place.expected;
                place.expected = often || due;
            }
            if (!moved) return;
            expected = QRegion();
            for (const Place& place : places)
                if (place.expected) expected += place.rect;
        }
    };
    std::vector<RowChanges> changes_;
    // Owner-drawn rows whose texts were written, waiting to be looked at.
    std::vector<int32_t> written_;
    bool writtenQueued_ = false;
    QRegion focusFrame_;
    QRect focusFree_;  // no pixel of the frame in it
    QSize focusFrameSize_;
    int32_t rowHeight_ = 18;
    int32_t selected_ = -1;
};

ListView* FindListView(const std::string& form, int32_t id);

}  // namespace tarvolen::qt
