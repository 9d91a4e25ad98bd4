// Preloaded into an installed controller, which has no test hooks: once the
// file named by TARVOLEN_TEST_GO exists, opens the Setup window and presses
// its Ok, which saves the settings, as an operator would.
#include <QAbstractButton>
#include <QApplication>
#include <QFile>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

namespace {

QAbstractButton* VisibleButton(const QString& text) {
    for (QWidget* w : QApplication::allWidgets()) {
        auto* b = qobject_cast<QAbstractButton*>(w);
        if (b && b->isVisible() && b->text() == text) return b;
    }
    return nullptr;
}

void Start() {
    const char* go = std::getenv("TARVOLEN_TEST_GO");
    // Called while the application object is still being made: give it time.
    if (go == nullptr) return;
    auto* timer = new QTimer(QCoreApplication::instance());
    QObject::connect(timer, &QTimer::timeout, [timer, go = QString(go), step = 0]() mutable {
        if (step == 0 && QFile::exists(go)) {
            if (QAbstractButton* setup = VisibleButton("setup")) {
                // The window may run a loop of its own: not inside this tick.
                QMetaObject::invokeMethod(setup, &QAbstractButton::click, Qt::QueuedConnection);
                step = 1;
            }
        } else if (step == 1) {
            if (QAbstractButton* ok = VisibleButton("&Ok")) {
                std::fprintf(stderr, "press_setup_ok: pressing Ok\n");
                timer->stop();
                QMetaObject::invokeMethod(ok, &QAbstractButton::click, Qt::QueuedConnection);
            }
        }
    });
    timer->start(100);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Start)
