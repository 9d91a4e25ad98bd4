// The busy spinner over Qt: a frameless, always-on-top, per-pixel-transparent
// tool window, driven by a timer on the GUI thread.
#pragma once

#include <QImage>
#include <QPoint>
#include <QRect>
#include <QTimer>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <optional>

#include "busy/busy.h"

namespace tarvolen::platform::qt {

class SpinnerWindow : public QWidget {
  public:
    explicit SpinnerWindow(const QString& name);

    // The frame shown, premultiplied ARGB; drawn at the top-left corner.
    void SetFrame(QImage frame);
    const QImage& Frame() const { return frame_; }
    QTimer& FrameTimer() { return timer_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

  private:
    QImage frame_;
    QTimer timer_;
    std::optional<QPoint> drag_offset_;
};

// Screen rectangle, in pixels, of a window handle; nothing when the handle is
// not a window. Without one set, the toolkit's EZ_HANDLERECT answers.
using WindowRectLookup = std::function<std::optional<QRect>(std::int32_t)>;
void SetSpinnerWindowLookup(WindowRectLookup lookup);

// Makes the Qt spinner the busy animation's platform. Done on its own when this
// file is linked in; calling it again is harmless.
void InstallSpinnerPlatform();

// The widget behind a spinner handle, or nullptr (for tests and screenshots).
SpinnerWindow* SpinnerWidget(busy::BusyHandle spinner);

}  // namespace tarvolen::platform::qt
