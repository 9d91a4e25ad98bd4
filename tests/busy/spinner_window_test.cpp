#include "platform/qt/spinner_window.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "busy/busy.h"
#include "shell/toolkit.h"

namespace tarvolen::platform::qt {
namespace {

using busy::BusyHandle;

class SpinnerWindowTest : public ::testing::Test {
  protected:
    // Our own application object, gone before the program's statics are: one
    // destroyed after main returns takes Qt's globals down in the wrong order.
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "busy_spinner_window_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        QApplication::setQuitOnLastWindowClosed(false);
    }
    static void TearDownTestSuite() { app_.reset(); }

    void SetUp() override {
        InstallSpinnerPlatform();
        host_ = std::make_unique<QWidget>();
        host_->setWindowTitle("Main");
        host_->setStyleSheet("background: #d8dde4;");
        auto* layout = new QVBoxLayout(host_.get());
        for (const char* text :
             {"01  Channel one    Record   00:12:03;14", "02  Channel two    Stop     01:00:00;00",
              "03  Channel three  Play     00:00:41;02"})
            layout->addWidget(new QLabel(text, host_.get()));
        host_->setGeometry(100, 100, 400, 300);
        host_->show();
        SetSpinnerWindowLookup([this](std::int32_t handle) -> std::optional<QRect> {
            if (handle == kHostHandle) return host_->frameGeometry();
            return std::nullopt;
        });
    }

