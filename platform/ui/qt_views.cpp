// The widgets that show the window objects. Each widget shows its object's state (sync) and puts
// the user's changes back into it, then notifies as the platform's control would. Widgets exist
// only on the main thread; they are hidden and deleted later when their object lets them go, so a
// handler may destroy the window whose signal it runs in.
#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QScrollBar>
#include <QScreen>
#include <QScrollBar>
#include <QShortcut>
#include <QStyle>
#include <QStyleOption>
#include <QStatusBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextEdit>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QTreeWidget>
#include <algorithm>
#include <map>
#include <optional>
#include <string_view>
#include <unordered_map>

#include "qt_support.h"
#include "ui/afxcmn.h"

namespace qui::detail {
std::string CommandTip(UINT id);

namespace {

const char* const kWindowProperty = "quiWindow";
thread_local QPainter* currentPainter = nullptr;

QString qs(const std::string& s) { return QString::fromStdString(s); }

class WidgetView final : public View {
public:
    WidgetView(CWnd& window, QWidget* widget, std::function<void()> update, bool child)
        : window_(window), widget_(widget), update_(std::move(update)), child_(child) {
        widget->setProperty(kWindowProperty, QVariant::fromValue(reinterpret_cast<quintptr>(&window)));
    }
    ~WidgetView() override {
        if (!widget_) return;
        widget_->setProperty(kWindowProperty, QVariant());
        widget_->blockSignals(true);
        widget_->hide();
        widget_->deleteLater();
    }
    void sync() override {
        if (!widget_ || syncing_) return;
        syncing_ = true;
        if (child_) {
            widget_->setEnabled(window_.IsWindowEnabled());
            widget_->setVisible(window_.IsWindowVisible());
        } else {
            widget_->setEnabled(window_.IsWindowEnabled());
        }
        if (const CFont* f = window_.GetFont(); f && f->created) {
            QFont font = widget_->font();
            if (!f->face.empty()) font.setFamily(QString::fromStdString(f->face));
            if (f->tenthsOfPoint > 0) font.setPointSizeF(f->tenthsOfPoint / 10.0);
            if (f->pixelHeight > 0) font.setPixelSize(f->pixelHeight);
            font.setBold(f->weight >= FW_BOLD);
            font.setItalic(f->italic);
            font.setUnderline(f->underline);
            widget_->setFont(font);
        }
        const CRgn& region = window_.windowRegion();
        if (region.shape == CRgn::Shape::None) {
            if (!widget_->mask().isEmpty()) widget_->clearMask();
        } else {
            const QRect r(region.bounds.left, region.bounds.top, region.bounds.right - region.bounds.left,
                          region.bounds.bottom - region.bounds.top);
            widget_->setMask(QRegion(r, region.shape == CRgn::Shape::Ellipse ? QRegion::Ellipse : QRegion::Rectangle));
        }
        if (update_) update_();
        syncing_ = false;
    }
    QWidget* widget() const override { return widget_; }
    bool syncing() const { return syncing_; }

private:
    CWnd& window_;
    QPointer<QWidget> widget_;
    std::function<void()> update_;
    bool child_;
    bool syncing_ = false;
};

WidgetView* bind(CWnd& window, QWidget* widget, std::function<void()> update, bool child = true) {
    auto* view = new WidgetView(window, widget, std::move(update), child);
    window.setView(view);
    return view;
}

bool syncing(const CWnd& window) {
    auto* v = dynamic_cast<WidgetView*>(window.view());
    return v && v->syncing();
}

QFont dialogFont() {
    QFont font = QApplication::font();
    font.setPointSize(8);
    return font;
}

CDialog* dialogOf(CWnd& control) { return dynamic_cast<CDialog*>(control.GetParent()); }

// The template of a dialog's control; null for a control made at run time.
const qui::ControlTemplate* templateOf(CWnd& control) {
    const CDialog* dialog = dialogOf(control);
    const qui::DialogTemplate* t = dialog ? dialog->Template() : nullptr;
    if (!t) return nullptr;
    for (const auto& ct : t->controls)
        if (ct.id == control.GetDlgCtrlID()) return &ct;
    return nullptr;
}

// Assistive technology is told a radio button only of an auto-exclusive one. Each joins a
// non-exclusive button group made for its template group: Qt then neither unchecks the others nor
// refuses to uncheck it, and the program sets every check as the platform's dialogs do.
QRadioButton* makeRadioButton(CButton& button, QWidget* parent) {
    auto* radio = new QRadioButton(parent);
    radio->setAutoExclusive(true);
    const CDialog* dialog = dialogOf(button);
    const int start = dialog && dialog->Template() ? static_cast<int>(RadioGroupStart(*dialog->Template(), button.GetDlgCtrlID())) : -1;
    QObject* owner = parent ? static_cast<QObject*>(parent) : radio;
    QButtonGroup* group = nullptr;
    for (QButtonGroup* g : owner->findChildren<QButtonGroup*>(Qt::FindDirectChildrenOnly))
        if (start >= 0 && g->property("quiGroupStart").toInt() == start) group = g;
    if (!group) {
        group = new QButtonGroup(owner);
        group->setExclusive(false);
        group->setProperty("quiGroupStart", start);
    }
    group->addButton(radio);
    return radio;
}

// ---- windows with their own widget classes
// A handler may destroy (and delete) the dialog: after calling into it, the handle says whether
// the object still lives.
class DialogWidget final : public QDialog {
public:
    DialogWidget(CDialog& dialog, QWidget* parent) : QDialog(parent), dialog_(dialog), handle_(dialog.m_hWnd) {}
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
            dialog_.PressEnter();
            return;
        }
        if (e->key() == Qt::Key_Escape) {
            dialog_.PressEscape();
            return;
        }
        QDialog::keyPressEvent(e);
    }
    void reject() override {
        if (!alive()) return;
        if (!dialog_.IsEnded()) dialog_.PressEscape();
        if (alive() && dialog_.IsEnded() && dialog_.host()) QDialog::reject();
    }
    void closeEvent(QCloseEvent* e) override {
        if (!alive() || dialog_.IsEnded()) return;
        e->ignore();
        dialog_.PressEscape();
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();
        if (alive()) dialog_.SendMessage(WM_LBUTTONDBLCLK, 0, MAKELPARAM(p.x(), p.y()));
    }
    void resizeEvent(QResizeEvent* e) override {
        QDialog::resizeEvent(e);
        if (!alive()) return;
        RECT& r = dialog_.geometry();
        r = RECT{r.left, r.top, r.left + width(), r.top + height()};
        dialog_.SendMessage(WM_SIZE, SIZE_RESTORED, MAKELPARAM(width(), height()));
    }

private:
    bool alive() const { return IsWindow(handle_) && CWnd::FromHandle(handle_) == &dialog_; }
    CDialog& dialog_;
    HWND handle_;
};

// WM_SIZE to a frame whose widget was resized, minimised, maximised or restored (by handle: the
// widget may outlive its window for a moment).
void sendSize(HWND frame, const QWidget& widget) {
    const WPARAM type = widget.isMaximized() ? SIZE_MAXIMIZED : widget.isMinimized() ? SIZE_MINIMIZED : SIZE_RESTORED;
    ::SendMessage(frame, WM_SIZE, type, MAKELPARAM(widget.width(), widget.height()));
}

class FrameWidget final : public QMainWindow {
public:
    explicit FrameWidget(CFrameWnd& frame) : frame_(frame), handle_(frame.m_hWnd) {}
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (frame_.m_hWnd) frame_.SendMessage(WM_CLOSE);
    }
    void resizeEvent(QResizeEvent* e) override {
        QMainWindow::resizeEvent(e);
        RECT& r = frame_.geometry();
        r = RECT{r.left, r.top, r.left + width(), r.top + height()};
        sendSize(handle_, *this);
    }
    void changeEvent(QEvent* e) override {
        QMainWindow::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange) sendSize(handle_, *this);
    }

private:
    CFrameWnd& frame_;
    HWND handle_;
};

class ChildFrameWidget final : public QMdiSubWindow {
public:
    explicit ChildFrameWidget(CMDIChildWnd& frame) : frame_(frame), handle_(frame.m_hWnd) {}
    void closeEvent(QCloseEvent* e) override {
        e->ignore();
        if (frame_.m_hWnd) frame_.SendMessage(WM_CLOSE);
    }
    void resizeEvent(QResizeEvent* e) override {
        QMdiSubWindow::resizeEvent(e);
        RECT& r = frame_.geometry();
        r = RECT{x(), y(), x() + width(), y() + height()};
        sendSize(handle_, *this);
    }
    void changeEvent(QEvent* e) override {
        QMdiSubWindow::changeEvent(e);
        if (e->type() == QEvent::WindowStateChange) sendSize(handle_, *this);
    }

private:
    CMDIChildWnd& frame_;
    HWND handle_;
};

// A pop-up window. Its owner's window is its Qt parent, so that it stays above its owner: window
// managers keep it there, and where none runs it raises itself whenever its owner is shown or
// activated (the owner, mapped later, would cover it).
class PopupWidget final : public QFrame {
public:
    PopupWidget(CWnd& window, QWidget* owner) : QFrame(owner, Qt::Tool | Qt::FramelessWindowHint), window_(window) {
        if (window.GetStyle() & WS_BORDER) setFrameStyle(QFrame::Box | QFrame::Plain);
        if (owner) owner->installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (watched == parentWidget() && (e->type() == QEvent::Show || e->type() == QEvent::WindowActivate)) {
            QTimer::singleShot(0, this, [this] {
                if (isVisible()) raise();
            });
        }
        return false;
    }
    void paintEvent(QPaintEvent* e) override {
        QFrame::paintEvent(e);
        QPainter painter(this);
        QPainter* previous = currentPainter;
        currentPainter = &painter;
        if (window_.m_hWnd) window_.SendMessage(WM_PAINT);
        currentPainter = previous;
    }

private:
    CWnd& window_;
};

