// CTreeCtrl on a QTreeWidget and CImageList on the framework's icons. An HTREEITEM is the
// QTreeWidgetItem itself; the tree keeps the set of live items so that a stale handle (a worker
// may hold one) is refused instead of followed.
#include <QIcon>
#include <QTreeWidget>

#include <unordered_set>

#include "pairway/ui/tree_ctrl.h"
#include "widgets.h"

namespace pairway::ui {
namespace {

constexpr int kImageRole = Qt::UserRole + 1;
constexpr int kSelectedImageRole = Qt::UserRole + 2;
constexpr int kDataRole = Qt::UserRole;
constexpr char kItemsProperty[] = "pairway.items";

QTreeWidget* TreeOf(const CWnd* window) { return qobject_cast<QTreeWidget*>(window->widget()); }

// The live items of a tree, kept beside the widget for as long as it lives.
class ItemSet : public QObject {
 public:
  explicit ItemSet(QTreeWidget* tree) : QObject(tree) { setObjectName(kItemsProperty); }
  std::unordered_set<QTreeWidgetItem*> items;

  static ItemSet* Of(QTreeWidget* tree) {
    auto* set = tree->findChild<ItemSet*>(kItemsProperty, Qt::FindDirectChildrenOnly);
    return set != nullptr ? set : new ItemSet(tree);
  }
  void Forget(QTreeWidgetItem* item) {
    items.erase(item);
    for (int i = 0; i < item->childCount(); ++i) Forget(item->child(i));
  }
};

QTreeWidgetItem* Live(QTreeWidget* tree, HTREEITEM handle) {
  auto* item = reinterpret_cast<QTreeWidgetItem*>(handle);
  if (tree == nullptr || item == nullptr) return nullptr;
  return ItemSet::Of(tree)->items.count(item) != 0 ? item : nullptr;
}

HTREEITEM Handle(QTreeWidgetItem* item) { return reinterpret_cast<HTREEITEM>(item); }

QIcon ItemIcon(CImageList* images, int image, int selected_image) {
  if (images == nullptr) return QIcon();
  auto* normal = reinterpret_cast<QIcon*>(images->GetIcon(image));
  auto* selected = reinterpret_cast<QIcon*>(images->GetIcon(selected_image));
  int cx = 16, cy = 16;
  images->GetIconSize(cx, cy);
  QIcon icon;
  if (normal != nullptr) icon.addPixmap(normal->pixmap(cx, cy), QIcon::Normal);
  if (selected != nullptr) icon.addPixmap(selected->pixmap(cx, cy), QIcon::Selected);
  return icon;
}

void Paint(QTreeWidgetItem* item, CImageList* images) {
  item->setIcon(0, ItemIcon(images, item->data(0, kImageRole).toInt(),
                            item->data(0, kSelectedImageRole).toInt()));
}

void PaintAll(QTreeWidgetItem* item, CImageList* images) {
  Paint(item, images);
  for (int i = 0; i < item->childCount(); ++i) PaintAll(item->child(i), images);
}

}  // namespace

// ---- CImageList ----

CImageList::CImageList() = default;

CImageList::~CImageList() = default;

BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
  (void)flags;  // colour depth and mask: the icons are drawn as they are
  if (created_ || cx <= 0 || cy <= 0) return FALSE;
  created_ = true;
  cx_ = cx;
  cy_ = cy;
  capacity_ = initial > 0 ? initial : 0;
  grow_ = grow > 0 ? grow : 0;
  return TRUE;
}

int CImageList::Add(HICON icon) { return Replace(-1, icon); }

int CImageList::Replace(int index, HICON icon) {
  if (!created_ || icon == nullptr) return -1;
  if (index >= 0) {
    if (index >= GetImageCount()) return -1;
    images_[static_cast<size_t>(index)] = icon;
    return index;
  }
  if (GetImageCount() >= capacity_) {
    if (grow_ == 0) return -1;
    capacity_ += grow_;
  }
  images_.push_back(icon);
  return GetImageCount() - 1;
}

void CImageList::GetIconSize(int& cx, int& cy) const {
  cx = cx_;
  cy = cy_;
}

