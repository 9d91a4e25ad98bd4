// The clip list window: sorting and its direction rule, the header's sort
// mark, choosing rows, the buttons, size limits and a screenshot.
#include <QApplication>
#include <QHeaderView>
#include <QHelpEvent>
#include <QImage>
#include <QKeyEvent>
#include <QToolTip>

#include "../mouse.h"
#include "cliplist_fixture.h"
#include "platform/qt/listview.h"

namespace tarvolen::testing {
namespace {

using SortTest = ClipListTest;

TEST_F(SortTest, DirectionFlipsOnTheSameColumnAndResetsOnAnother) {
    Listing({{.name = "b", .duration = "00:00:20;00"},
             {.name = "a", .duration = "00:00:30;00"},
             {.name = "c", .duration = "00:00:10;00"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    struct Step {
        int32_t column;
        int32_t direction;
        std::vector<std::string> names;
    };
    const Step steps[] = {
        {2, 0, {"c", "b", "a"}},                           // duration ascending
        {2, 1, {"a", "b", "c"}},                           // duration descending
        {2, 0, {"c", "b", "a"}}, {0, 0, {"a", "b", "c"}},  // a new column starts ascending
        {0, 1, {"c", "b", "a"}},
    };
    for (const auto& s : steps) {
        qt::DeliverEvent("ClipList", kClipListView, EZ_EV_HEADERCLICK, s.column);
        EXPECT_EQ(cliplist_->SortColumn(), s.column);
        EXPECT_EQ(cliplist_->SortDirection(), s.direction);
        EXPECT_EQ(Column(0), s.names);
    }
}

TEST_F(SortTest, ReopeningForAnotherChannelKeepsTheSort) {
    Listing({{.name = "b"}, {.name = "a"}, {.name = "c"}});
    Channel(0, "10.0.0.5");
    Channel(1, "10.0.0.6");
    OpenList(0);
    // Name is already the sort column, so one click flips it to descending.
    cliplist_->SortByColumn(0);
    EZ_UNLOADFORM("ClipList");
    Pump();
    OpenList(1);
    EXPECT_EQ(cliplist_->GetChannel(), 1);
    EXPECT_EQ(cliplist_->SortColumn(), 0);
    EXPECT_EQ(cliplist_->SortDirection(), 1);
    EXPECT_EQ(Column(0), (std::vector<std::string>{"c", "b", "a"}));
}

// Pixels of the sort mark's colour in one header section.
int MarkPixels(const QImage& header, QHeaderView* view, int column) {
    QColor mark(127, 127, 191);  // colour 17
    int x0 = view->sectionViewportPosition(column);
    int n = 0;
    for (int x = std::max(0, x0); x < std::min(header.width(), x0 + view->sectionSize(column)); ++x)
        for (int y = 0; y < header.height(); ++y)
            if (QColor(header.pixel(x, y)) == mark) ++n;
    return n;
}

TEST_F(SortTest, SortMarkMovesToTheClickedHeader) {
    Listing({{.name = "a"}, {.name = "b"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    auto* list = qobject_cast<qt::ListView*>(qt::ControlWidget("ClipList", kClipListView));
    ASSERT_TRUE(list);
    QHeaderView* header = list->Header();
    QImage before = header->grab().toImage();
    EXPECT_GT(MarkPixels(before, header, 0), 0);
    EXPECT_EQ(MarkPixels(before, header, 2), 0);

    cliplist_->SortByColumn(2);
    Pump();
    QImage after = header->grab().toImage();
    EXPECT_EQ(MarkPixels(after, header, 0), 0);
    EXPECT_GT(MarkPixels(after, header, 2), 0);
}

// The sort mark and the caption of the sorted column share no pixel row.
TEST_F(SortTest, SortMarkSitsBelowTheCaption) {
    Listing({{.name = "a"}, {.name = "b"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    auto* list = qobject_cast<qt::ListView*>(qt::ControlWidget("ClipList", kClipListView));
    ASSERT_TRUE(list);
    for (int32_t column : {0, 2, 6}) {
        SCOPED_TRACE(column);
        if (cliplist_->SortColumn() != column) cliplist_->SortByColumn(column);
        Pump();
        QHeaderView* header = list->Header();
        QImage image = header->grab().toImage();
        const QColor mark(127, 127, 191);  // colour 17
        int captionBottom = -1, markTop = image.height();
        const int x0 = header->sectionViewportPosition(column);
        for (int x = x0 + 1; x < x0 + header->sectionSize(column) - 1; ++x) {
            for (int y = 0; y < image.height(); ++y) {
                const QColor c = image.pixelColor(x, y);
                if (c == mark) markTop = std::min(markTop, y);
                if (c.red() < 100 && c.green() < 100 && c.blue() < 100)
                    captionBottom = std::max(captionBottom, y);
            }
        }
        ASSERT_GE(captionBottom, 0) << "no caption drawn";
        ASSERT_LT(markTop, image.height()) << "no sort mark drawn";
        EXPECT_LT(captionBottom, markTop);
    }
}

using NameTest = ClipListTest;

// Clips of the same minute differ only at the end of their names: a name too
// wide for its column shows its beginning and its end, and the whole name is
// the row's tooltip.
TEST_F(NameTest, LongNamesKeepTheirEndsAndShowWholeAsTooltip) {
    const std::string first = "Demo_Channel01_20261208_044741",
                      second = "Demo_Channel01_20261208_044752";
    Listing({{.name = first}, {.name = second}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    auto* list = qobject_cast<qt::ListView*>(qt::ControlWidget("ClipList", kClipListView));
    ASSERT_TRUE(list);
    EZ_SETLVSEL(kClipListForm, kClipListView, -1);
    Pump();
    const int width = list->ColumnWidth(0), height = list->RowHeight();
    ASSERT_GT(QFontMetrics(list->font()).horizontalAdvance(QString::fromStdString(first)), width)
        << "the name must not fit for this test to mean anything";
    QImage rows = list->viewport()->grab().toImage();
    QImage a = rows.copy(0, 0, width, height), b = rows.copy(0, height, width, height);
    EXPECT_NE(a, b) << "the two names read the same";
    // Both begin alike: the left third of the cells is the same.
    // (Inside the list's focus frame, which only the first row touches.)
    EXPECT_EQ(a.copy(3, 3, width / 3 - 3, height - 3), b.copy(3, 3, width / 3 - 3, height - 3));

    // The tooltip shown for a point; none when the list let the event go.
    auto tooltipAt = [&](QPoint at) {
        QHelpEvent help(QEvent::ToolTip, at, list->viewport()->mapToGlobal(at));
        QApplication::sendEvent(list->viewport(), &help);
        return help.isAccepted() ? QToolTip::text().toStdString() : std::string();
    };
    EXPECT_EQ(tooltipAt(QPoint(width / 2, height + height / 2)), second);
    // A cell that fits needs none.
    EXPECT_EQ(tooltipAt(QPoint(width + list->ColumnWidth(1) / 2, height / 2)), "");
    QToolTip::hideText();
}

using ChooseTest = ClipListTest;

TEST_F(ChooseTest, ZeroDurationRereadsTheClip) {
    const std::pair<const char*, bool> cases[] = {
        {"00:00:00;00", true},  {"00:00:00:00", true},  {"garbage", true},
        {"00:00:01;00", false}, {"00:00:00;01", false},
    };
    Channel(0, "10.0.0.5");
    for (const auto& [duration, reread] : cases) {
        SCOPED_TRACE(duration);
        Listing({{.name = "only", .duration = duration, .videoFormat = 7}});
        OpenList(0);
        dir_.namedRequests.clear();
        qt::DeliverEvent("ClipList", kClipListView, EZ_EV_LVROWCHOSEN, 0);
        EXPECT_EQ(dir_.namedRequests.size(), reread ? 1u : 0u);
        if (reread) {
            EXPECT_EQ(dir_.namedRequests[0], "only");
        }
        EZ_UNLOADFORM("ClipList");
        Pump();
    }
}

TEST_F(ChooseTest, NoRowChosenDoesNothing) {
    Listing({{.name = "only", .duration = "00:00:00;00"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    qt::DeliverEvent("ClipList", kClipListView, EZ_EV_LVROWCHOSEN, -1);
    EXPECT_TRUE(dir_.namedRequests.empty());
}

using ButtonTest = ClipListTest;

TEST_F(ButtonTest, LoadHandsTheSelectionOnAndCloses) {
    Listing({{.name = "a"}, {.name = "b"}});
    Channel(0, "10.0.0.5");
    OpenList(0);
    EZ_SETLVSEL(kClipListForm, kClipListView, 1);
    qt::DeliverEvent("ClipList", kClipListLoadButton, EZ_EV_CLICK, 0);
    EXPECT_EQ(loads_, 1);
    EXPECT_EQ(loadedRow_, 1);
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));
}

TEST_F(ButtonTest, CancelClosesWithoutLoading) {
    Channel(0, "10.0.0.5");
    OpenList(0);
    qt::DeliverEvent("ClipList", kClipListCancelButton, EZ_EV_CLICK, 0);
    EXPECT_EQ(loads_, 0);
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));
}

TEST_F(ButtonTest, PlaceIsAskedForOnStartAndKeptOnEveryClose) {
    Channel(0, "10.0.0.5");
    OpenList(0);
    qt::DeliverEvent("ClipList", kClipListCancelButton, EZ_EV_CLICK, 0);
    OpenList(0);
    qt::FormWidget("ClipList")->close();  // the window's own close box
    Pump();
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));
    EXPECT_EQ(positionCalls_, (std::vector<int32_t>{1, 0, 1, 0}));
}

TEST_F(ButtonTest, ClosingQueryIsCancelled) {
    int32_t cancel = 0;
    ClipListEvent(0, 59, 0, cancel);
    EXPECT_EQ(cancel, 1);
}

// The operator's keys and mouse on the list: Return and a double click load
// the row, Esc leaves without loading, and the chosen row stands out.
TEST_F(ButtonTest, KeysAndDoubleClickLoadOrLeave) {
    Listing({{.name = "a"}, {.name = "b"}, {.name = "c"}});
    Channel(0, "10.0.0.5");
    auto list = [] {
        return qobject_cast<qt::ListView*>(qt::ControlWidget("ClipList", kClipListView));
    };
    auto key = [&](int k) {
        QKeyEvent press(QEvent::KeyPress, k, Qt::NoModifier);
        QApplication::sendEvent(list(), &press);
        Pump();
    };
    OpenList(0);
    ASSERT_TRUE(list());
    EZ_SETLVSEL(kClipListForm, kClipListView, 0);
    key(Qt::Key_Down);
    key(Qt::Key_Return);
    EXPECT_EQ(std::make_pair(loads_, loadedRow_), std::make_pair(1, 1));
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));

    OpenList(0);
    const int rowH = list()->RowHeight();
    ClickAt(list()->viewport(), QPoint(20, 2 * rowH + rowH / 2), true);
    Pump();
    EXPECT_EQ(std::make_pair(loads_, loadedRow_), std::make_pair(2, 2));
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));

    OpenList(0);
    EZ_SETLVSEL(kClipListForm, kClipListView, 1);
    Pump();
    // The chosen row on the buttons' blue; the others stay grey.
    QImage rows = list()->viewport()->grab().toImage();
    EXPECT_EQ(rows.pixelColor(30, rowH + rowH / 2), QColor(0, 94, 145));
    EXPECT_EQ(rows.pixelColor(30, 2 * rowH + rowH / 2), QColor(128, 128, 128));
    key(Qt::Key_Escape);
    EXPECT_EQ(loads_, 2);
    EXPECT_FALSE(EZ_FORMEXISTS("ClipList"));
}

using WindowTest = ClipListTest;

TEST_F(WindowTest, SizeStaysWithinItsLimits) {
    Channel(0, "10.0.0.5");
    OpenList(0);
    double w = 0, h = 0, col = 0, row = 0;
    EZ_GETPOS("ClipList", col, row, 2);
    EZ_RESIZEFORM("ClipList", col, row, 10, 5, 1);
    EZ_GETSIZE("ClipList", w, h, 2);
    EXPECT_GE(w, 70.25);
    EXPECT_GE(h, 17.125);
    EZ_RESIZEFORM("ClipList", col, row, 300, 300, 1);
    EZ_GETSIZE("ClipList", w, h, 2);
    EXPECT_LE(w, 100);
    EXPECT_LE(h, 30);
}

TEST_F(WindowTest, RowsAreAQuarterTallerThanTheirFont) {
    Channel(0, "10.0.0.5");
    OpenList(0);
    auto* list = qobject_cast<qt::ListView*>(qt::ControlWidget("ClipList", kClipListView));
    ASSERT_TRUE(list);
    EXPECT_EQ(list->RowHeight(), EZ_FONTHEIGHT(6) * 5 / 4);
}

TEST_F(WindowTest, Screenshot) {
    std::vector<EntrySpec> specs;
    const int formats[] = {7, 0, 101, 103, 2, 255};
    for (int i = 0; i < 12; ++i)
        specs.push_back(
            {.name = "CAM_A_take" + std::to_string(100 + i),
             .start = "01:0" + std::to_string(i % 10) + ":00;00",
             .duration = i == 3 ? "00:00:00;00" : "00:02:1" + std::to_string(i % 10) + ";05",
             .videoFormat = formats[i % 6],
             .codec = i == 5 ? 50 : (i % 2 ? 144 : 160),
             .compression = i % 3,
             .dateTime = "2024-03-05 10:1" + std::to_string(i % 10) + ":00"});
    Listing(specs);
    Channel(2, "127.0.0.103", "Camera A");
    settings_->SetClipName(2, "CAM_A_take105");
    OpenList(2);
    cliplist_->SortByColumn(2);
    Pump();
    QImage shot = qt::Grab("ClipList");
    ASSERT_FALSE(shot.isNull());
    std::string path = std::string(CLIPLIST_SCREENSHOT_DIR) + "/cliplist.png";
    EXPECT_TRUE(shot.save(QString::fromStdString(path)));
}

}  // namespace
}  // namespace tarvolen::testing