// A push button; owner-drawn (BS_OWNERDRAW) ones are painted by the object's DrawItem.
class OwnerDrawWidget final : public QPushButton {
public:
    explicit OwnerDrawWidget(CButton& button, QWidget* parent) : QPushButton(parent), button_(button) {}
    void paintEvent(QPaintEvent* e) override {
        if ((button_.GetButtonStyle() & 0xFu) != BS_OWNERDRAW &&
            button_.kind_ != static_cast<int>(qui::ControlKind::OwnerDrawButton)) {
            QPushButton::paintEvent(e);
            return;
        }
        QPainter painter(this);
        QPainter* previous = currentPainter;
        currentPainter = &painter;
        CPaintDC dc(&button_);
        DRAWITEMSTRUCT item{4, static_cast<UINT>(button_.GetDlgCtrlID()), 1,
                            (isDown() ? ODS_SELECTED : 0u) | (hasFocus() ? ODS_FOCUS : 0u) | (isEnabled() ? 0u : ODS_DISABLED),
                            button_.m_hWnd, &dc, RECT{0, 0, width(), height()}};
        button_.DrawItem(&item);
        currentPainter = previous;
    }

private:
    CButton& button_;
};

// An item of the tree widget: the tree control's item it shows, with its text and image kept here
// rather than as item data, so that thousands of them are made quickly. The widget asks for the
// icon when it draws the item.
class TreeWidgetItem final : public QTreeWidgetItem {
public:
    explicit TreeWidgetItem(std::uintptr_t shown) : QTreeWidgetItem(QTreeWidgetItem::UserType), id(shown) {}
    QVariant data(int column, int role) const override;
    // Shows `text` and `image`. An item in the view tells it which of its data changed (through
    // the base's data, which data() does not read), so that the view redraws this item alone
    // instead of looking for it among all the rows it lays out.
    void show(QString text, int image) {
        const bool textChanged = text != text_;
        const bool imageChanged = image != image_;
        text_ = std::move(text);
        image_ = image;
        if (treeWidget() == nullptr) return;
        if (textChanged) QTreeWidgetItem::setData(0, Qt::DisplayRole, text_);
        if (imageChanged) QTreeWidgetItem::setData(0, Qt::DecorationRole, image_);
    }
    void showImage(int image) { show(text_, image); }

    const std::uintptr_t id;

private:
    QString text_;
    int image_ = -1;
};

std::uintptr_t idOfItem(const QTreeWidgetItem* item) { return static_cast<const TreeWidgetItem*>(item)->id; }
TreeWidgetItem* shownItem(QTreeWidgetItem* item) { return static_cast<TreeWidgetItem*>(item); }

// A list box's widget. The view's selection model keeps one range per selection step, and every
// later step, insertion or removal walks them all: lines selected one at a time by the program are
// shown together once the dialog step is over, in runs of lines; after the user has selected line by
// line (fragmented), the selection is shown again in runs once lines move.
class ListWidget final : public QListWidget {
public:
    using QListWidget::QListWidget;
    bool fragmented = false;
    bool selectionQueued = false;
};

class TreeWidget final : public QTreeWidget {
public:
    TreeWidget(CTreeCtrl& tree, QWidget* parent) : QTreeWidget(parent), tree_(tree) {
        setHeaderHidden(true);
        setColumnCount(1);
        // Every row is as high as the first: the view lays out thousands of items without
        // measuring each.
        setUniformRowHeights(true);
    }
    void mousePressEvent(QMouseEvent* e) override {
        QTreeWidget::mousePressEvent(e);
        const QPoint p = e->position().toPoint();  // viewport coordinates: the client area
        tree_.lastClick_ = POINT{p.x(), p.y()};
        tree_.notifyParent(e->button() == Qt::RightButton ? NM_RCLICK : NM_CLICK);
    }
    void mouseDoubleClickEvent(QMouseEvent* e) override {
        const QPoint p = e->position().toPoint();  // viewport coordinates: the client area
        tree_.lastClick_ = POINT{p.x(), p.y()};
        tree_.notifyParent(NM_DBLCLK);
    }
    void keyPressEvent(QKeyEvent* e) override {
        if ((e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) && tree_.GetSelectedItem()) {
            RECT r{};
            tree_.GetItemRect(tree_.GetSelectedItem(), &r, TRUE);
            tree_.lastClick_ = POINT{r.left + 1, (r.top + r.bottom) / 2};
            tree_.notifyParent(NM_DBLCLK);
            return;
        }
        const bool menuKey = e->key() == Qt::Key_Menu || (e->key() == Qt::Key_F10 && (e->modifiers() & Qt::ShiftModifier));
        if (menuKey && tree_.GetSelectedItem()) {
            RECT r{};
            tree_.GetItemRect(tree_.GetSelectedItem(), &r, TRUE);
            tree_.lastClick_ = POINT{r.left + 1, (r.top + r.bottom) / 2};
            tree_.notifyParent(NM_RCLICK);
            return;
        }
        QTreeWidget::keyPressEvent(e);
    }

    // The icon of an image of the tree's list, made once per image.
    QIcon icon(int image) {
        const CImageList* list = tree_.images_;
        if (!list || image < 0 || image >= list->GetImageCount()) return {};
        if (list != iconSource_) {
            icons_.clear();
            iconSource_ = list;
        }
        if (icons_.size() < list->images.size()) icons_.resize(list->images.size());
        auto& slot = icons_[static_cast<std::size_t>(image)];
        if (!slot) slot = QIcon(PixmapOfResource(list->images[static_cast<std::size_t>(image)].id));
        return *slot;
    }
    void showNode(QTreeWidgetItem* item, std::uintptr_t id, const CTreeCtrl::Node& n) {
        shownItem(item)->show(qs(n.text), id == tree_.selected_ ? n.selectedImage : n.image);
    }
    QTreeWidgetItem* itemOf(std::uintptr_t id) const {
        const auto it = items.find(id);
        return it == items.end() ? nullptr : it->second;
    }
    // The selection shown, with the selected image on the selected item alone.
    void showSelection() {
        if (shownSelected_ != tree_.selected_) {
            if (QTreeWidgetItem* old = itemOf(shownSelected_)) {
                if (const CTreeCtrl::Node* n = tree_.node(reinterpret_cast<HTREEITEM>(shownSelected_))) {
                    shownItem(old)->showImage(n->image);
                }
            }
            shownSelected_ = tree_.selected_;
            if (QTreeWidgetItem* now = itemOf(shownSelected_)) {
                if (const CTreeCtrl::Node* n = tree_.node(reinterpret_cast<HTREEITEM>(shownSelected_))) {
                    shownItem(now)->showImage(n->selectedImage);
                }
            }
        }
        QTreeWidgetItem* current = itemOf(tree_.selected_);
        if (currentItem() != current) setCurrentItem(current);
    }
    void forget(QTreeWidgetItem* item) {
        items.erase(idOfItem(item));
        for (int i = 0; i < item->childCount(); ++i) forget(item->child(i));
    }

    // Shows one change of the items; a change the widget cannot place has it rebuilt whole.
    void apply(CTreeCtrl::Change what, std::uintptr_t id) {
        using Change = CTreeCtrl::Change;
        if (what == Change::Whole) {
            stale = true;
            icons_.clear();
            queueRefresh();
            return;
        }
        if (stale || refreshQueued) return;  // the whole refresh catches up
        const QSignalBlocker blocker(this);
        const auto node = tree_.nodes_.find(id);
        switch (what) {
            case Change::Inserted: {
                if (node == tree_.nodes_.end()) return;
                QTreeWidgetItem* parentItem = node->second.parent ? itemOf(node->second.parent) : nullptr;
                if (node->second.parent && !parentItem) {
                    stale = true;
                    queueRefresh();
                    return;
                }
                const auto& siblings = node->second.parent ? tree_.nodes_.at(node->second.parent).children : tree_.roots_;
                // Items are mostly appended: look from the end.
                const auto at = std::find(siblings.rbegin(), siblings.rend(), id);
                const int position = static_cast<int>(siblings.rend() - at) - 1;
                auto* item = new TreeWidgetItem(id);
                showNode(item, id, node->second);
                items[id] = item;
                if (parentItem) parentItem->insertChild(position, item);
                else insertTopLevelItem(position, item);
                return;
            }
            case Change::Deleted: {
                QTreeWidgetItem* item = itemOf(id);
                if (!item) return;
                forget(item);
                if (shownSelected_ && !items.count(shownSelected_)) shownSelected_ = 0;
                delete item;  // leaves its parent, with its children
                showSelection();
                return;
            }
            case Change::Cleared:
                items.clear();
                shownSelected_ = 0;
                clear();
                return;
            case Change::Text:
            case Change::Image:
                if (QTreeWidgetItem* item = itemOf(id); item && node != tree_.nodes_.end()) showNode(item, id, node->second);
                return;
            case Change::Selected:
                showSelection();
                return;
            case Change::Expanded:
                if (QTreeWidgetItem* item = itemOf(id); item && node != tree_.nodes_.end()) {
                    // With a layout pending the view only notes the item: expanding many items one
                    // after the other costs one layout, not one each.
                    scheduleDelayedItemsLayout();
                    item->setExpanded(node->second.expanded);
                }
                return;
            case Change::Whole: return;
        }
    }

    // Rebuilds the widget from the items (first show, a new image list or indent, changes made off
    // the main thread).
    void refresh() {
        refreshQueued = false;
        if (!stale && !tree_.widgetStale_) return;
        stale = false;
        tree_.widgetStale_ = false;
        const QSignalBlocker blocker(this);
        const SIZE iconSize = tree_.images_ ? tree_.images_->imageSize() : SIZE{16, 16};
        setIconSize(QSize(iconSize.cx, iconSize.cy));
        setIndentation(static_cast<int>(tree_.indent_));
        items.clear();
        items.reserve(tree_.nodes_.size());
        clear();
        shownSelected_ = tree_.selected_;
        std::function<void(const std::vector<std::uintptr_t>&, QTreeWidgetItem*)> place =
            [&](const std::vector<std::uintptr_t>& ids, QTreeWidgetItem* parentItem) {
                if (ids.empty()) return;  // an empty list would still allocate
                QList<QTreeWidgetItem*> made;
                made.reserve(static_cast<qsizetype>(ids.size()));
                for (std::uintptr_t id : ids) {
                    const CTreeCtrl::Node& n = tree_.nodes_.at(id);
                    auto* item = new TreeWidgetItem(id);
                    showNode(item, id, n);
                    items[id] = item;
                    place(n.children, item);
                    made.push_back(item);
                }
                if (parentItem) parentItem->addChildren(made);
                else addTopLevelItems(made);
            };
        place(tree_.roots_, nullptr);
        std::function<void(const std::vector<std::uintptr_t>&)> expand = [&](const std::vector<std::uintptr_t>& ids) {
            for (std::uintptr_t id : ids) {
                const CTreeCtrl::Node& n = tree_.nodes_.at(id);
                if (!n.expanded) continue;
                items[id]->setExpanded(true);
                expand(n.children);
            }
        };
        expand(tree_.roots_);
        setCurrentItem(itemOf(tree_.selected_));
    }
    void queueRefresh() {
        if (refreshQueued) return;
        refreshQueued = true;
        QTimer::singleShot(0, this, [this] { refresh(); });
    }

