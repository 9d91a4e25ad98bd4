#include "platform/qt/spinner_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScreen>

#include "platform/qt/backend.h"
#include "shell/toolkit.h"

#include <map>
#include <utility>

namespace tarvolen::platform::qt {

SpinnerWindow::SpinnerWindow(const QString& name)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus) {
    setObjectName(name);
    setWindowTitle(name);
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_NoSystemBackground);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setCursor(Qt::ArrowCursor);
}

void SpinnerWindow::SetFrame(QImage frame) {
    frame_ = std::move(frame);
    update();
}

void SpinnerWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // Replace rather than blend: the window's own alpha is the frame's alpha.
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.fillRect(rect(), Qt::transparent);
    if (!frame_.isNull()) painter.drawImage(QPoint(0, 0), frame_);
}

void SpinnerWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return QWidget::mousePressEvent(event);
    drag_offset_ = event->globalPosition().toPoint() - frameGeometry().topLeft();
    event->accept();
}

void SpinnerWindow::mouseMoveEvent(QMouseEvent* event) {
    if (!drag_offset_ || !(event->buttons() & Qt::LeftButton))
        return QWidget::mouseMoveEvent(event);
    move(event->globalPosition().toPoint() - *drag_offset_);
    event->accept();
}

void SpinnerWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) drag_offset_.reset();
    QWidget::mouseReleaseEvent(event);
}

void SpinnerWindow::closeEvent(QCloseEvent* event) {
    // Only the stop request ends the spinner.
    event->ignore();
}

namespace {

class QtBusyPlatform final : public busy::BusyPlatform {
  public:
    // A spinner still up at exit goes with the process: deleting widgets from a
    // static destructor would race the platform plugin's own teardown.
    ~QtBusyPlatform() override = default;

    busy::BusyHandle FindSpinner(const std::string& name) override {
        const QString wanted = tarvolen::qt::ToQ(name);
        for (const auto& [handle, window] : windows_)
            if (window && window->windowTitle() == wanted) return handle;
        return 0;
    }

    busy::BusyHandle CreateSpinner(const std::string& name) override {
        if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr) return 0;
        const busy::BusyHandle handle = next_handle_++;
        windows_[handle] = new SpinnerWindow(tarvolen::qt::ToQ(name));
        return handle;
    }

    void DestroySpinner(busy::BusyHandle spinner) override {
        const auto it = windows_.find(spinner);
        if (it == windows_.end()) return;
        QPointer<SpinnerWindow> window = it->second;
        windows_.erase(it);
        if (!window) return;
        window->FrameTimer().stop();
        window->hide();
        // Often called from the window's own timer, so not deleted on the spot.
        window->deleteLater();
    }

    void MoveSpinner(busy::BusyHandle spinner, int x, int y, int width, int height) override {
        SpinnerWindow* window = Find(spinner);
        if (window == nullptr) return;
        window->setGeometry(x, y, width, height);
        if (!window->isVisible()) window->show();
    }

    void ShowFrame(busy::BusyHandle spinner, const busy::BusyImage& strip, int src_x, int src_y,
                   int side) override {
        SpinnerWindow* window = Find(spinner);
        if (window == nullptr) return;
        const QImage view(reinterpret_cast<const uchar*>(strip.argb.data()), strip.width,
                          strip.height, static_cast<qsizetype>(strip.width) * 4,
                          QImage::Format_ARGB32);
        window->SetFrame(view.copy(src_x, src_y, side, side)
                             .convertToFormat(QImage::Format_ARGB32_Premultiplied));
    }

    void StartTimer(busy::BusyHandle spinner, int period_ms, std::function<void()> tick) override {
        SpinnerWindow* window = Find(spinner);
        if (window == nullptr) return;
        QTimer& timer = window->FrameTimer();
        timer.stop();
        QObject::disconnect(&timer, &QTimer::timeout, nullptr, nullptr);
        QObject::connect(&timer, &QTimer::timeout, window, std::move(tick));
        timer.start(period_ms);
    }

    void StopTimer(busy::BusyHandle spinner) override {
        if (SpinnerWindow* window = Find(spinner)) window->FrameTimer().stop();
    }

    std::optional<busy::BusyRect> WindowRect(busy::BusyHandle window) override {
        std::optional<QRect> r;
        if (SpinnerWindow* spinner = Find(window)) {
            r = spinner->frameGeometry();
        } else if (lookup_) {
            r = lookup_(window);
        } else if (std::int32_t x, y, w, h; EZ_HANDLERECT(window, x, y, w, h)) {
            r = QRect(x, y, w, h);
        }
        if (!r || !r->isValid()) return std::nullopt;
        return ToBusy(*r);
    }

    busy::BusyRect DesktopRect() override {
        const QScreen* screen = QGuiApplication::primaryScreen();
        return screen != nullptr ? ToBusy(screen->geometry()) : busy::BusyRect{};
    }

    std::optional<busy::BusyImage> LoadPicture(const std::string& path) override {
        const QImage loaded(QFile::decodeName(QByteArray::fromStdString(path)));
        if (loaded.isNull()) return std::nullopt;
        const QImage argb = loaded.convertToFormat(QImage::Format_ARGB32);
        busy::BusyImage image;
        image.width = argb.width();
        image.height = argb.height();
        image.argb.resize(static_cast<std::size_t>(image.width) * image.height);
        for (int y = 0; y < image.height; ++y) {
            const auto* row = reinterpret_cast<const std::uint32_t*>(argb.constScanLine(y));
            std::copy(row, row + image.width,
                      image.argb.begin() + static_cast<std::ptrdiff_t>(y) * image.width);
        }
        return image;
    }

    SpinnerWindow* Find(busy::BusyHandle spinner) const {
        const auto it = windows_.find(spinner);
        return it == windows_.end() ? nullptr : it->second.data();
    }

    void SetLookup(WindowRectLookup lookup) { lookup_ = std::move(lookup); }

  private:
    static busy::BusyRect ToBusy(const QRect& r) {
        // Right and bottom are exclusive, as a platform window rectangle is.
        return {r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
    }

    std::map<busy::BusyHandle, QPointer<SpinnerWindow>> windows_;
    // Spinner handles live apart from the toolkit's window handles.
    busy::BusyHandle next_handle_ = 0x5A000001;
    WindowRectLookup lookup_;
};

QtBusyPlatform& ThePlatform() {
    static QtBusyPlatform platform;
    return platform;
}

[[maybe_unused]] const bool kRegistered = (InstallSpinnerPlatform(), true);

}  // namespace

void InstallSpinnerPlatform() {
    busy::InstallBusyPlatform(&ThePlatform());
}

void SetSpinnerWindowLookup(WindowRectLookup lookup) {
    ThePlatform().SetLookup(std::move(lookup));
}

SpinnerWindow* SpinnerWidget(busy::BusyHandle spinner) {
    return ThePlatform().Find(spinner);
}

}  // namespace tarvolen::platform::qt
