// Toolkit operations the device layer needs beyond the list view itself.
#include <QCoreApplication>
#include <QThread>

#include "platform/qt/backend.h"
#include "platform/qt/listview.h"
#include "shell/text.h"

using namespace tarvolen::qt;

void EZ_POSTLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column,
                       const std::string& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        EZ_SETLVITEMTEXT(form, id, row, column, text);
        return;
    }
    // The same queue as the thread event, so a redraw it asks for sees the text.
    QMetaObject::invokeMethod(
        app, [form, id, row, column, text] { EZ_SETLVITEMTEXT(form, id, row, column, text); },
        Qt::QueuedConnection);
}

void EZ_ENABLEFORM(const std::string& form, int32_t on) {
    Form* f = B().FindForm(form);
    if (f && f->window) f->window->setEnabled(on != 0);
}
