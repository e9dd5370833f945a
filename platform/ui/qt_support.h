// Helpers between window objects and their Qt widgets (the layer's Qt files only).
#pragma once

#include <functional>

#include <QIcon>
#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include "ui_internal.h"

class QMenu;
class QWidget;

namespace qui::detail {

void StartMainThread();
void StopMainThread();
HWND ServiceHandle();
// The window object a widget shows (its own or its nearest ancestor's), or null.
CWnd* WindowOfWidget(QWidget* widget);
QWidget* WidgetOfHandle(HWND window);
void WidgetFocused(QWidget* widget);
// Fills menu with the items of a layer menu; chosen(id) runs when an item is triggered.
void FillQMenu(QMenu* menu, HMENU source, const std::function<void(UINT)>& chosen, CFrameWnd* updater = nullptr);
QPixmap PixmapOfIcon(HICON icon);

// Gives the keyboard focus back to the owner's window, and to the widget that had it there, when
// a modal window (dialog, message box, file dialog) closes: with no window manager nobody else
// would, and the keyboard would reach no window.
class FocusReturn {
public:
    explicit FocusReturn(QWidget* owner);
    ~FocusReturn();
    FocusReturn(const FocusReturn&) = delete;
    FocusReturn& operator=(const FocusReturn&) = delete;

private:
    QPointer<QWidget> owner_;
    QPointer<QWidget> focus_;
};
QPixmap PixmapOfResource(UINT id);

}  // namespace qui::detail