    std::unordered_map<std::uintptr_t, QTreeWidgetItem*> items;
    bool refreshQueued = false;
    bool stale = true;  // the widget does not show the items yet

private:
    CTreeCtrl& tree_;
    const CImageList* iconSource_ = nullptr;
    std::vector<std::optional<QIcon>> icons_;
    std::uintptr_t shownSelected_ = 0;
};

QVariant TreeWidgetItem::data(int column, int role) const {
    if (column != 0) return QTreeWidgetItem::data(column, role);
    if (role == Qt::DisplayRole || role == Qt::EditRole) return text_;
    if (role == Qt::DecorationRole) {
        auto* view = dynamic_cast<TreeWidget*>(treeWidget());
        return view ? QVariant(view->icon(image_)) : QVariant();
    }
    return QTreeWidgetItem::data(column, role);
}

QMdiArea* mdiAreaOf(CMDIFrameWnd& frame) {
    auto* main = frame.view() ? qobject_cast<QMainWindow*>(frame.view()->widget()) : nullptr;
    return main ? qobject_cast<QMdiArea*>(main->centralWidget()) : nullptr;
}

QPixmap pixmapFromXpm(const std::vector<std::string>& xpm) {
    std::vector<const char*> lines;
    lines.reserve(xpm.size());
    for (const auto& line : xpm) lines.push_back(line.c_str());
    return QPixmap(lines.data());
}

}  // namespace

// ---- lookups
CWnd* WindowOfWidget(QWidget* widget) {
    for (QWidget* w = widget; w; w = w->parentWidget()) {
        const QVariant v = w->property(kWindowProperty);
        if (v.isValid()) return reinterpret_cast<CWnd*>(v.value<quintptr>());
    }
    return nullptr;
}

QWidget* WidgetOfHandle(HWND window) {
    CWnd* w = LookupWindow(window);
    if (!w) w = AfxGetMainWnd();
    return w && w->view() ? w->view()->widget()->window() : nullptr;
}

void WidgetFocused(QWidget* widget) {
    if (!widget) return;
    CWnd* window = nullptr;
    const QVariant v = widget->property(kWindowProperty);
    if (v.isValid()) window = reinterpret_cast<CWnd*>(v.value<quintptr>());
    else if (widget->parentWidget() && qobject_cast<QComboBox*>(widget->parentWidget())) window = WindowOfWidget(widget->parentWidget());
    if (!window) return;
    if (auto* dialog = dynamic_cast<CDialog*>(window->GetParent())) dialog->setFocusId(window->GetDlgCtrlID(), true);
    else SetFocusWindow(window);
}

QPixmap PixmapOfResource(UINT id) {
    // Resources do not change once registered: each is decoded once (main thread only).
    static std::map<std::pair<const void*, UINT>, QPixmap> cache;
    const void* source = qui::FindIcon(id);
    if (!source) source = qui::FindBitmap(id);
    if (!source) return {};
    auto& pixmap = cache[{source, id}];
    if (pixmap.isNull()) pixmap = pixmapFromXpm(*static_cast<const std::vector<std::string>*>(source));
    return pixmap;
}

QPixmap PixmapOfIcon(HICON icon) {
    if (!icon) return {};
    const auto id = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(icon) & 0xFFFFu);
    return qui::FindIcon(id) ? PixmapOfResource(id) : QPixmap();
}

namespace {
// Empties a menu or menu bar: its actions, and the popup menus that it made for them (clear() leaves
// those as children of the widget, so that each filling would keep the previous ones).
void ClearQMenu(QWidget* menu) {
    const auto popups = menu->findChildren<QMenu*>(Qt::FindDirectChildrenOnly);
    if (auto* m = qobject_cast<QMenu*>(menu)) m->clear();
    if (auto* bar = qobject_cast<QMenuBar*>(menu)) bar->clear();
    // Later: a popup may be showing, or running the signal that refills its parent.
    for (QMenu* popup : popups) popup->deleteLater();
}
}  // namespace

void FillQMenu(QMenu* menu, HMENU source, const std::function<void(UINT)>& chosen, CFrameWnd* updater) {
    ClearQMenu(menu);
    const auto* items = MenuItems(source);
    if (!items) return;
    for (const MenuItem& item : *items) {
        if (item.separator) {
            menu->addSeparator();
            continue;
        }
        if (item.popup) {
            QMenu* sub = menu->addMenu(qs(item.text));
            sub->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
            const HMENU popup = item.popup;
            QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, popup, chosen, updater] {
                if (updater) updater->UpdateMenuUI(CMenu::FromHandle(popup));
                FillQMenu(sub, popup, chosen, updater);
            });
            FillQMenu(sub, popup, chosen, updater);
            continue;
        }
        QAction* action = menu->addAction(qs(item.text));
        action->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
        action->setCheckable((item.state & MF_CHECKED) != 0);
        action->setChecked((item.state & MF_CHECKED) != 0);
        action->setData(item.id);
        const UINT id = item.id;
        QObject::connect(action, &QAction::triggered, menu, [chosen, id] { chosen(id); });
    }
}

// ---- generic window operations
void DestroyView(CWnd& window) {
    View* view = window.view();
    if (!view) return;
    window.setView(nullptr);
    if (!qui::IsMainThread() && QueueViewDelete(view)) return;
    delete view;
}

void MakeTopLevelView(CWnd& window) {
    if (window.view()) return;
    if (auto* frame = dynamic_cast<CFrameWnd*>(&window)) {
        auto* main = new FrameWidget(*frame);
        if (auto* mdi = dynamic_cast<CMDIFrameWnd*>(frame)) {
            auto* area = new QMdiArea(main);
            area->setObjectName("mdiClient");
            main->setCentralWidget(area);
            QObject::connect(area, &QMdiArea::subWindowActivated, area, [mdi](QMdiSubWindow* sub) {
                if (auto* child = dynamic_cast<CMDIChildWnd*>(WindowOfWidget(sub))) mdi->MDIActivate(child);
            });
        }
        main->resize(frame->geometry().right - frame->geometry().left, frame->geometry().bottom - frame->geometry().top);
        bind(*frame, main, [frame, main] {
            main->setWindowTitle(qs(frame->GetWindowText()));
            if (HICON icon = frame->GetIcon(TRUE)) main->setWindowIcon(PixmapOfIcon(icon));
            if (frame->IsWindowVisible() && !main->isVisible()) main->show();
            if (!frame->IsWindowVisible() && main->isVisible()) main->hide();
        }, false);
        return;
    }
    CWnd* owner = window.GetParent();
    QWidget* ownerWidget = owner && owner->view() ? owner->view()->widget()->window() : nullptr;
    auto* popup = new PopupWidget(window, ownerWidget);
    const RECT& r = window.geometry();
    popup->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    bind(window, popup, [&window, popup] {
        popup->setVisible(window.IsWindowVisible());
        popup->update();
    }, false);
    window.syncView();
}

namespace {
// Places a control. A list box shows whole lines only, as the platform's list boxes do: its height
// drops to the nearest whole number of lines, so that no line is cut (the last ones scroll).
void placeControl(QWidget* w, int x, int y, int width, int height) {
    if (auto* list = qobject_cast<QListWidget*>(w)) {
        const int frame = 2 * list->frameWidth();
        const int line = std::max(list->fontMetrics().height(), 1);
        if (height > frame + line) height = frame + (height - frame) / line * line;
    }
    w->setGeometry(x, y, width, height);
}
}  // namespace

void ApplyGeometry(CWnd& window) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    QWidget* w = window.view()->widget();
    const RECT& r = window.geometry();
    if (w->isWindow()) {
        w->move(r.left, r.top);
        w->resize(r.right - r.left, r.bottom - r.top);
    } else {
        placeControl(w, r.left, r.top, r.right - r.left, r.bottom - r.top);
    }
}

bool FrameMetrics(int& border, int& titleBar) {
    if (!qui::HasDisplay()) return false;
    QStyle* style = QApplication::style();
    QStyleOptionTitleBar option;
    option.titleBarFlags = Qt::SubWindow;
    border = style->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    titleBar = style->pixelMetric(QStyle::PM_TitleBarHeight, &option);
    return true;
}

void FocusView(CWnd& window) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (window.view()) window.view()->widget()->setFocus(Qt::OtherFocusReason);
}

void InvalidateView(CWnd& window) {
    if (!qui::IsMainThread()) {
        if (window.view()) QueueViewSync(window.m_hWnd);
        return;
    }
    if (window.view()) window.view()->widget()->update();
}

void LowerView(CWnd& window) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    window.view()->widget()->lower();
}

void RaiseView(CWnd& window) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    QWidget* w = window.view()->widget();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) sub->raise();
    else w->raise();
}

void ActivateView(CWnd& window) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    QWidget* w = window.view()->widget();
    if (auto* sub = qobject_cast<QMdiSubWindow*>(w)) {
        if (auto* area = sub->mdiArea()) area->setActiveSubWindow(sub);
        return;
    }
    if (w->isWindow()) {
        w->raise();
        w->activateWindow();
    }
}

void ShowViewState(CWnd& window, int command) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    QWidget* w = window.view()->widget();
    if (!w->isWindow() && !qobject_cast<QMdiSubWindow*>(w)) return;  // a control has no such state
    switch (command) {
        case SW_MINIMIZE:
        case SW_SHOWMINIMIZED:
            if (!w->isMinimized()) w->showMinimized();
            break;
        case SW_SHOWMAXIMIZED:
            if (!w->isMaximized()) w->showMaximized();
            break;
        case SW_RESTORE:
        case SW_SHOWNORMAL:
            if (w->isMinimized() || w->isMaximized()) w->showNormal();
            break;
        default:
            break;
    }
}

