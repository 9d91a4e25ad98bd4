// Driving a modal form from a test: the form's call returns only when it is
// unloaded, so the test's steps run from the form's own event loop.
#pragma once

#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/qt/qt_seam.h"
#include "shell/toolkit.h"

namespace tarvolen::testing {

// Runs body once the modal form opened by open is up and its shown event has
// been handled; open returns when the form has been unloaded (by the body,
// or here if the body left it open).
inline void WhileOpen(const std::string& form, const std::function<void()>& open,
                      const std::function<void()>& body) {
    auto step = std::make_shared<std::function<void()>>();
    *step = [form, body, step] {
        if (!qt::FormShownHandled(form)) {
            QTimer::singleShot(5, *step);
            return;
        }
        body();
        if (EZ_FORMEXISTS(form)) EZ_UNLOADFORM(form);
        *step = nullptr;  // breaks the cycle
    };
    QTimer::singleShot(0, *step);
    open();
}

}  // namespace tarvolen::testing
