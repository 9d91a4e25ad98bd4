// A left click (or double click) as real mouse events, as an operator's
// clicks reach a widget.
#pragma once

#include <QApplication>
#include <QMouseEvent>
#include <QWidget>

namespace tarvolen::testing {

inline void ClickAt(QWidget* w, QPoint at, bool twice = false) {
    QPoint global = w->mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(w, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, global, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QApplication::sendEvent(w, &release);
    if (twice) {
        QMouseEvent again(QEvent::MouseButtonDblClick, at, global, Qt::LeftButton, Qt::LeftButton,
                          Qt::NoModifier);
        QApplication::sendEvent(w, &again);
    }
}

}  // namespace tarvolen::testing