void CenterView(CWnd& window, CWnd* owner) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    QWidget* w = window.view()->widget();
    QRect area;
    if (owner && owner->view()) {
        QWidget* o = owner->view()->widget();
        area = QRect(o->mapToGlobal(QPoint(0, 0)), o->size());
    } else if (QScreen* screen = QGuiApplication::primaryScreen()) {
        area = screen->availableGeometry();
    }
    if (!area.isValid()) return;
    const QSize size = w->isVisible() ? w->frameSize() : w->size();
    const QPoint topLeft(area.center().x() - size.width() / 2, area.center().y() - size.height() / 2);
    w->move(w->isWindow() || !w->parentWidget() ? topLeft : w->parentWidget()->mapFromGlobal(topLeft));
    RECT& r = window.geometry();
    const int cw = r.right - r.left, ch = r.bottom - r.top;
    r = RECT{w->x(), w->y(), w->x() + cw, w->y() + ch};
}

namespace {
// Keeps the MDI client window's rectangle with its area's (by handle: the window may go first).
class AreaWatch final : public QObject {
public:
    AreaWatch(HWND client, QObject* parent) : QObject(parent), client_(client) {}
    bool eventFilter(QObject* watched, QEvent* e) override {
        if (e->type() == QEvent::Resize) {
            auto* w = static_cast<QWidget*>(watched);
            if (CWnd* client = CWnd::FromHandle(client_)) client->geometry() = RECT{w->x(), w->y(), w->x() + w->width(), w->y() + w->height()};
        }
        return false;
    }

private:
    HWND client_;
};
}  // namespace

void BindMdiClient(CMDIFrameWnd& frame) {
    QMdiArea* area = mdiAreaOf(frame);
    if (!area || !frame.mdiClient_) return;
    area->installEventFilter(new AreaWatch(frame.mdiClient_->m_hWnd, area));
}

bool ViewIsMinimized(const CWnd& window) { return window.view() && window.view()->widget()->isMinimized(); }

void PointToScreen(const CWnd& window, POINT& point, bool toScreen) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    if (!window.view()) return;
    QWidget* w = window.view()->widget();
    const QPoint p = toScreen ? w->mapToGlobal(QPoint(point.x, point.y)) : w->mapFromGlobal(QPoint(point.x, point.y));
    point = POINT{p.x(), p.y()};
}

void DialogBaseUnits(double& x, double& y) {
    // As the platform measures its dialog font: the average width of the 52 letters in whole
    // pixels, rounded up at the half, and the height in whole pixels. Exact fractions left texts
    // drawn in the font's real widths without the room their boxes were laid out with.
    const QFontMetrics metrics(dialogFont());
    const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    x = ((letters / 26 + 1) / 2) / 4.0;
    y = metrics.height() / 8.0;
}

// ---- frames and bars
namespace {

// The Qt key of an accelerator's key; 0 when it has none.
int qtKeyOf(const ACCEL& entry) {
    int key = entry.key;
    if (!(entry.fVirt & FVIRTKEY) && key >= 'a' && key <= 'z') key -= 'a' - 'A';
    if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return key;
    if (!(entry.fVirt & FVIRTKEY)) return key > ' ' && key < 0x7F ? key : 0;
    if (key >= VK_F1 && key <= VK_F12) return Qt::Key_F1 + (key - VK_F1);
    switch (key) {
        case VK_BACK: return Qt::Key_Backspace;
        case VK_TAB: return Qt::Key_Tab;
        case VK_RETURN: return Qt::Key_Return;
        case VK_ESCAPE: return Qt::Key_Escape;
        case VK_INSERT: return Qt::Key_Insert;
        case VK_DELETE: return Qt::Key_Delete;
        default: return 0;
    }
}

}  // namespace

void SyncAccelerators(CFrameWnd& frame) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    QWidget* main = frame.view() ? frame.view()->widget() : nullptr;
    if (!main) return;
    for (QShortcut* old : main->findChildren<QShortcut*>(QStringLiteral("accelerator"), Qt::FindDirectChildrenOnly)) delete old;
    const HWND handle = frame.m_hWnd;
    for (const ACCEL& entry : frame.accelerators()) {
        const int key = qtKeyOf(entry);
        if (!key) continue;
        Qt::KeyboardModifiers modifiers;
        if (entry.fVirt & FSHIFT) modifiers |= Qt::ShiftModifier;
        if (entry.fVirt & FCONTROL) modifiers |= Qt::ControlModifier;
        if (entry.fVirt & FALT) modifiers |= Qt::AltModifier;
        // The whole window, its child frames included, takes the key; a modal dialog keeps it.
        auto* shortcut = new QShortcut(QKeySequence(QKeyCombination(modifiers, static_cast<Qt::Key>(key))), main);
        shortcut->setObjectName(QStringLiteral("accelerator"));
        shortcut->setContext(Qt::WindowShortcut);
        const ACCEL accel = entry;
        QObject::connect(shortcut, &QShortcut::activated, main, [handle, accel] {
            if (auto* f = dynamic_cast<CFrameWnd*>(LookupWindow(handle))) {
                f->TranslateAccelerator(accel.key, accel.fVirt, (accel.fVirt & FVIRTKEY) != 0);
            }
        });
    }
}

void SyncMenuBar(CFrameWnd& frame) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    auto* main = frame.view() ? qobject_cast<QMainWindow*>(frame.view()->widget()) : nullptr;
    if (!main) return;
    QMenuBar* bar = main->menuBar();
    ClearQMenu(bar);
    CMenu* menu = frame.GetMenu();
    const auto* items = menu ? MenuItems(menu->m_hMenu) : nullptr;
    if (!items) return;
    CFrameWnd* f = &frame;
    const auto chosen = [f](UINT id) {
        if (f->m_hWnd) f->PostMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
    };
    for (const MenuItem& item : *items) {
        if (!item.popup) {
            QAction* action = bar->addAction(qs(item.text));
            action->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
            const UINT id = item.id;
            QObject::connect(action, &QAction::triggered, bar, [chosen, id] { chosen(id); });
            continue;
        }
        QMenu* sub = bar->addMenu(qs(item.text));
        sub->setEnabled(!(item.state & (MF_GRAYED | MF_DISABLED)));
        const HMENU popup = item.popup;
        QObject::connect(sub, &QMenu::aboutToShow, sub, [sub, popup, chosen, f] {
            f->UpdateMenuUI(CMenu::FromHandle(popup));
            FillQMenu(sub, popup, chosen, f);
        });
        QObject::connect(sub, &QMenu::hovered, sub, [f](QAction* action) {
            const UINT id = action->data().toUInt();
            if (id) f->SetMessageText(id);
        });
        QObject::connect(sub, &QMenu::aboutToHide, sub, [f] {
            std::string ready;
            f->SetMessageText(qui::LoadResourceString(AFX_IDS_IDLEMESSAGE, ready) ? ready.c_str() : "Ready");
        });
        FillQMenu(sub, popup, chosen, f);
    }
}

void SyncBars(CFrameWnd& frame) {
    if (!qui::IsMainThread()) return;  // widgets belong to the main thread
    auto* main = frame.view() ? qobject_cast<QMainWindow*>(frame.view()->widget()) : nullptr;
    if (!main) return;
    CFrameWnd* f = &frame;
    if (CToolBar* toolBar = frame.toolBar(); toolBar && !toolBar->view()) {
        auto* bar = new QToolBar(main);
        bar->setObjectName("toolBar");
        bar->setFloatable(false);
        main->addToolBar(Qt::TopToolBarArea, bar);
        auto built = std::make_shared<std::vector<UINT>>();
        bind(*toolBar, bar, [toolBar, bar, built, f] {
            if (*built != toolBar->commands_) {
                bar->clear();
                for (UINT id : toolBar->commands_) {
                    if (id == ID_SEPARATOR) {
                        bar->addSeparator();
                        continue;
                    }
                    const QPixmap pixmap = PixmapOfResource(id);
                    const QString tip = qs(CommandTip(id));
                    QAction* action = pixmap.isNull() ? bar->addAction(tip.isEmpty() ? QString::number(id) : tip)
                                                      : bar->addAction(QIcon(pixmap), tip);
                    action->setToolTip(tip);
                    std::string prompt;
                    f->GetMessageString(id, prompt);
                    action->setStatusTip(qs(prompt));
                    action->setData(id);
                    QObject::connect(action, &QAction::triggered, bar, [f, id] {
                        if (f->m_hWnd) f->PostMessage(WM_COMMAND, MAKEWPARAM(id, 0), 0);
                    });
                    QObject::connect(action, &QAction::hovered, bar, [f, id] { f->SetMessageText(id); });
                }
                *built = toolBar->commands_;
                // The toolkit's own button that shows the commands the bar has no room for is named
                // by its tool tip, as every button of the bar is.
                for (QToolButton* more : bar->findChildren<QToolButton*>(Qt::FindDirectChildrenOnly)) {
                    const auto actions = bar->actions();
                    if (std::any_of(actions.begin(), actions.end(), [bar, more](QAction* a) { return bar->widgetForAction(a) == more; }))
                        continue;
                    more->setToolTip(QStringLiteral("More buttons"));
                    more->setAccessibleName(more->toolTip());
                }
            }
            for (QAction* action : bar->actions()) {
                const UINT id = action->data().toUInt();
                if (!id) continue;
                action->setEnabled(toolBar->IsButtonEnabled(id));
                action->setCheckable(toolBar->IsButtonChecked(id));
                action->setChecked(toolBar->IsButtonChecked(id));
            }
        }, true);
        toolBar->syncView();
    } else if (toolBar) {
        toolBar->syncView();
    }
    if (CStatusBar* statusBar = frame.statusBar(); statusBar && !statusBar->view()) {
        auto* bar = new QStatusBar(main);
        bar->setSizeGripEnabled(false);
        main->setStatusBar(bar);
        auto labels = std::make_shared<std::vector<QLabel*>>();
        bind(*statusBar, bar, [statusBar, bar, labels] {
            if (labels->size() != statusBar->panes_.size()) {
                for (QLabel* l : *labels) {
                    bar->removeWidget(l);
                    delete l;
                }
                labels->clear();
                for (std::size_t i = 0; i < statusBar->panes_.size(); ++i) {
                    auto* label = new QLabel(bar);
                    if (i == 0) bar->addWidget(label, 1);
                    else bar->addPermanentWidget(label);
                    labels->push_back(label);
                }
            }
            bar->setMinimumHeight(statusBar->minHeight_);
            for (std::size_t i = 0; i < statusBar->panes_.size(); ++i) {
                const auto& pane = statusBar->panes_[i];
                QLabel* label = (*labels)[i];
                if (pane.icon) {
                    label->setPixmap(PixmapOfIcon(pane.icon).scaled(16, 16));
                } else {
                    label->setPixmap(QPixmap());
                    label->setText(qs(pane.text));
                }
                label->setEnabled(!(pane.style & SBPS_DISABLED));
                label->setFrameStyle((pane.style & SBPS_NOBORDERS) || i == 0 ? QFrame::NoFrame : QFrame::Panel | QFrame::Sunken);
                if (i > 0 && pane.width > 0) label->setMinimumWidth(pane.width);
            }
        }, true);
        statusBar->syncView();
    } else if (statusBar) {
        statusBar->syncView();
    }
}