HICON CImageList::GetIcon(int index) const {
  return index >= 0 && index < GetImageCount() ? images_[static_cast<size_t>(index)] : nullptr;
}

// ---- CTreeCtrl ----

void CTreeCtrl::OnAttached() {
  QObject::connect(TreeOf(this), &QTreeWidget::itemSelectionChanged, link(),
                   [this] { NotifyParent(TVN_SELCHANGED); });
}

CImageList* CTreeCtrl::SetImageList(CImageList* images, int which) {
  return CallOnGui([&]() -> CImageList* {
    if (which != TVSIL_NORMAL) return nullptr;
    CImageList* previous = images_;
    images_ = images;
    if (QTreeWidget* tree = TreeOf(this)) {
      int cx = 16, cy = 16;
      if (images != nullptr) images->GetIconSize(cx, cy);
      tree->setIconSize(QSize(cx, cy));
      for (int i = 0; i < tree->topLevelItemCount(); ++i) PaintAll(tree->topLevelItem(i), images);
    }
    return previous;
  });
}

CImageList* CTreeCtrl::GetImageList(int which) const {
  return which == TVSIL_NORMAL ? images_ : nullptr;
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, int image, int selected_image, HTREEITEM parent,
                                HTREEITEM after) {
  return CallOnGui([&]() -> HTREEITEM {
    QTreeWidget* tree = TreeOf(this);
    if (tree == nullptr) return nullptr;
    QTreeWidgetItem* parent_item = nullptr;
    if (parent != TVI_ROOT && parent != nullptr) {
      parent_item = Live(tree, parent);
      if (parent_item == nullptr) return nullptr;
    }
    int count = parent_item != nullptr ? parent_item->childCount() : tree->topLevelItemCount();
    int position = count;
    if (after == TVI_FIRST) {
      position = 0;
    } else if (after != TVI_LAST && after != nullptr) {
      QTreeWidgetItem* sibling = Live(tree, after);
      if (sibling == nullptr || sibling->parent() != parent_item) return nullptr;
      position = (parent_item != nullptr ? parent_item->indexOfChild(sibling)
                                         : tree->indexOfTopLevelItem(sibling)) +
                 1;
    }
    auto* item = new QTreeWidgetItem(QStringList(ToQt(text)));
    item->setData(0, kImageRole, image);
    item->setData(0, kSelectedImageRole, selected_image);
    Paint(item, images_);
    if (parent_item != nullptr) {
      parent_item->insertChild(position, item);
      parent_item->setExpanded(true);
    } else {
      tree->insertTopLevelItem(position, item);
    }
    ItemSet::Of(tree)->items.insert(item);
    return Handle(item);
  });
}

HTREEITEM CTreeCtrl::InsertItem(LPCSTR text, HTREEITEM parent, HTREEITEM after) {
  return InsertItem(text, 0, 0, parent, after);
}

BOOL CTreeCtrl::DeleteItem(HTREEITEM handle) {
  return CallOnGui([&]() -> BOOL {
    QTreeWidget* tree = TreeOf(this);
    if (tree == nullptr) return FALSE;
    if (handle == TVI_ROOT) {
      ItemSet::Of(tree)->items.clear();
      tree->clear();
      return TRUE;
    }
    QTreeWidgetItem* item = Live(tree, handle);
    if (item == nullptr) return FALSE;
    ItemSet::Of(tree)->Forget(item);
    delete item;
    return TRUE;
  });
}

BOOL CTreeCtrl::DeleteAllItems() { return DeleteItem(TVI_ROOT); }

UINT CTreeCtrl::GetCount() const {
  return CallOnGui([&]() -> UINT {
    QTreeWidget* tree = TreeOf(this);
    return tree != nullptr ? static_cast<UINT>(ItemSet::Of(tree)->items.size()) : 0;
  });
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM handle, int image, int selected_image) {
  return CallOnGui([&]() -> BOOL {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    if (item == nullptr) return FALSE;
    item->setData(0, kImageRole, image);
    item->setData(0, kSelectedImageRole, selected_image);
    Paint(item, images_);
    return TRUE;
  });
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM handle, int& image, int& selected_image) const {
  return CallOnGui([&]() -> BOOL {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    if (item == nullptr) return FALSE;
    image = item->data(0, kImageRole).toInt();
    selected_image = item->data(0, kSelectedImageRole).toInt();
    return TRUE;
  });
}

