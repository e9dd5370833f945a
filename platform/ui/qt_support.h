// Helpers between window objects and their Qt widgets (the layer's Qt files only).
#pragma once

#include <functional>

#include <QIcon>
#include <QPixmap>

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
QPixmap PixmapOfResource(UINT id);

}  // namespace qui::detail