// ---- dialogs
struct DialogHost {
    QPointer<DialogWidget> widget;
};

int ShowModalDialog(CDialog& dialog) {
    if (DialogHost* host = dialog.host()) {
        if (dialog.IsEnded() && host->widget) host->widget->done(dialog.Result());
        return dialog.Result();
    }
    CWnd* owner = dialog.GetParent() ? dialog.GetParent() : AfxGetMainWnd();
    if (owner == &dialog || (owner && !owner->view())) owner = nullptr;
    QWidget* parent = owner ? owner->view()->widget()->window() : nullptr;
    const FocusReturn focusReturn(parent);
    dialog.makeWidget(parent);
    DialogHost host;
    host.widget = static_cast<DialogWidget*>(dialog.view()->widget());
    dialog.setHost(&host);
    dialog.SendMessage(WM_INITDIALOG);
    if (!dialog.IsEnded() && host.widget) {
        host.widget->adjustSize();
        dialog.CenterWindow(owner);
        host.widget->exec();
    }
    dialog.setHost(nullptr);
    return dialog.Result();
}

void ShowModelessDialog(CDialog& dialog) {
    CWnd* owner = dialog.GetParent();
    QWidget* parent = owner && owner->view() ? owner->view()->widget() : nullptr;
    const bool child = dialog.Template() && (dialog.Template()->style & qui::kChild);
    if (!child && parent) parent = parent->window();
    dialog.makeWidget(parent);
    QWidget* w = dialog.view()->widget();
    if (child) {
        w->setWindowFlags(Qt::Widget);
        if (auto* frame = dynamic_cast<CMDIChildWnd*>(owner); frame && frame->view()) {
            if (auto* sub = qobject_cast<QMdiSubWindow*>(frame->view()->widget())) sub->setWidget(w);
        }
    } else {
        if (auto* d = qobject_cast<QDialog*>(w)) d->setModal(false);
    }
}

}  // namespace qui::detail

using namespace qui::detail;

QWidget* CWnd::widget() const { return view_ ? view_->widget() : nullptr; }

// ---- makeWidget of each window class
QWidget* CDialog::makeWidget(QWidget* parent) {
    auto* w = new DialogWidget(*this, parent);
    w->setFont(dialogFont());
    const qui::DialogTemplate* t = Template();
    w->setWindowTitle(qs(GetWindowText()));
    if (t && (t->style & qui::kResizable)) {
        w->resize(rect_.right - rect_.left, rect_.bottom - rect_.top);
        w->setMinimumSize(t->minTrackWidth, t->minTrackHeight);
    } else if (t) {
        w->setFixedSize(rect_.right - rect_.left, rect_.bottom - rect_.top);
    }
    const bool child = t && (t->style & qui::kChild);
    bind(*this, w, [this, w, child] {
        // A modeless top-level dialog shows and hides with its state; a modal one runs its loop.
        if (!host_ && !child && w->isVisible() != IsWindowVisible()) w->setVisible(IsWindowVisible());
        w->setWindowTitle(qs(GetWindowText()));
        if (HICON icon = GetIcon(TRUE) ? GetIcon(TRUE) : GetIcon(FALSE)) w->setWindowIcon(PixmapOfIcon(icon));
    }, t && (t->style & qui::kChild));  // a dialog embedded in another shows and hides as a control does
    if (t) {
        QLabel* lastLabel = nullptr;
        QStringList labelRun;  // the static texts right before the control
        QString lastCaption;   // the caption of the check box or button right before it
        for (const auto& ct : t->controls) {
            CWnd* control = findChild(ct.id);
            QWidget* cw = nullptr;
            if (control) {
                cw = control->makeWidget(w);
            } else {
                // Unaddressed controls (IDC_STATIC) are drawn from the template alone.
                if (ct.kind == qui::ControlKind::GroupBox) cw = new QGroupBox(qs(ct.text), w);
                else if (ct.kind == qui::ControlKind::EtchedLine) {
                    auto* line = new QFrame(w);
                    line->setFrameStyle(QFrame::HLine | QFrame::Sunken);
                    cw = line;
                } else if (ct.kind == qui::ControlKind::Icon) {
                    auto* label = new QLabel(w);
                    label->setPixmap(PixmapOfResource(ct.iconId));
                    cw = label;
                } else {
                    auto* label = new QLabel(qs(ct.text), w);
                    label->setAlignment(ct.style & qui::kCenter ? Qt::AlignHCenter | Qt::AlignTop
                                        : ct.style & qui::kRight ? Qt::AlignRight | Qt::AlignTop
                                                                 : Qt::AlignLeft | Qt::AlignTop);
                    label->setWordWrap(true);
                    cw = label;
                }
            }
            if (!cw) continue;
            // As on the original platform, a field is named for assistive technology by the static
            // text before it, whose mnemonic moves the focus to it.
            if (ct.kind == qui::ControlKind::Edit || ct.kind == qui::ControlKind::ListBox ||
                ct.kind == qui::ControlKind::ComboBox || ct.kind == qui::ControlKind::Tree ||
                ct.kind == qui::ControlKind::RichEdit || ct.kind == qui::ControlKind::Progress) {
                if (lastLabel) {
                    QString name = lastLabel->text();
                    name.remove('&');
                    if (name.endsWith(':')) name.chop(1);
                    cw->setAccessibleName(name.trimmed());
                    lastLabel->setBuddy(cw);
                } else if (ct.kind == qui::ControlKind::Edit && !lastCaption.isEmpty()) {
                    // An edit that belongs to the check box or button before it (a period beside its
                    // status, a name beside the button that chooses it) is named by its caption.
                    cw->setAccessibleName(lastCaption);
                }
                lastLabel = nullptr;
            } else if (auto* label = qobject_cast<QLabel*>(cw); label && ct.kind == qui::ControlKind::Static) {
                lastLabel = label;
            } else {
                // A check box without a caption of its own is named by the texts written before it.
                if (ct.kind == qui::ControlKind::CheckBox && ct.text.empty() && !labelRun.isEmpty())
                    cw->setAccessibleName(labelRun.join(' ').remove('&').trimmed());
                lastLabel = nullptr;
            }
            if (ct.kind == qui::ControlKind::Static) labelRun.push_back(qs(ct.text));
            else labelRun.clear();
            const bool captioned = ct.kind == qui::ControlKind::CheckBox || ct.kind == qui::ControlKind::PushButton;
            lastCaption = captioned ? qs(ct.text).remove('&').trimmed() : QString();
            const CRect r = DialogUnitsToPixels(RECT{ct.x, ct.y, ct.x + ct.cx, ct.y + ct.cy});
            placeControl(cw, r.left, r.top, std::max(r.Width(), 1), std::max(r.Height(), 1));
            if (ct.kind == qui::ControlKind::ComboBox) cw->setFixedHeight(std::max(cw->sizeHint().height(), 8));
            if (ct.kind == qui::ControlKind::GroupBox) cw->lower();
            if (control) control->syncView();
            else cw->show();
        }
    }
    syncView();
    return w;
}

QWidget* CStatic::makeWidget(QWidget* parent) {
    auto* label = new QLabel(parent);
    // A static made at run time aligns by its window style.
    unsigned style = (GetStyle() & SS_CENTER) ? qui::kCenter : (GetStyle() & SS_RIGHT) ? qui::kRight : 0u;
    qui::ControlKind kind = qui::ControlKind::Static;
    if (const qui::ControlTemplate* t = templateOf(*this)) {
        style = t->style;
        kind = t->kind;
    }
    if (kind == qui::ControlKind::EtchedLine) label->setFrameStyle(QFrame::HLine | QFrame::Sunken);
    label->setAlignment(style & qui::kCenter ? Qt::AlignHCenter | Qt::AlignTop
                        : style & qui::kRight ? Qt::AlignRight | Qt::AlignTop
                                              : Qt::AlignLeft | Qt::AlignTop);
    label->setWordWrap(kind == qui::ControlKind::Static);
    if (style & qui::kRedText) {
        QPalette p = label->palette();
        p.setColor(QPalette::WindowText, Qt::red);
        label->setPalette(p);
        QFont f = label->font();
        f.setBold(true);
        label->setFont(f);
    }
    bind(*this, label, [this, label, kind] {
        if (icon_) label->setPixmap(PixmapOfIcon(icon_));
        else if (kind != qui::ControlKind::EtchedLine) label->setText(qs(text_));
    });
    return label;
}

QWidget* CButton::makeWidget(QWidget* parent) {
    using K = qui::ControlKind;
    QWidget* w = nullptr;
    QAbstractButton* button = nullptr;
    const auto kind = static_cast<K>(kind_);
    if (kind == K::GroupBox) {
        auto* g = new QGroupBox(parent);
        bind(*this, g, [this, g] { g->setTitle(qs(text_)); });
        g->lower();
        return g;
    }
    const qui::ControlTemplate* t = templateOf(*this);
    if (kind == K::RadioButton || (kind == K::CheckBox && t && (t->style & qui::kPairedBox))) button = makeRadioButton(*this, parent);
    else if (kind == K::CheckBox) button = new QCheckBox(parent);
    else button = new OwnerDrawWidget(*this, parent);
    w = button;
    if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
    QObject::connect(button, &QAbstractButton::clicked, button, [this] {
        if (syncing(*this)) return;
        const HWND self = m_hWnd;
        if (CDialog* dialog = dialogOf(*this)) {
            dialog->ClickDlgItem(GetDlgCtrlID());
        } else {
            if (kind_ == static_cast<int>(qui::ControlKind::CheckBox)) check_ = !check_;
            notifyParent(BN_CLICKED);
        }
        // The handler may have destroyed the button with its dialog.
        if (CWnd::FromHandle(self) == this) syncView();
    });
    bind(*this, w, [this, button] {
        button->setText(qs(text_));
        if (button->isCheckable() || qobject_cast<QCheckBox*>(button) || qobject_cast<QRadioButton*>(button)) {
            button->setCheckable(true);
            button->setChecked(check_ != 0);
        }
        if (auto* push = qobject_cast<QPushButton*>(button)) push->setDefault(isDefault_);
        button->update();
    });
    return w;
}

