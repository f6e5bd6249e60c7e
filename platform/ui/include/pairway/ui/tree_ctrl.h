// tree_ctrl.h: a tree control with its image list.
//
// Items are HTREEITEM handles, valid from InsertItem until the item or one of its parents is
// deleted. Each item shows image `image` of the tree's normal image list, or `selected_image`
// while it is the selected item; an item whose images were never set shows image 0.
//
// TVN_SELCHANGED goes to the parent's handlers whenever the selection changes, by the person or by
// SelectItem, and when deleting the selected item moves the selection (as on the platform).
//
// Threads: every CTreeCtrl call may come from any thread (it runs on the GUI thread while the
// caller waits; see wnd.h). CImageList is for the GUI thread.
#ifndef PAIRWAY_UI_TREE_CTRL_H
#define PAIRWAY_UI_TREE_CTRL_H

#include <string>
#include <vector>

#include "commctrl.h"
#include "pairway/api.h"
#include "pairway/ui/wnd.h"

namespace pairway::ui {

// Images of one size (16 x 16 for a tree), appended in order.
class PAIRWAY_API CImageList {
 public:
  CImageList();
  ~CImageList();
  CImageList(const CImageList&) = delete;
  CImageList& operator=(const CImageList&) = delete;

  // Images of cx x cy pixels; `flags` ILC_*; room for `initial` images, growing by `grow` (0:
  // never beyond `initial`). FALSE when cx or cy is not positive or the list exists already.
  BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
  // Appends icon `icon` (CWinApp::LoadIcon) scaled to the list's size; its index, or -1 (list not
  // created, no icon, or full and not allowed to grow).
  int Add(HICON icon);
  // Replaces image `index` by `icon`; index -1 appends (as ImageList_ReplaceIcon). Its index or -1.
  int Replace(int index, HICON icon);
  int GetImageCount() const { return static_cast<int>(images_.size()); }
  void GetIconSize(int& cx, int& cy) const;
  // The icon of image `index`, or null.
  HICON GetIcon(int index) const;

 private:
  bool created_ = false;
  int cx_ = 0, cy_ = 0, capacity_ = 0, grow_ = 0;
  std::vector<HICON> images_;
};

class PAIRWAY_API CTreeCtrl : public CWnd {
 public:
  // Uses `images` (TVSIL_NORMAL) for the items; borrowed, must outlive the tree's widget.
  // Returns the list used before, or null.
  CImageList* SetImageList(CImageList* images, int which);
  CImageList* GetImageList(int which) const;

  // Inserts an item under `parent` (TVI_ROOT: a root item) after `after` (TVI_LAST, TVI_FIRST or a
  // sibling); null on failure.
  HTREEITEM InsertItem(LPCSTR text, int image, int selected_image, HTREEITEM parent = TVI_ROOT,
                       HTREEITEM after = TVI_LAST);
  HTREEITEM InsertItem(LPCSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
  // Deletes the item and its children; TVI_ROOT deletes every item.
  BOOL DeleteItem(HTREEITEM item);
  BOOL DeleteAllItems();
  UINT GetCount() const;

  BOOL SetItemImage(HTREEITEM item, int image, int selected_image);
  BOOL GetItemImage(HTREEITEM item, int& image, int& selected_image) const;
  BOOL SetItemText(HTREEITEM item, LPCSTR text);
  // The item's text; empty for an unknown item.
  std::string GetItemText(HTREEITEM item) const;
  // Copies at most max_count - 1 characters and a terminator (TVM_GETITEM with TVIF_TEXT).
  BOOL GetItemText(HTREEITEM item, LPSTR buffer, int max_count) const;
  BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
  DWORD_PTR GetItemData(HTREEITEM item) const;

  // The selected item (TVGN_CARET), or null.
  HTREEITEM GetSelectedItem() const;
  // Selects `item` (null: none).
  BOOL SelectItem(HTREEITEM item);
  HTREEITEM GetRootItem() const;
  HTREEITEM GetChildItem(HTREEITEM item) const;
  HTREEITEM GetNextSiblingItem(HTREEITEM item) const;
  HTREEITEM GetParentItem(HTREEITEM item) const;
  BOOL Expand(HTREEITEM item, BOOL expand = TRUE);

 protected:
  void OnAttached() override;

 private:
  CImageList* images_ = nullptr;
};

}  // namespace pairway::ui

#endif  // PAIRWAY_UI_TREE_CTRL_H
