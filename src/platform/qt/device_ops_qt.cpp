// Toolkit operations the device layer needs beyond the list view itself.
#include <QCoreApplication>
#include <QThread>
#include <utility>

#include "platform/qt/backend.h"
#include "platform/qt/listview.h"
#include "shell/text.h"

using namespace tarvolen::qt;

namespace {

void ApplyPosted() {
    std::vector<Backend::PostedText> texts;
    {
        std::lock_guard lock(B().postedMutex);
        texts.swap(B().posted);
        B().postedQueued = false;
    }
    for (const auto& t : texts) EZ_SETLVITEMTEXT(t.form, t.id, t.row, t.column, t.text);
}

}  // namespace

void EZ_POSTLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column,
                       const std::string& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        EZ_SETLVITEMTEXT(form, id, row, column, text);
        return;
    }
    bool queue = false;
    {
        std::lock_guard lock(B().postedMutex);
        B().posted.push_back(Backend::PostedText{form, id, row, column, text});
        queue = !std::exchange(B().postedQueued, true);
    }
    // The same queue as the thread event, so a redraw it asks for sees the
    // texts: the call is queued with a pass's first text, before its event.
    if (queue) QMetaObject::invokeMethod(app, ApplyPosted, Qt::QueuedConnection);
}

void EZ_REDRAWLVWRITTEN(const std::string& form, int32_t id) {
    if (ListView* l = FindListView(form, id)) l->RedrawWritten();
}

void EZ_ENABLEFORM(const std::string& form, int32_t on) {
    Form* f = B().FindForm(form);
    if (f && f->window) f->window->setEnabled(on != 0);
}