QWidget* CEdit::makeWidget(QWidget* parent) {
    if (style_flags_ & qui::kMultiLine) {
        auto* e = new QPlainTextEdit(parent);
        QObject::connect(e, &QPlainTextEdit::textChanged, e, [this, e] {
            if (syncing(*this)) return;
            text_ = e->toPlainText().toStdString();
            notifyParent(EN_CHANGE);
        });
        bind(*this, e, [this, e] {
            // A new text keeps the line shown at the top (a value that changes while it is read).
            if (e->toPlainText().toStdString() != text_) {
                const int line = e->verticalScrollBar()->value();
                e->setPlainText(qs(text_));
                e->verticalScrollBar()->setValue(line);
            }
            e->setReadOnly(readOnly_);
        });
        return e;
    }
    auto* e = new QLineEdit(parent);
    if (style_flags_ & qui::kPassword) e->setEchoMode(QLineEdit::Password);
    // A digits-only edit refuses every other character typed or pasted.
    if (style_flags_ & qui::kNumber) e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), e));
    QObject::connect(e, &QLineEdit::textEdited, e, [this, e](const QString& text) {
        if (syncing(*this)) return;
        text_ = text.toStdString();
        selStart_ = selEnd_ = e->cursorPosition();
        notifyParent(EN_CHANGE);
    });
    bind(*this, e, [this, e] {
        if (e->text().toStdString() != text_) e->setText(qs(text_));
        e->setReadOnly(readOnly_);
        e->setMaxLength(limit_ ? static_cast<int>(limit_) : 32767);
        if (selStart_ != selEnd_) e->setSelection(selStart_, selEnd_ - selStart_);
    });
    return e;
}

QWidget* CListBox::makeWidget(QWidget* parent) {
    auto* l = new ListWidget(parent);
    l->setSelectionMode(multiple_ ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
    // Every line is as high as the first: the view lays out thousands of lines without measuring each.
    l->setUniformItemSizes(true);
    QObject::connect(l, &QListWidget::itemSelectionChanged, l, [this, l] {
        if (syncing(*this) || widgetStale_) return;
        // The selection's ranges, not each line's state: a long list answers in one pass.
        std::fill(selected_.begin(), selected_.end(), false);
        const int lines = static_cast<int>(selected_.size());
        for (const QItemSelectionRange& range : l->selectionModel()->selection())
            for (int row = std::max(range.top(), 0); row <= range.bottom() && row < lines; ++row)
                selected_[static_cast<std::size_t>(row)] = true;
        current_ = l->currentRow();
        l->fragmented = true;
        notifyParent(LBN_SELCHANGE);
    });
    QObject::connect(l, &QListWidget::itemDoubleClicked, l, [this, l] {
        if (!widgetStale_) current_ = l->currentRow();
        notifyParent(LBN_DBLCLK);
    });
    // The lines reach the widget change by change (ListBoxChanged); a sync shows them whole only
    // when the widget is new or stale.
    widgetStale_ = true;
    bind(*this, l, [this] {
        if (widgetStale_) ListBoxChanged(*this, Change::Cleared, -1);
    });
    return l;
}

QWidget* CComboBox::makeWidget(QWidget* parent) {
    auto* c = new QComboBox(parent);
    c->setEditable(editable_);
    c->setInsertPolicy(QComboBox::NoInsert);
    QObject::connect(c, &QComboBox::activated, c, [this](int index) {
        if (syncing(*this) || widgetStale_) return;
        current_ = index;
        text_ = index >= 0 && static_cast<std::size_t>(index) < texts_.size() ? texts_[static_cast<std::size_t>(index)] : "";
        notifyParent(CBN_SELCHANGE);
    });
    if (editable_) {
        QObject::connect(c->lineEdit(), &QLineEdit::textEdited, c, [this](const QString& text) {
            if (syncing(*this)) return;
            text_ = text.toStdString();
            current_ = -1;
            notifyParent(CBN_EDITCHANGE);
        });
    }
    widgetStale_ = true;
    bind(*this, c, [this, c] {
        if (widgetStale_) ComboBoxChanged(*this, Change::Cleared, -1);
        else ComboBoxChanged(*this, Change::Current, -1);
        if (editable_) c->lineEdit()->setMaxLength(limit_ ? static_cast<int>(limit_) : 32767);
    });
    return c;
}

QWidget* CProgressCtrl::makeWidget(QWidget* parent) {
    auto* p = new QProgressBar(parent);
    p->setTextVisible(false);
    bind(*this, p, [this, p] {
        p->setRange(std::min(lower_, upper_), std::max(lower_, upper_));
        p->setValue(position_);
    });
    return p;
}

QWidget* CTreeCtrl::makeWidget(QWidget* parent) {
    auto* t = new TreeWidget(*this, parent);
    QObject::connect(t, &QTreeWidget::itemSelectionChanged, t, [this, t] {
        if (syncing(*this)) return;
        const auto items = t->selectedItems();
        const std::uintptr_t id = items.isEmpty() ? 0 : idOfItem(items.front());
        if (id != selected_) {
            selected_ = id;
            {
                const QSignalBlocker blocker(t);
                t->showSelection();
            }
            notifyParent(TVN_SELCHANGED);
        }
    });
    QObject::connect(t, &QTreeWidget::itemExpanded, t, [this](QTreeWidgetItem* item) {
        if (auto it = nodes_.find(idOfItem(item)); it != nodes_.end()) it->second.expanded = true;
    });
    QObject::connect(t, &QTreeWidget::itemCollapsed, t, [this](QTreeWidgetItem* item) {
        if (auto it = nodes_.find(idOfItem(item)); it != nodes_.end()) it->second.expanded = false;
    });
    // Item changes reach the widget one by one (TreeItemChanged); a sync rebuilds it only when it
    // is stale.
    bind(*this, t, [this, t] {
        if (t->stale || widgetStale_) t->queueRefresh();
    });
    return t;
}

namespace {

// UTF-16 units of UTF-8 text, as QString::fromStdString counts them for valid text.
int Utf16Units(std::string_view text) {
    int units = 0;
    for (const unsigned char byte : text)
        if ((byte & 0xC0) != 0x80) units += byte >= 0xF0 ? 2 : 1;
    return units;
}

bool IsValidUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2 : lead >= 0xE0 && lead <= 0xEF ? 3
                                             : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
        if (length == 0 || i + length > text.size()) return false;
        for (std::size_t k = 1; k < length; ++k)
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
        i += length;
    }
    return true;
}

// The byte position of a widget position (UTF-16 units) in valid UTF-8 text.
LONG BytePosition(const std::string& text, int units) {
    std::size_t i = 0;
    for (int counted = 0; i < text.size() && counted < units; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if ((byte & 0xC0) != 0x80) counted += byte >= 0xF0 ? 2 : 1;
        // Step over the rest of the sequence.
        while (i + 1 < text.size() && (static_cast<unsigned char>(text[i + 1]) & 0xC0) == 0x80) ++i;
    }
    return static_cast<LONG>(i);
}

// A change in widget positions, ready for the document.
struct WidgetEdit {
    bool format;
    int start, end;
    QString text;
    bool bold;
};

// Replays the model's pending changes on the text the widget shows, turning byte positions into
// widget positions. None when the replay does not end on the model's text (a text set some other
// way): the widget then takes the whole text.
std::optional<std::vector<WidgetEdit>> WidgetEdits(const CRichEditCtrl& edit) {
    if (!IsValidUtf8(edit.shown_) || !IsValidUtf8(edit.GetWindowText())) return std::nullopt;
    std::string text = edit.shown_;
    std::vector<WidgetEdit> edits;
    edits.reserve(edit.pending_.size());
    // Changes come mostly in text order: positions are counted on from the last one.
    std::size_t countedBytes = 0;
    int countedUnits = 0;
    const auto unitsAt = [&](std::size_t position) {
        if (position < countedBytes) countedBytes = 0, countedUnits = 0;
        countedUnits += Utf16Units(std::string_view(text).substr(countedBytes, position - countedBytes));
        countedBytes = position;
        return countedUnits;
    };
    for (const auto& change : edit.pending_) {
        const auto start = static_cast<std::size_t>(change.start), end = static_cast<std::size_t>(change.end);
        if (start > end || end > text.size()) return std::nullopt;
        const int from = unitsAt(start);
        const int to = unitsAt(end);
        if (change.format) {
            edits.push_back(WidgetEdit{true, from, to, {}, change.bold});
            continue;
        }
        edits.push_back(WidgetEdit{false, from, to, QString::fromStdString(change.text), change.bold});
        text.replace(start, end - start, change.text);
        countedBytes = start + change.text.size();
        countedUnits = from + Utf16Units(change.text);
    }
    if (text != edit.GetWindowText()) return std::nullopt;
    return edits;
}

}  // namespace