    void TearDown() override {
        // End any spinner left over through the stop request, as callers do.
        for (BusyHandle h = spinner_; h != 0 && SpinnerWidget(h) != nullptr; h = 0) {
            busy::StopBusy();
            Tick(h);
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        SetSpinnerWindowLookup(nullptr);
        host_.reset();
    }

    // One period of the spinner's timer, without waiting for it.
    static void Tick(BusyHandle spinner) {
        SpinnerWindow* w = SpinnerWidget(spinner);
        ASSERT_NE(w, nullptr);
        ASSERT_TRUE(w->FrameTimer().isActive());
        QTimerEvent event(w->FrameTimer().timerId());
        QCoreApplication::sendEvent(&w->FrameTimer(), &event);
    }

    static constexpr std::int32_t kHostHandle = 4242;
    static inline std::unique_ptr<QApplication> app_;
    std::unique_ptr<QWidget> host_;
    BusyHandle spinner_ = 0;
};

TEST_F(SpinnerWindowTest, BorderlessTopmostTranslucentToolWindowCentredOverTheWindow) {
    spinner_ = busy::ShowBusy(kHostHandle, busy::kBusyPicture);
    ASSERT_NE(spinner_, 0) << "spinner06.ski beside the test program";
    SpinnerWindow* w = SpinnerWidget(spinner_);
    ASSERT_NE(w, nullptr);
    const Qt::WindowFlags flags = w->windowFlags();
    EXPECT_TRUE(flags.testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(flags.testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_EQ(flags & Qt::WindowType_Mask, Qt::Tool);  // no taskbar entry
    EXPECT_TRUE(w->testAttribute(Qt::WA_TranslucentBackground));
    EXPECT_EQ(w->windowTitle(), "ZSPINNER");
    EXPECT_TRUE(w->isVisible());
    const QRect host = host_->frameGeometry();
    EXPECT_EQ(w->geometry(), QRect(host.x() + (host.width() - 40) / 2,
                                   host.y() + (host.height() - 40) / 2, 40, 40));
    // 12 frames: 100 ms base, half of it per tick.
    EXPECT_EQ(w->FrameTimer().interval(), 50);
}

TEST_F(SpinnerWindowTest, CentredOverAToolkitFormByItsHandle) {
    SetSpinnerWindowLookup(nullptr);  // the toolkit's own handle rectangles
    EZ_FORM("BUSYHOST", "", "Busy host", 10, 5, 50, 20, "");
    const std::int32_t handle = EZ_HANDLE("busyhost", 0);
    ASSERT_NE(handle, 0);
    std::int32_t x = 0, y = 0, width = 0, height = 0;
    ASSERT_TRUE(EZ_HANDLERECT(handle, x, y, width, height));
    spinner_ = busy::ShowBusy(handle, busy::kBusyPicture);
    ASSERT_NE(spinner_, 0);
    EXPECT_EQ(SpinnerWidget(spinner_)->geometry(),
              QRect(x + static_cast<int>(std::nearbyint((width - 40) * 0.5)),
                    y + static_cast<int>(std::nearbyint((height - 40) * 0.5)), 40, 40));
    EZ_UNLOADFORM("BUSYHOST");
}

TEST_F(SpinnerWindowTest, EachTickShowsTheNextFrameWithSoftAlpha) {
    spinner_ = busy::ShowBusy(kHostHandle, busy::kBusyPicture);
    ASSERT_NE(spinner_, 0);
    SpinnerWindow* w = SpinnerWidget(spinner_);
    Tick(spinner_);
    const QImage first = w->Frame();
    ASSERT_EQ(first.size(), QSize(40, 40));
    int clear = 0, solid = 0, soft = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x) {
            const int a = qAlpha(first.pixel(x, y));
            (a == 0 ? clear : a > 200 ? solid : soft)++;
        }
    EXPECT_GT(clear, 800);  // the ring's middle and the corners show through
    EXPECT_GT(solid, 10);   // the head dot
    EXPECT_GT(soft, 50);    // fading tail and anti-aliased edges
    EXPECT_EQ(qAlpha(first.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(first.pixel(20, 20)), 0);

    Tick(spinner_);
    EXPECT_NE(w->Frame(), first);
    // Twelve frames later it is back where it was.
    for (int i = 0; i < 11; ++i) Tick(spinner_);
    EXPECT_EQ(w->Frame(), first);

    // What the window paints keeps the per-pixel alpha.
    const QImage painted = w->grab().toImage();
    EXPECT_TRUE(painted.hasAlphaChannel());
    EXPECT_EQ(qAlpha(painted.pixel(0, 0)), 0);
}

TEST_F(SpinnerWindowTest, DraggedByTheMouse) {
    spinner_ = busy::ShowBusy(kHostHandle, busy::kBusyPicture);
    SpinnerWindow* w = SpinnerWidget(spinner_);
    ASSERT_NE(w, nullptr);
    const QPoint start = w->pos();
    const QPointF local(20, 20);
    const QPointF global = QPointF(start) + local;
    QMouseEvent press(QEvent::MouseButtonPress, local, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QCoreApplication::sendEvent(w, &press);
    QMouseEvent move(QEvent::MouseMove, local + QPointF(50, 30), global + QPointF(50, 30),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, local + QPointF(50, 30),
                        global + QPointF(50, 30), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &release);
    EXPECT_EQ(w->pos(), start + QPoint(50, 30));
}

TEST_F(SpinnerWindowTest, StopRemovesTheWindowAtTheNextTickAndShowMakesANewOne) {
    spinner_ = busy::ShowBusy(kHostHandle, busy::kBusyPicture);
    ASSERT_NE(spinner_, 0);
    Tick(spinner_);
    busy::StopBusy();
    QPointer<SpinnerWindow> w = SpinnerWidget(spinner_);
    Tick(spinner_);
    EXPECT_EQ(SpinnerWidget(spinner_), nullptr);
    ASSERT_TRUE(w);
    EXPECT_FALSE(w->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_FALSE(w);

    // Not a window: centred over the screen.
    spinner_ = busy::ShowBusy(0, busy::kBusyPicture);
    ASSERT_NE(spinner_, 0);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QPoint centred(
        screen.x() + static_cast<int>(std::nearbyint((screen.width() - 40) * 0.5)),
        screen.y() + static_cast<int>(std::nearbyint((screen.height() - 40) * 0.5)));
    EXPECT_EQ(SpinnerWidget(spinner_)->pos(), centred);
}

TEST_F(SpinnerWindowTest, OtherPictureFormatsLoadThroughQt) {
    const QString png =
        QDir::temp().filePath("busy_strip_%1.png").arg(QCoreApplication::applicationPid());
    QImage strip(160, 40, QImage::Format_ARGB32);
    strip.fill(Qt::transparent);
    QPainter(&strip).fillRect(40, 0, 40, 40, QColor(255, 0, 0, 128));
    ASSERT_TRUE(strip.save(png));
    spinner_ = busy::ShowBusy(kHostHandle, png.toStdString());
    QFile::remove(png);
    ASSERT_NE(spinner_, 0);
    SpinnerWindow* w = SpinnerWidget(spinner_);
    EXPECT_EQ(w->FrameTimer().interval(), 100);  // 4 frames: 200 ms base
    bool saw_red = false;
    for (int i = 0; i < 4; ++i) {
        Tick(spinner_);
        const QColor p = w->Frame().pixelColor(20, 20);
        saw_red = saw_red || (p.alpha() == 128 && p.red() > 250 && p.green() == 0);
    }
    EXPECT_TRUE(saw_red);
}

// The spinner over its window as the operator sees it, written when
// TARVOLEN_SCREENSHOTS names a folder.
TEST_F(SpinnerWindowTest, Screenshot) {
    const char* dir = std::getenv("TARVOLEN_SCREENSHOTS");
    if (dir == nullptr) GTEST_SKIP() << "TARVOLEN_SCREENSHOTS not set";
    spinner_ = busy::ShowBusy(kHostHandle, busy::kBusyPicture);
    ASSERT_NE(spinner_, 0);
    SpinnerWindow* w = SpinnerWidget(spinner_);
    const QPoint at = w->pos() - host_->pos();

    QImage shot = host_->grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage turns(4 * 40 * 4, 40 * 4, QImage::Format_ARGB32_Premultiplied);
    turns.fill(QColor(0xd8, 0xdd, 0xe4));
    QPainter strip(&turns);
    for (int i = 0; i < 4; ++i) {
        Tick(spinner_);
        if (i == 0) QPainter(&shot).drawImage(at, w->grab().toImage());
        strip.drawImage(QRect(i * 160, 0, 160, 160), w->grab().toImage());
    }
    strip.end();
    EXPECT_TRUE(shot.save(QDir(dir).filePath("spinner_over_window.png")));
    EXPECT_TRUE(turns.save(QDir(dir).filePath("spinner_frames_x4.png")));
}

}  // namespace
}  // namespace tarvolen::platform::qt