BOOL CTreeCtrl::SetItemText(HTREEITEM handle, LPCSTR text) {
  return CallOnGui([&]() -> BOOL {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    if (item == nullptr) return FALSE;
    item->setText(0, ToQt(text));
    return TRUE;
  });
}

std::string CTreeCtrl::GetItemText(HTREEITEM handle) const {
  return CallOnGui([&]() -> std::string {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    return item != nullptr ? FromQt(item->text(0)) : std::string();
  });
}

BOOL CTreeCtrl::GetItemText(HTREEITEM handle, LPSTR buffer, int max_count) const {
  bool live = CallOnGui([&] { return Live(TreeOf(this), handle) != nullptr; });
  if (!live) return FALSE;
  CopyText(GetItemText(handle), buffer, max_count);
  return TRUE;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM handle, DWORD_PTR data) {
  return CallOnGui([&]() -> BOOL {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    if (item == nullptr) return FALSE;
    item->setData(0, kDataRole, QVariant::fromValue<qulonglong>(data));
    return TRUE;
  });
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM handle) const {
  return CallOnGui([&]() -> DWORD_PTR {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    return item != nullptr ? static_cast<DWORD_PTR>(item->data(0, kDataRole).toULongLong()) : 0;
  });
}

HTREEITEM CTreeCtrl::GetSelectedItem() const {
  return CallOnGui([&]() -> HTREEITEM {
    QTreeWidget* tree = TreeOf(this);
    if (tree == nullptr) return nullptr;
    QList<QTreeWidgetItem*> selected = tree->selectedItems();
    return selected.isEmpty() ? nullptr : Handle(selected.first());
  });
}

BOOL CTreeCtrl::SelectItem(HTREEITEM handle) {
  return CallOnGui([&]() -> BOOL {
    QTreeWidget* tree = TreeOf(this);
    if (tree == nullptr) return FALSE;
    if (handle == nullptr) {
      tree->clearSelection();
      return TRUE;
    }
    QTreeWidgetItem* item = Live(tree, handle);
    if (item == nullptr) return FALSE;
    tree->setCurrentItem(item);
    return TRUE;
  });
}

HTREEITEM CTreeCtrl::GetRootItem() const {
  return CallOnGui([&]() -> HTREEITEM {
    QTreeWidget* tree = TreeOf(this);
    return tree != nullptr && tree->topLevelItemCount() > 0 ? Handle(tree->topLevelItem(0))
                                                            : nullptr;
  });
}

HTREEITEM CTreeCtrl::GetChildItem(HTREEITEM handle) const {
  return CallOnGui([&]() -> HTREEITEM {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    return item != nullptr && item->childCount() > 0 ? Handle(item->child(0)) : nullptr;
  });
}

HTREEITEM CTreeCtrl::GetNextSiblingItem(HTREEITEM handle) const {
  return CallOnGui([&]() -> HTREEITEM {
    QTreeWidget* tree = TreeOf(this);
    QTreeWidgetItem* item = Live(tree, handle);
    if (item == nullptr) return nullptr;
    QTreeWidgetItem* parent = item->parent();
    int index = parent != nullptr ? parent->indexOfChild(item) : tree->indexOfTopLevelItem(item);
    int count = parent != nullptr ? parent->childCount() : tree->topLevelItemCount();
    if (index + 1 >= count) return nullptr;
    return Handle(parent != nullptr ? parent->child(index + 1) : tree->topLevelItem(index + 1));
  });
}

HTREEITEM CTreeCtrl::GetParentItem(HTREEITEM handle) const {
  return CallOnGui([&]() -> HTREEITEM {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    return item != nullptr ? Handle(item->parent()) : nullptr;
  });
}

BOOL CTreeCtrl::Expand(HTREEITEM handle, BOOL expand) {
  return CallOnGui([&]() -> BOOL {
    QTreeWidgetItem* item = Live(TreeOf(this), handle);
    if (item == nullptr) return FALSE;
    item->setExpanded(expand != FALSE);
    return TRUE;
  });
}

}  // namespace pairway::ui