QWidget* CRichEditCtrl::makeWidget(QWidget* parent) {
    auto* e = new QTextEdit(parent);
    e->setAcceptRichText(false);
    // The program's changes are no user's to undo, and would pile up for as long as the window lives.
    e->setUndoRedoEnabled(false);
    // A horizontal scroll bar means lines that run on rather than wrap.
    if (GetStyle() & WS_HSCROLL) e->setLineWrapMode(QTextEdit::NoWrap);
    stale_ = true;
    pending_.clear();
    QObject::connect(e, &QTextEdit::textChanged, e, [this, e] {
        if (syncing(*this)) return;
        text_ = e->toPlainText().toStdString();
        bold_.assign(text_.size(), 0);
        // Character formats of the document, so typed text keeps its neighbours' weight.
        QTextCursor cursor(e->document());
        for (std::size_t i = 0; i < text_.size(); ++i) {
            cursor.setPosition(static_cast<int>(i + 1));
            bold_[i] = cursor.charFormat().fontWeight() >= QFont::Bold ? 1 : 0;
        }
        // The widget holds the text now.
        shown_ = text_;
        pending_.clear();
        stale_ = false;
        notifyParent(EN_CHANGE);
    });
    // The user's selection is the control's.
    const auto followSelection = [this, e] {
        if (syncing(*this) || !IsValidUtf8(text_)) return;
        const QTextCursor cursor = e->textCursor();
        selStart_ = BytePosition(text_, cursor.selectionStart());
        selEnd_ = BytePosition(text_, cursor.selectionEnd());
    };
    QObject::connect(e, &QTextEdit::cursorPositionChanged, e, followSelection);
    QObject::connect(e, &QTextEdit::selectionChanged, e, followSelection);
    auto queued = std::make_shared<bool>(false);
    auto refresh = [this, e, queued] {
        *queued = false;
        // The control may have gone (its widget is deleted later than it).
        if (e->property(kWindowProperty).value<quintptr>() != reinterpret_cast<quintptr>(this)) return;
        auto* view = dynamic_cast<WidgetView*>(this->view());
        if (!view) return;
        const QSignalBlocker blocker(e);
        QFont font = e->font();
        if (defaultFormat_.szFaceName[0]) font.setFamily(QString::fromLatin1(defaultFormat_.szFaceName));
        if (defaultFormat_.yHeight > 0) font.setPointSizeF(defaultFormat_.yHeight / 20.0);
        if (font != e->font()) e->setFont(font);
        e->setReadOnly(readOnly_);
        // The scroll position stays where the user left it.
        QScrollBar* vertical = e->verticalScrollBar();
        QScrollBar* horizontal = e->horizontalScrollBar();
        const int top = vertical->value(), left = horizontal->value();
        const auto weight = [](bool bold) {
            QTextCharFormat format;
            format.setFontWeight(bold ? QFont::Bold : QFont::Normal);
            return format;
        };
        std::optional<std::vector<WidgetEdit>> edits;
        if (!stale_) edits = WidgetEdits(*this);
        if (edits) {
            // In one block: the document lays out once, not once per change.
            QTextCursor cursor(e->document());
            cursor.beginEditBlock();
            for (const WidgetEdit& edit : *edits) {
                cursor.setPosition(edit.start);
                cursor.setPosition(edit.end, QTextCursor::KeepAnchor);
                if (edit.format) cursor.mergeCharFormat(weight(edit.bold));
                else cursor.insertText(edit.text, weight(edit.bold));
            }
            cursor.endEditBlock();
        } else {
            e->setPlainText(qs(text_));
            const bool utf8 = IsValidUtf8(text_);
            const auto units = [&](LONG position) {
                return utf8 ? Utf16Units(std::string_view(text_).substr(0, static_cast<std::size_t>(position))) : position;
            };
            QTextCursor cursor(e->document());
            for (const Run& run : boldRuns()) {
                if (!run.bold) continue;
                cursor.setPosition(units(run.start));
                cursor.setPosition(units(run.end), QTextCursor::KeepAnchor);
                cursor.mergeCharFormat(weight(true));
            }
        }
        shown_ = text_;
        pending_.clear();
        stale_ = false;
        // The control's selection, when the widget's is another.
        if (IsValidUtf8(text_)) {
            const int length = Utf16Units(text_);
            const int from = std::min(Utf16Units(std::string_view(text_).substr(0, static_cast<std::size_t>(selStart_))), length);
            const int to = std::min(Utf16Units(std::string_view(text_).substr(0, static_cast<std::size_t>(selEnd_))), length);
            const QTextCursor current = e->textCursor();
            if (current.selectionStart() != from || current.selectionEnd() != to) {
                QTextCursor selection(e->document());
                selection.setPosition(from);
                selection.setPosition(to, QTextCursor::KeepAnchor);
                e->setTextCursor(selection);
            }
        }
        // The document lays itself out in steps, its scroll range guessed meanwhile: finish the
        // layout and give the range the whole text's size before the position goes back.
        QAbstractTextDocumentLayout* layout = e->document()->documentLayout();
        emit layout->documentSizeChanged(layout->documentSize());
        vertical->setValue(top);
        horizontal->setValue(left);
    };
    // Text comes piece by piece (ReplaceSel): the widget catches up once per turn of the loop.
    bind(*this, e, [e, queued, refresh] {
        if (*queued) return;
        *queued = true;
        QTimer::singleShot(0, e, refresh);
    });
    return e;
}

QWidget* CMDIFrameWnd::makeWidget(QWidget*) {
    MakeTopLevelView(*this);
    return view() ? view()->widget() : nullptr;
}

QWidget* CMDIChildWnd::makeWidget(QWidget*) {
    QMdiArea* area = mdiFrame_ ? mdiAreaOf(*mdiFrame_) : nullptr;
    if (!area) return nullptr;
    auto* sub = new ChildFrameWidget(*this);
    sub->setAttribute(Qt::WA_DeleteOnClose, false);
    // A child frame without the caption style has no title bar (the border alone, with WS_BORDER).
    if ((GetStyle() & WS_CAPTION) != WS_CAPTION) {
        sub->setWindowFlags(Qt::SubWindow | Qt::FramelessWindowHint);
        if (GetStyle() & WS_BORDER) sub->setStyleSheet(QStringLiteral("QMdiSubWindow { border: 1px solid palette(mid); }"));
    } else {
        // The title bar's buttons as the style asks; without a sizing border the user cannot resize it.
        Qt::WindowFlags flags = Qt::SubWindow | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (GetStyle() & WS_SYSMENU) flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (GetStyle() & WS_MINIMIZEBOX) flags |= Qt::WindowMinimizeButtonHint;
        if (GetStyle() & WS_MAXIMIZEBOX) flags |= Qt::WindowMaximizeButtonHint;
        if (!(GetStyle() & WS_THICKFRAME)) flags |= Qt::MSWindowsFixedSizeDialogHint;
        sub->setWindowFlags(flags);
        // Ctrl+F4 closes the child frame that holds the focus, as the system menu's Close does.
        if (GetStyle() & WS_SYSMENU) {
            auto* close = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_F4), sub);
            close->setContext(Qt::WidgetWithChildrenShortcut);
            QObject::connect(close, &QShortcut::activated, sub, [sub] { sub->close(); });
        }
    }
    area->addSubWindow(sub);
    const RECT& r = rect_;
    if (r.right > r.left && r.bottom > r.top) sub->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
    bind(*this, sub, [this, sub] {
        sub->setWindowTitle(qs(GetWindowText()));
        if (HICON icon = GetIcon(FALSE) ? GetIcon(FALSE) : GetIcon(TRUE)) {
            sub->setWindowIcon(PixmapOfIcon(icon));
        } else {
            QPixmap none(16, 16);  // no icon: no toolkit logo either
            none.fill(Qt::transparent);
            sub->setWindowIcon(none);
        }
        if (client_) {
            if (!client_->view()) client_->makeWidget(sub);
            if (client_->view() && sub->widget() != client_->view()->widget()) sub->setWidget(client_->view()->widget());
            client_->syncView();
        }
        if (IsWindowVisible() && !sub->isVisible()) sub->show();
        if (!IsWindowVisible() && sub->isVisible()) sub->hide();
    }, false);
    return sub;
}

