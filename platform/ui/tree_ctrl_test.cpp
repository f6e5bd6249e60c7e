// The tree and its image list: order of items, images, selection reports and stale handles.
#include <QImage>
#include <QTreeWidget>

#include "pairway/ui/tree_ctrl.h"
#include "ui_test_support.h"

namespace pairway::ui {
namespace {

const DialogControl kTreeControls[] = {
    {1012, ControlKind::kTreeView, nullptr, 7, 7, 100, 120, TVS_HASLINES},
};
const DialogTemplate kTreeTemplate{109, "Status", 200, 140, kTreeControls};

class TreeDialog : public CDialog {
 public:
  TreeDialog() : CDialog(kTreeTemplate) {
    SetHandler(1012, TVN_SELCHANGED, [this] { ++changes; });
  }
  CTreeCtrl m_tree;
  int changes = 0;

 protected:
  void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, 1012, m_tree); }
};

class TreeTest : public testing::UiTest {
 protected:
  TreeDialog dialog_;
};

TEST_F(TreeTest, ItemsKeepTheirOrderImagesAndData) {
  testing::RunDialog(dialog_, [&] {
    CTreeCtrl& tree = dialog_.m_tree;
    HTREEITEM port = tree.InsertItem("TREVAN2", 2, 2);
    HTREEITEM group = tree.InsertItem("Group1");
    HTREEITEM first = tree.InsertItem("TREVAN1", TVI_ROOT, TVI_FIRST);
    HTREEITEM member = tree.InsertItem("TREVAN4", 3, 3, group);
    EXPECT_EQ(tree.GetCount(), 4u);
    EXPECT_EQ(tree.GetRootItem(), first);
    EXPECT_EQ(tree.GetNextSiblingItem(first), port);
    EXPECT_EQ(tree.GetChildItem(group), member);
    EXPECT_EQ(tree.GetParentItem(member), group);
    int image = -1, selected = -1;
    EXPECT_TRUE(tree.GetItemImage(group, image, selected));
    EXPECT_EQ(image, 0);  // never set: the first image
    EXPECT_TRUE(tree.SetItemImage(group, 1, 1));
    EXPECT_TRUE(tree.GetItemImage(group, image, selected));
    EXPECT_EQ(selected, 1);
    EXPECT_TRUE(tree.SetItemData(member, 42));
    EXPECT_EQ(tree.GetItemData(member), 42u);
    char text[5];
    EXPECT_TRUE(tree.GetItemText(member, text, sizeof text));
    EXPECT_STREQ(text, "TREV");  // cut to the room given, as the platform does

    EXPECT_TRUE(tree.DeleteItem(group));
    EXPECT_EQ(tree.GetCount(), 2u);
    EXPECT_FALSE(tree.SetItemImage(member, 1, 1));  // gone with its parent: refused
    EXPECT_EQ(tree.GetItemText(member), "");
    EXPECT_TRUE(tree.DeleteAllItems());
    EXPECT_EQ(tree.GetCount(), 0u);
    EXPECT_EQ(tree.GetRootItem(), nullptr);
  });
}

TEST_F(TreeTest, SelectionChangesAreReportedForThePersonAndTheProgram) {
  testing::RunDialog(dialog_, [&] {
    CTreeCtrl& tree = dialog_.m_tree;
    HTREEITEM group = tree.InsertItem("Group1");
    HTREEITEM port = tree.InsertItem("TREVAN3");
    EXPECT_EQ(tree.GetSelectedItem(), nullptr);
    tree.SelectItem(group);
    EXPECT_EQ(tree.GetSelectedItem(), group);
    EXPECT_EQ(dialog_.changes, 1);
    auto* widget = qobject_cast<QTreeWidget*>(tree.widget());
    QRect rect = widget->visualItemRect(reinterpret_cast<QTreeWidgetItem*>(port));
    QTest::mouseClick(widget->viewport(), Qt::LeftButton, Qt::NoModifier, rect.center());
    EXPECT_EQ(tree.GetSelectedItem(), port);
    EXPECT_EQ(dialog_.changes, 2);
  });
}

TEST_F(TreeTest, ImageListHoldsWhatItWasCreatedForUnlessItMayGrow) {
  CImageList fixed, growing;
  HICON icon = app_.LoadIcon(134);
  EXPECT_EQ(icon, nullptr);  // no table: no icon
  static const ImageResource kSelf[] = {{7, "/nonexistent/icon.png"}};
  app_.SetImageResources(kSelf, 1);
  EXPECT_STREQ(app_.ImagePath(7), "/nonexistent/icon.png");
  EXPECT_EQ(app_.ImagePath(8), nullptr);

  // An icon of any readable image file.
  QImage pixels(16, 16, QImage::Format_ARGB32);
  pixels.fill(Qt::green);
  std::string path = ::testing::TempDir() + "/pairway-icon.png";
  ASSERT_TRUE(pixels.save(QString::fromStdString(path)));
  static std::string table_path;
  table_path = path;
  static const ImageResource kIcon[] = {{135, table_path.c_str()}};
  app_.SetImageResources(kIcon, 1);
  icon = app_.LoadIcon(135);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(app_.LoadIcon(135), icon);  // one icon per image for the life of the process

  EXPECT_EQ(fixed.Add(icon), -1);  // not created yet
  ASSERT_TRUE(fixed.Create(16, 16, ILC_COLOR, 2, 0));
  EXPECT_FALSE(fixed.Create(16, 16, ILC_COLOR, 2, 0));
  EXPECT_EQ(fixed.Add(icon), 0);
  EXPECT_EQ(fixed.Replace(-1, icon), 1);
  EXPECT_EQ(fixed.Add(icon), -1);  // full, and may not grow
  EXPECT_EQ(fixed.Replace(0, icon), 0);
  ASSERT_TRUE(growing.Create(16, 16, ILC_COLOR, 1, 1));
  EXPECT_EQ(growing.Add(icon), 0);
  EXPECT_EQ(growing.Add(icon), 1);
}

}  // namespace
}  // namespace pairway::ui
