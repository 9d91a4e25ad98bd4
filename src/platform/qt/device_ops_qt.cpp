// Toolkit operations the device layer needs beyond the list view itself.
#include <QCoreApplication>
#include <QThread>
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>
#include <utility>

#include "platform/qt/backend.h"
#include "platform/qt/listview.h"
#include "shell/text.h"

using namespace tarvolen::qt;

namespace {

void ApplyPosted() {
    std::deque<Backend::Posted> items;
    {
        std::lock_guard lock(B().postedMutex);
        items.swap(B().posted);
        B().postedQueued = false;
    }
    // Lists written here are looked at once, when this pass's texts are in,
    // not each by a queued call of its own.
    std::vector<QPointer<ListView>> written;
    auto redraw = [&written] {
        for (const QPointer<ListView>& l : written)
            if (l) l->RedrawWritten();
        written.clear();
    };
    // A pass writes all its texts to one list: it is looked up once. Writing
    // a text runs no handler, so the list stays while texts are written.
    std::optional<std::pair<std::string, int32_t>> listFor;
    ListView* list = nullptr;
    while (!items.empty()) {
        Backend::Posted item = std::move(items.front());
        items.pop_front();
        if (!item.threadEvent) {
            if (!listFor || listFor->second != item.id || listFor->first != item.form) {
                list = FindListView(item.form, item.id);
                listFor.emplace(item.form, item.id);
            }
            if (list && list->SetText(item.row, item.column, item.text, false) &&
                std::find(written.begin(), written.end(), list) == written.end())
                written.emplace_back(list);
            continue;
        }
        redraw();
        // The event's handler may run a loop of its own (a message box): what
        // came after the event goes back ahead of what came since, in a call
        // of its own, or it would wait for the loop to end.
        if (!items.empty()) {
            std::lock_guard lock(B().postedMutex);
            B().posted.insert(B().posted.begin(), std::make_move_iterator(items.begin()),
                              std::make_move_iterator(items.end()));
            if (!std::exchange(B().postedQueued, true))
                QMetaObject::invokeMethod(QCoreApplication::instance(), ApplyPosted,
                                          Qt::QueuedConnection);
        }
        const std::string name = tarvolen::ToUpper(item.form);
        if (B().FindForm(name)) B().Fire(name, item.id, EZ_EV_THREAD, item.row);
        return;
    }
    redraw();
}

}  // namespace

namespace tarvolen::qt {

namespace {
thread_local int32_t t_postsHeld = 0;
}  // namespace

void Backend::Post(Posted item) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    // Queued once the lock is let go: the GUI thread, woken at once, takes
    // the lock first and would sleep on it again.
    bool queue = false;
    {
        std::lock_guard lock(postedMutex);
        posted.push_back(std::move(item));
        queue = t_postsHeld == 0 && !std::exchange(postedQueued, true);
    }
    if (queue) QMetaObject::invokeMethod(app, ApplyPosted, Qt::QueuedConnection);
}

}  // namespace tarvolen::qt

void EZ_HOLDPOSTS(int32_t on) {
    if (on) {
        ++t_postsHeld;
        return;
    }
    if (t_postsHeld == 0 || --t_postsHeld > 0) return;
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    bool queue = false;
    {
        std::lock_guard lock(B().postedMutex);
        queue = !B().posted.empty() && !std::exchange(B().postedQueued, true);
    }
    if (queue) QMetaObject::invokeMethod(app, ApplyPosted, Qt::QueuedConnection);
}

void EZ_POSTLVITEMTEXT(const std::string& form, int32_t id, int32_t row, int32_t column,
                       const std::string& text) {
    QCoreApplication* app = QCoreApplication::instance();
    if (!app) return;
    if (QThread::currentThread() == app->thread()) {
        EZ_SETLVITEMTEXT(form, id, row, column, text);
        return;
    }
    B().Post(Backend::Posted{form, id, row, column, text, false});
}

void EZ_REDRAWLVWRITTEN(const std::string& form, int32_t id) {
    if (ListView* l = FindListView(form, id)) l->RedrawWritten();
}

void EZ_ENABLEFORM(const std::string& form, int32_t on) {
    Form* f = B().FindForm(form);
    if (f && f->window) f->window->setEnabled(on != 0);
}