namespace qui::detail {

namespace {

// The list's selection shown: line `index` alone in a multiple-selection list, otherwise every line
// (in runs of selected lines, one range each); then its caret.
void showListSelection(const CListBox& list, ListWidget* l, int index) {
    const int lines = std::min(l->count(), static_cast<int>(list.selected_.size()));
    if (index >= 0 && list.multiple_) {
        if (l->selectionQueued) return;
        l->selectionQueued = true;
        QTimer::singleShot(0, l, [l] {
            l->selectionQueued = false;
            // The list box, unless it let its widget go meanwhile.
            const QVariant window = l->property(kWindowProperty);
            auto* box = window.isValid() ? dynamic_cast<CListBox*>(reinterpret_cast<CWnd*>(window.value<quintptr>())) : nullptr;
            if (!box || box->widgetStale_) return;
            const QSignalBlocker blocker(l);
            showListSelection(*box, l, -1);
        });
        return;
    } else {
        l->fragmented = false;
        QItemSelection selection;
        for (int first = 0; first < lines;) {
            if (!list.selected_[static_cast<std::size_t>(first)]) {
                ++first;
                continue;
            }
            int last = first;
            while (last + 1 < lines && list.selected_[static_cast<std::size_t>(last + 1)]) ++last;
            selection.select(l->model()->index(first, 0), l->model()->index(last, 0));
            first = last + 1;
        }
        l->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    }
    if (list.current_ >= 0 && list.current_ < l->count() && l->currentRow() != list.current_)
        l->setCurrentRow(list.current_, QItemSelectionModel::NoUpdate);
}

void showComboCurrent(const CComboBox& combo, QComboBox* c) {
    if (c->currentIndex() != combo.current_) c->setCurrentIndex(combo.current_);
    if (combo.editable_ && c->currentText().toStdString() != combo.GetWindowText()) c->setEditText(qs(combo.GetWindowText()));
}

// Whether the widget, showing `shown` lines, can take one insertion (`inserted`) or removal at
// `index` of a box that now holds `lines`: otherwise it is shown whole.
bool placeable(bool inserted, int index, int lines, int shown) {
    return inserted ? index >= 0 && index < lines && lines == shown + 1 : index >= 0 && index <= lines && lines == shown - 1;
}

QStringList textsOf(const std::vector<std::string>& texts) {
    QStringList out;
    out.reserve(static_cast<qsizetype>(texts.size()));
    for (const auto& t : texts) out.push_back(qs(t));
    return out;
}

}  // namespace

void ListBoxChanged(CListBox& list, CListBox::Change what, int index) {
    auto* l = list.view() ? dynamic_cast<ListWidget*>(list.view()->widget()) : nullptr;
    if (!l) return;
    const QSignalBlocker blocker(l);
    using Change = CListBox::Change;
    const auto line = static_cast<std::size_t>(index);
    const bool moves = what == Change::Inserted || what == Change::Deleted;
    if (list.widgetStale_ || what == Change::Cleared ||
        (moves && !placeable(what == Change::Inserted, index, static_cast<int>(list.texts_.size()), l->count()))) {
        // Shown whole: a new or stale widget, an emptied list, or a change the widget cannot place.
        list.widgetStale_ = false;
        l->clear();
        l->addItems(textsOf(list.texts_));
        showListSelection(list, l, -1);
        return;
    }
    switch (what) {
        case Change::Inserted:
            l->insertItem(index, qs(list.texts_[line]));
            // A selection of many ranges is shown again in runs (see ListWidget), once.
            if (list.selected_[line] || l->fragmented) showListSelection(list, l, l->fragmented || !list.multiple_ ? -1 : index);
            return;
        case Change::Deleted:
            delete l->takeItem(index);
            // A single-selection view selects the line its caret moves to when the selected line
            // goes: the list's selection is shown again.
            if (l->fragmented || !list.multiple_) showListSelection(list, l, -1);
            // The view moves its caret off a removed line by itself: show the list's own caret.
            if (list.current_ >= 0 && list.current_ < l->count() && l->currentRow() != list.current_)
                l->setCurrentRow(list.current_, QItemSelectionModel::NoUpdate);
            return;
        case Change::Selection: showListSelection(list, l, index); return;
        case Change::Cleared: return;
    }
}

void ComboBoxChanged(CComboBox& combo, CComboBox::Change what, int index) {
    auto* c = combo.view() ? qobject_cast<QComboBox*>(combo.view()->widget()) : nullptr;
    if (!c) return;
    const QSignalBlocker blocker(c);
    using Change = CComboBox::Change;
    const auto entry = static_cast<std::size_t>(index);
    const bool moves = what == Change::Inserted || what == Change::Deleted;
    if (combo.widgetStale_ || what == Change::Cleared ||
        (moves && !placeable(what == Change::Inserted, index, static_cast<int>(combo.texts_.size()), c->count()))) {
        combo.widgetStale_ = false;
        c->clear();
        c->addItems(textsOf(combo.texts_));
    } else if (what == Change::Inserted) {
        c->insertItem(index, qs(combo.texts_[entry]));
    } else if (what == Change::Deleted) {
        c->removeItem(index);
    }
    // An insertion into an empty box or the removal of the current entry moves the widget's own
    // current entry: the box's is shown again after every change.
    showComboCurrent(combo, c);
}

void TreeItemChanged(CTreeCtrl& tree, CTreeCtrl::Change what, std::uintptr_t id) {
    if (auto* t = tree.view() ? dynamic_cast<TreeWidget*>(tree.view()->widget()) : nullptr) t->apply(what, id);
}

void TreeWidgetCatchUp(CTreeCtrl& tree) {
    if (auto* t = tree.view() ? dynamic_cast<TreeWidget*>(tree.view()->widget()) : nullptr) t->refresh();
}

bool TreeItemRects(const CTreeCtrl& tree, HTREEITEM item, RECT& row, RECT& icon, RECT& label, RECT& button) {
    auto* t = tree.view() ? dynamic_cast<TreeWidget*>(tree.view()->widget()) : nullptr;
    if (!t) return false;
    const auto it = t->items.find(reinterpret_cast<std::uintptr_t>(item));
    if (it == t->items.end()) return false;
    const QRect r = t->visualItemRect(it->second);
    if (!r.isValid()) return false;
    // Item coordinates are the viewport's; the control's client area is the viewport.
    const int iconWidth = t->iconSize().width();
    const int textWidth = t->fontMetrics().horizontalAdvance(it->second->text(0)) + 6;
    row = RECT{0, r.top(), t->viewport()->width(), r.bottom() + 1};
    button = RECT{r.left() - t->indentation(), r.top(), r.left(), r.bottom() + 1};
    icon = RECT{r.left(), r.top(), r.left() + iconWidth + 4, r.bottom() + 1};
    label = RECT{icon.right, r.top(), icon.right + textWidth, r.bottom() + 1};
    return true;
}

HTREEITEM TreeItemAt(const CTreeCtrl& tree, POINT point) {
    auto* t = tree.view() ? dynamic_cast<TreeWidget*>(tree.view()->widget()) : nullptr;
    if (!t) return nullptr;
    QTreeWidgetItem* item = t->itemAt(QPoint(point.x, point.y));
    return item ? reinterpret_cast<HTREEITEM>(idOfItem(item)) : nullptr;
}

}  // namespace qui::detail

// ---- drawing
CPaintDC::CPaintDC(CWnd*) { painter_ = currentPainter; }

namespace {
QColor colour(COLORREF c) { return QColor(GetRValue(c), GetGValue(c), GetBValue(c)); }
}  // namespace

COLORREF CDC::SetPixel(int x, int y, COLORREF c) {
    if (auto* p = static_cast<QPainter*>(painter_)) {
        p->setPen(colour(c));
        p->drawPoint(x, y);
    }
    return c;
}

void CDC::FillSolidRect(LPCRECT rect, COLORREF c) {
    if (rect) FillSolidRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top, c);
}

void CDC::FillSolidRect(int x, int y, int cx, int cy, COLORREF c) {
    if (auto* p = static_cast<QPainter*>(painter_)) p->fillRect(x, y, cx, cy, colour(c));
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
    auto* p = static_cast<QPainter*>(painter_);
    const QPixmap pixmap = PixmapOfIcon(icon);
    if (!p || pixmap.isNull()) return FALSE;
    p->drawPixmap(x, y, pixmap);
    return TRUE;
}

void CBitmapButton::DrawItem(LPDRAWITEMSTRUCT item) {
    auto* p = item && item->pDC ? static_cast<QPainter*>(item->pDC->painter()) : nullptr;
    if (!p) return;
    UINT id = bitmaps_[0];
    if ((item->itemState & ODS_SELECTED) && bitmaps_[1]) id = bitmaps_[1];
    else if ((item->itemState & ODS_FOCUS) && bitmaps_[2]) id = bitmaps_[2];
    else if ((item->itemState & ODS_DISABLED) && bitmaps_[3]) id = bitmaps_[3];
    const QPixmap pixmap = PixmapOfResource(id);
    if (!pixmap.isNull()) p->drawPixmap(item->rcItem.left, item->rcItem.top, pixmap);
    if ((item->itemState & ODS_FOCUS) && !bitmaps_[2]) {
        p->setPen(QPen(Qt::black, 1, Qt::DotLine));
        p->setBrush(Qt::NoBrush);
        p->drawRect(item->rcItem.left, item->rcItem.top, item->rcItem.right - item->rcItem.left - 1,
                    item->rcItem.bottom - item->rcItem.top - 1);
    }
}

BOOL CDC::TextOut(int x, int y, LPCSTR text) {
    auto* p = static_cast<QPainter*>(painter_);
    if (!p) return FALSE;
    p->setPen(colour(textColour_));
    p->drawText(QRect(x, y, 10000, 1000), Qt::AlignLeft | Qt::AlignTop, QString::fromUtf8(Text(text)));
    return TRUE;
}

COLORREF CDC::SetTextColor(COLORREF c) {
    const COLORREF previous = textColour_;
    textColour_ = c;
    return previous;
}

int CDC::SetBkMode(int) { return TRANSPARENT; }

int CDC::SelectClipRgn(const CRgn* region) {
    auto* p = static_cast<QPainter*>(painter_);
    if (!p) return 0;
    if (!region || region->shape == CRgn::Shape::None) {
        p->setClipping(false);
        return 1;
    }
    const RECT& b = region->bounds;
    const QRect r(b.left, b.top, b.right - b.left, b.bottom - b.top);
    p->setClipRegion(QRegion(r, region->shape == CRgn::Shape::Ellipse ? QRegion::Ellipse : QRegion::Rectangle));
    return 2;
}

int CDC::SetDIBitsToDevice(int x, int y, int width, int height, const void* bits, const void* info) {
    auto* p = static_cast<QPainter*>(painter_);
    if (!p || !bits || !info || width <= 0 || height <= 0) return 0;
    const auto* header = static_cast<const std::uint8_t*>(info);
    const auto* colours = header + 40;
    QImage image(width, height, QImage::Format_Indexed8);
    QVector<QRgb> table(256);
    for (int i = 0; i < 256; ++i) table[i] = qRgb(colours[i * 4 + 2], colours[i * 4 + 1], colours[i * 4]);
    image.setColorTable(table);
    const int stride = (width + 3) & ~3;
    const auto* pixels = static_cast<const std::uint8_t*>(bits);
    for (int row = 0; row < height; ++row) {
        // Rows are stored bottom-up.
        std::memcpy(image.scanLine(height - 1 - row), pixels + static_cast<std::size_t>(row) * static_cast<std::size_t>(stride),
                    static_cast<std::size_t>(width));
    }
    p->drawImage(x, y, image);
    return height;
}

DWORD GetSysColor(int index) {
    const bool gui = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    const QPalette palette = gui ? QApplication::palette() : QPalette();
    QColor c;
    switch (index) {
        case COLOR_WINDOW: c = gui ? palette.color(QPalette::Base) : QColor(255, 255, 255); break;
        case COLOR_WINDOWTEXT:
        case COLOR_BTNTEXT: c = gui ? palette.color(QPalette::WindowText) : QColor(0, 0, 0); break;
        case COLOR_BTNFACE: c = gui ? palette.color(QPalette::Button) : QColor(240, 240, 240); break;
        case COLOR_BTNSHADOW: c = gui ? palette.color(QPalette::Mid) : QColor(160, 160, 160); break;
        case COLOR_GRAYTEXT: c = QColor(109, 109, 109); break;
        case COLOR_BTNHIGHLIGHT: c = gui ? palette.color(QPalette::Light) : QColor(255, 255, 255); break;
        case COLOR_3DDKSHADOW: c = gui ? palette.color(QPalette::Shadow) : QColor(105, 105, 105); break;
        case COLOR_3DLIGHT: c = gui ? palette.color(QPalette::Midlight) : QColor(227, 227, 227); break;
        case COLOR_HIGHLIGHT: c = gui ? palette.color(QPalette::Highlight) : QColor(0, 120, 215); break;
        default: c = QColor(0, 0, 0); break;
    }
    return RGB(c.red(), c.green(), c.blue());
}
