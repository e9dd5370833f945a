// CArbreCtrl: the configuration tree, a tree control hosted in its own MDI child frame
// (CArbreFrame) that fills the main window's client area. The rules of its shape and of the
// item-by-item changes are ConfigurationTree's; this class gives them the control, the images and
// the mouse.
#pragma once

#include "ui/afxcmn.h"
#include "ui/afxwin.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "configuration_tree.h"
#include "frame_host.h"
#include "tree_actions.h"
#include "tree_items.h"

namespace plandrel {

class CArbreCtrl;

class CArbreFrame : public CMDIChildWnd {
 public:
  explicit CArbreFrame(CArbreCtrl& tree);
  ~CArbreFrame() override;
  // Activation lowers the tree's frame beneath the on-line dialogs' frames and refreshes the title.
  void OnMDIActivate(BOOL activate, CWnd* activated, CWnd* deactivated) override;

 private:
  CArbreCtrl& tree_;
};

class CArbreCtrl : public CTreeCtrl, private TreeItems {
 public:
  // The two flags tell whether the main frame's toolbar and status bar are visible.
  CArbreCtrl(FrameHost& host, int toolbar_shown, int status_bar_shown);
  ~CArbreCtrl() override;

  // Creates the frame, the control and the image lists in the main frame's client area; nonzero
  // on success.
  int CreateTree(CMDIFrameWnd& main_frame);
  // Rebuilds the whole tree from the document: 0 or a CONFIG_CHECK_CODE.
  std::uint32_t BuildTree();
  void ExpandAll();
  void ExpandLocalStation();

  void InsertStationItem(std::int16_t index);  // -1: the bus arbitrator
  void DeleteStationItem(std::int16_t index);
  void RenameStationItem(std::uint16_t index);
  void InsertVariableItems(const records::VARIABLE4& variable);
  void DeleteVariableItems(const records::VARIABLE4& variable);
  void RenameVariableItems(const records::VARIABLE4& variable);
  void UpdateVariableItems(const records::VARIABLE4& variable);
  void InsertMessageItem(const records::MESSAGE4& message);
  void DeleteMessageItems(const records::MESSAGE4& message);
  void RenameMessageItems(const records::MESSAGE4& message);
  void UpdateMessageItems(const records::MESSAGE4& message);
  // The same for the document's messages of these indexes.
  void UpdateMessageItems(const std::vector<std::size_t>& messages);

  void ToggleIconSize();
  void ResizeTree(int width, int height);
  void SetToolbarShown(int shown);
  void SetStatusBarShown(int shown);
  void SendFrameToBottom();

  // The code of the item last right-clicked (the "Configuration..." command's record).
  std::uint32_t GetContextItem() const { return context_item_; }
  bool UsesSmallIcons() const { return small_icons_ != 0; }
  CArbreFrame* Frame() const { return frame_.get(); }
  FrameHost& host() const { return host_; }
  // The item of `code` under the local station (a variable) or under one of its variables (a
  // message), for the on-line objects; null when there is none.
  HTREEITEM FindLocalItem(std::uint32_t code) const;

  // The mouse, at a point of the control's client area.
  void OnTreeDoubleClick(POINT point);
  void OnTreeRightButtonDown(POINT point);

 private:
  // TreeItems over the control.
  Item first_root() const override;
  Item first_child(Item parent) const override;
  Item next_sibling(Item item) const override;
  Item parent(Item item) const override;
  Item insert(Item parent, Item after, std::string_view text, int image, int selected_image) override;
  void remove(Item item) override;
  void remove_all() override;
  std::uint32_t data(Item item) const override;
  bool set_data(Item item, std::uint32_t data) override;
  int image(Item item) const override;
  void set_images(Item item, int image, int selected_image) override;
  std::string text(Item item) const override;
  void set_text(Item item, std::string_view text) override;
  bool expanded(Item item) const override;
  void expand(Item item) override;

  std::uint32_t BuildImageLists();
  // The item hit at point, or none when the point is not on an item's icon, label or button.
  std::optional<ItemPlace> HitPlace(POINT point, HTREEITEM* hit = nullptr) const;
  const records::Configuration* Records() const;
  void RunAction(TreeAction action, const ItemPlace& place);
  CRect TreeRect(int width, int height) const;

  FrameHost& host_;
  CMDIFrameWnd* main_frame_ = nullptr;
  std::unique_ptr<CArbreFrame> frame_;
  std::unique_ptr<CImageList> small_images_;
  std::unique_ptr<CImageList> large_images_;
  std::vector<std::unique_ptr<CBitmap>> bitmaps_;
  int small_icons_ = 1;
  int toolbar_shown_ = 1;
  int status_bar_shown_ = 1;
  std::uint32_t context_item_ = 0;
  ConfigurationTree rules_{*this};
};

}  // namespace plandrel
