#include "arbre_ctrl.h"

#include <cstring>

#include "editor_dialogs.h"
#include "model/plandrel_doc.h"
#include "online/designer_messages.h"
#include "settings_dialogs.h"
#include "tree_codes.h"

namespace plandrel {
namespace {

constexpr int kToolbarRoom = 33;
constexpr int kStatusBarRoom = 20;
constexpr int kSmallIndent = 19;

constexpr const char* kVariableNotLocal = "The variables can be accessed through the local station only.";
constexpr const char* kMessageNotLocal = "The messages can be accessed through the local station only.";

HTREEITEM handle(TreeItems::Item item) {
  if (item == TreeItems::kFirst) return TVI_FIRST;
  if (item == TreeItems::kLast) return TVI_LAST;
  return reinterpret_cast<HTREEITEM>(item);
}
TreeItems::Item item_of(HTREEITEM handle) { return reinterpret_cast<TreeItems::Item>(handle); }

}  // namespace

// ---- CArbreFrame

CArbreFrame::CArbreFrame(CArbreCtrl& tree) : tree_(tree) {
  // The control reports clicks to its frame, at the point it keeps.
  MapNotify(0, NM_DBLCLK, [this] { tree_.OnTreeDoubleClick(tree_.lastClick_); });
  MapNotify(0, NM_RCLICK, [this] { tree_.OnTreeRightButtonDown(tree_.lastClick_); });
}
CArbreFrame::~CArbreFrame() = default;

void CArbreFrame::OnMDIActivate(BOOL activate, CWnd* activated, CWnd* deactivated) {
  if (!activate) {
    CMDIChildWnd::OnMDIActivate(activate, activated, deactivated);
    return;
  }
  tree_.SendFrameToBottom();
  if (CPlandrelDoc* document = tree_.host().Document()) document->UpdateTitle();
}

// ---- CArbreCtrl

CArbreCtrl::CArbreCtrl(FrameHost& host, int toolbar_shown, int status_bar_shown)
    : host_(host),
      small_icons_(host.IconSize() == 0 ? 1 : 0),
      toolbar_shown_(toolbar_shown),
      status_bar_shown_(status_bar_shown) {
  MapMessage(WM_TREE_SET_TEXT, [this](WPARAM item, LPARAM text) -> LRESULT {
    const auto target = reinterpret_cast<HTREEITEM>(item);
    const char* wanted = reinterpret_cast<const char*>(text);
    if (wanted != nullptr && GetItemText(target) != wanted) SetItemText(target, wanted);
    return 0;
  });
  MapMessage(WM_TREE_DELETE_ITEM, [this](WPARAM item, LPARAM) -> LRESULT {
    if (DeleteItem(reinterpret_cast<HTREEITEM>(item))) rules_.items_changed();
    return 0;
  });
  MapMessage(WM_TREE_INSERT_MESSAGE, [this](WPARAM message, LPARAM) -> LRESULT {
    if (message != 0) InsertMessageItem(*reinterpret_cast<const records::MESSAGE4*>(message));
    return 0;
  });
  MapMessage(WM_LBUTTONDBLCLK, [this](WPARAM, LPARAM point) -> LRESULT {
    OnTreeDoubleClick(POINT{static_cast<short>(point & 0xFFFF), static_cast<short>((point >> 16) & 0xFFFF)});
    return 0;
  });
  MapMessage(WM_RBUTTONDOWN, [this](WPARAM, LPARAM point) -> LRESULT {
    OnTreeRightButtonDown(POINT{static_cast<short>(point & 0xFFFF), static_cast<short>((point >> 16) & 0xFFFF)});
    return 0;
  });
}

CArbreCtrl::~CArbreCtrl() {
  DestroyWindow();
  // The frame goes before the control's own base: the control leaves it first.
  if (frame_) {
    frame_->detachChild(GetDlgCtrlID());
    frame_->SetClient(nullptr);
    frame_->DestroyWindow();
  }
  setParentWnd(nullptr);
}

CRect CArbreCtrl::TreeRect(int width, int height) const {
  CRect rect(0, 0, width - 4, height - 2);
  if (toolbar_shown_) rect.bottom -= kToolbarRoom;
  if (status_bar_shown_) rect.bottom -= kStatusBarRoom;
  return rect;
}

int CArbreCtrl::CreateTree(CMDIFrameWnd& main_frame) {
  main_frame_ = &main_frame;
  CRect client;
  main_frame.GetClientRect(&client);
  CRect rect = TreeRect(client.Width(), client.Height());
  frame_ = std::make_unique<CArbreFrame>(*this);
  if (!frame_->Create(nullptr, "", WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN | WS_BORDER, rect, &main_frame)) {
    frame_.reset();
    return 0;
  }
  rect.right -= 6;
  rect.bottom -= 6;
  if (!Create(WS_CHILD | WS_VISIBLE | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, rect, frame_.get(), 0))
    return 0;
  frame_->SetClient(this);
  if (BuildImageLists() != 0) return 0;
  SetImageList(small_icons_ ? small_images_.get() : large_images_.get(), TVSIL_NORMAL);
  return 1;
}

std::uint32_t CArbreCtrl::BuildImageLists() {
  auto small = std::make_unique<CImageList>();
  auto large = std::make_unique<CImageList>();
  if (!small->Create(kSmallTreeImageSize, kSmallTreeImageSize, ILC_COLOR, 0, 1) ||
      !large->Create(kLargeTreeImageSize, kLargeTreeImageSize, ILC_COLOR, 0, 1))
    return kTreeImageListCode;
  const auto append = [this](CImageList& list, std::uint16_t resource) {
    auto bitmap = std::make_unique<CBitmap>();
    if (!bitmap->LoadBitmap(resource) || list.Add(bitmap.get(), static_cast<CBitmap*>(nullptr)) < 0) return false;
    bitmaps_.push_back(std::move(bitmap));
    return true;
  };
  for (std::uint16_t resource : kSmallTreeBitmaps)
    if (!append(*small, resource)) return kTreeBitmapCode;
  for (std::uint16_t resource : kLargeTreeBitmaps)
    if (!append(*large, resource)) return kTreeBitmapCode;
  small_images_ = std::move(small);
  large_images_ = std::move(large);
  return 0;
}

const records::Configuration* CArbreCtrl::Records() const {
  const CPlandrelDoc* document = host_.Document();
  return document ? &document->Records() : nullptr;
}

std::uint32_t CArbreCtrl::BuildTree() {
  const records::Configuration* configuration = Records();
  if (configuration == nullptr) return kTreeInsertCode;
  // The widget shows the new tree in one batch, not item by item.
  SetRedraw(FALSE);
  const std::uint32_t result = rules_.build(*configuration);
  SetRedraw(TRUE);
  return result;
}

void CArbreCtrl::ExpandAll() { rules_.expand_all(); }

void CArbreCtrl::ExpandLocalStation() {
  if (const auto* configuration = Records()) rules_.expand_local_station(*configuration);
}

void CArbreCtrl::InsertStationItem(std::int16_t index) {
  if (const auto* configuration = Records()) rules_.insert_station_item(*configuration, index);
}
void CArbreCtrl::DeleteStationItem(std::int16_t index) { rules_.delete_station_item(index); }
void CArbreCtrl::RenameStationItem(std::uint16_t index) {
  if (const auto* configuration = Records()) rules_.rename_station_item(*configuration, index);
}
void CArbreCtrl::InsertVariableItems(const records::VARIABLE4& variable) {
  if (const auto* configuration = Records()) rules_.insert_variable_items(*configuration, variable);
}
void CArbreCtrl::DeleteVariableItems(const records::VARIABLE4& variable) { rules_.delete_variable_items(variable); }
void CArbreCtrl::RenameVariableItems(const records::VARIABLE4& variable) { rules_.rename_variable_items(variable); }
void CArbreCtrl::UpdateVariableItems(const records::VARIABLE4& variable) { rules_.update_variable_items(variable); }
void CArbreCtrl::InsertMessageItem(const records::MESSAGE4& message) {
  if (const auto* configuration = Records()) rules_.insert_message_item(*configuration, message);
}
void CArbreCtrl::DeleteMessageItems(const records::MESSAGE4& message) { rules_.delete_message_items(message); }
void CArbreCtrl::RenameMessageItems(const records::MESSAGE4& message) { rules_.rename_message_items(message); }
void CArbreCtrl::UpdateMessageItems(const records::MESSAGE4& message) {
  if (const auto* configuration = Records()) rules_.update_message_items(*configuration, message);
}
void CArbreCtrl::UpdateMessageItems(const std::vector<std::size_t>& messages) {
  if (const auto* configuration = Records()) rules_.update_message_items(*configuration, messages);
}

HTREEITEM CArbreCtrl::FindLocalItem(std::uint32_t code) const {
  const records::Configuration* configuration = Records();
  if (configuration == nullptr) return nullptr;
  const Item local = rules_.station_item(configuration->local_station);
  if (local == kNone) return nullptr;
  if (kind_of_code(code) == ItemKind::variable) return handle(rules_.child_with_code(local, code));
  for (Item variable = first_child(local); variable != kNone; variable = next_sibling(variable))
    if (const Item message = rules_.child_with_code(variable, code); message != kNone) return handle(message);
  return nullptr;
}

void CArbreCtrl::ToggleIconSize() {
  if (small_icons_) {
    small_icons_ = 0;
    SetImageList(large_images_.get(), TVSIL_NORMAL);
  } else {
    small_icons_ = 1;
    SetImageList(small_images_.get(), TVSIL_NORMAL);
    SetIndent(kSmallIndent);
  }
}

void CArbreCtrl::ResizeTree(int width, int height) {
  if (!frame_) return;
  const CRect rect = TreeRect(width, height);
  frame_->MoveWindow(&rect, TRUE);
  MoveWindow(&rect, TRUE);
}

void CArbreCtrl::SetToolbarShown(int shown) {
  toolbar_shown_ = shown;
  if (main_frame_ == nullptr) return;
  CRect client;
  main_frame_->GetClientRect(&client);
  ResizeTree(client.Width(), client.Height());
}

void CArbreCtrl::SetStatusBarShown(int shown) {
  status_bar_shown_ = shown;
  if (main_frame_ == nullptr) return;
  CRect client;
  main_frame_->GetClientRect(&client);
  ResizeTree(client.Width(), client.Height());
}

void CArbreCtrl::SendFrameToBottom() {
  if (frame_) frame_->SetWindowPos(&CWnd::wndBottom, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
}

std::optional<ItemPlace> CArbreCtrl::HitPlace(POINT point, HTREEITEM* hit) const {
  UINT flags = 0;
  const HTREEITEM item = HitTest(point, &flags);
  if (item == nullptr || (flags & (TVHT_ONITEM | TVHT_ONITEMBUTTON)) == 0) return std::nullopt;
  const records::Configuration* configuration = Records();
  if (configuration == nullptr) return std::nullopt;
  if (hit) *hit = item;
  return rules_.place_of(item_of(item), *configuration);
}

void CArbreCtrl::OnTreeDoubleClick(POINT point) {
  const auto place = HitPlace(point);
  if (!place) return;
  const records::Configuration* configuration = Records();
  const bool local = place->kind == ItemKind::station &&
                     record_index(*place) == configuration->local_station;
  RunAction(double_click_action(*place, local, host_.IsOnline()), *place);
}

void CArbreCtrl::RunAction(TreeAction action, const ItemPlace& place) {
  FipSession* session = host_.Session();
  switch (action) {
    case TreeAction::variable_not_local: MessageBox(kVariableNotLocal); break;
    case TreeAction::message_not_local: MessageBox(kMessageNotLocal); break;
    case TreeAction::online_ba:
      if (session) session->OpenBaDialog();
      break;
    case TreeAction::online_medium:
      if (session) session->OpenMediumDialog();
      break;
    case TreeAction::online_variable:
      if (session) session->OpenVariableDialog(record_index(place));
      break;
    case TreeAction::online_message:
      if (session) session->OpenMessageDialog(record_index(place));
      break;
    case TreeAction::variable_editor:
      if (CPlandrelDoc* document = host_.Document())
        EditVariable({*document, this, host_.IsOnline()}, this, record_index(place), false);
      break;
    case TreeAction::message_editor:
      if (CPlandrelDoc* document = host_.Document()) EditMessage({*document, this, host_.IsOnline()}, this, record_index(place));
      break;
    case TreeAction::general_settings: RunGeneralSettings(this, host_, this); break;
    case TreeAction::ba_editor: RunBaProgramEditor(this, host_); break;
    case TreeAction::station_editor:
      if (CPlandrelDoc* document = host_.Document())
        EditStation({*document, this, host_.IsOnline()}, this, record_index(place));
      break;
    case TreeAction::none: break;
  }
}

void CArbreCtrl::OnTreeRightButtonDown(POINT point) {
  const auto place = HitPlace(point);
  const CPlandrelDoc* document = host_.Document();
  const std::size_t configured = document ? document->Records().messages.size() : 0;
  const ContextMenuChoice choice = context_menu_for(place, host_.IsOnline(), configured);
  if (place && choice.keep_code) context_item_ = place->code;
  if (choice.menu == 0 || main_frame_ == nullptr) return;
  CMenu menu;
  if (!menu.LoadMenu(choice.menu)) return;
  CMenu* popup = menu.GetSubMenu(0);
  if (popup == nullptr) return;
  POINT screen = point;
  ClientToScreen(&screen);
  popup->TrackPopupMenu(TPM_LEFTALIGN | TPM_RIGHTBUTTON, screen.x, screen.y, main_frame_);
}

// ---- TreeItems over the control

TreeItems::Item CArbreCtrl::first_root() const { return item_of(GetRootItem()); }
TreeItems::Item CArbreCtrl::first_child(Item parent) const {
  return parent == kNone ? kNone : item_of(GetChildItem(handle(parent)));
}
TreeItems::Item CArbreCtrl::next_sibling(Item item) const {
  return item == kNone ? kNone : item_of(GetNextSiblingItem(handle(item)));
}
TreeItems::Item CArbreCtrl::parent(Item item) const {
  return item == kNone ? kNone : item_of(GetParentItem(handle(item)));
}
TreeItems::Item CArbreCtrl::insert(Item parent, Item after, std::string_view text, int image, int selected_image) {
  const std::string label(text);
  return item_of(InsertItem(label.c_str(), image, selected_image, parent == kNone ? TVI_ROOT : handle(parent),
                            handle(after)));
}
void CArbreCtrl::remove(Item item) { DeleteItem(handle(item)); }
void CArbreCtrl::remove_all() { DeleteAllItems(); }
std::uint32_t CArbreCtrl::data(Item item) const { return static_cast<std::uint32_t>(GetItemData(handle(item))); }
bool CArbreCtrl::set_data(Item item, std::uint32_t data) { return SetItemData(handle(item), data) != FALSE; }
int CArbreCtrl::image(Item item) const {
  int normal = -1, selected = -1;
  return GetItemImage(handle(item), normal, selected) ? normal : -1;
}
void CArbreCtrl::set_images(Item item, int image, int selected_image) {
  SetItemImage(handle(item), image, selected_image);
}
std::string CArbreCtrl::text(Item item) const { return GetItemText(handle(item)); }
void CArbreCtrl::set_text(Item item, std::string_view text) {
  const std::string label(text);
  SetItemText(handle(item), label.c_str());
}
bool CArbreCtrl::expanded(Item item) const { return IsExpanded(handle(item)) != FALSE; }
void CArbreCtrl::expand(Item item) { Expand(handle(item), TVE_EXPAND); }

}  // namespace plandrel
