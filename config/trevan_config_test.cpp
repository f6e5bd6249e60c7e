// TrevanConfig entered as the setup host enters it, its sheet driven offscreen, its result text
// checked.
#define AGGCFG_TEST_FIXTURE
#include <QApplication>

#include "groups_config_page.h"
#include "qt_test_environment.h"
#include "test_hive.h"
#include "ui_test_support.h"

namespace aggcfg_test {
namespace {

[[maybe_unused]] const bool offscreen = pairway::ui::testing::RegisterQtOffscreenEnvironment();

using pairway::ui::CPropertySheet;
using pairway::ui::CWnd;

class TrevanConfigTest : public ConfigTest {
 protected:
  void SetUp() override {
    config_ = library_.Procedure("TrevanConfig");
    ASSERT_NE(config_, nullptr);
    SetRefCount(3);
    for (int card = 1; card <= 3; ++card) {
      AddCard(card);
      SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
    }
  }

  // Calls TrevanConfig with card `card`; `script` runs inside the sheet's modal loop with the
  // sheet the library shows. Returns the result text.
  std::string Call(const char* card, const std::function<void(CPropertySheet*)>& script) {
    QTimer::singleShot(0, [&] {
      CPropertySheet* sheet = nullptr;
      for (QWidget* window : QApplication::topLevelWidgets()) {
        if (window->isVisible() && window->windowTitle() == AGGCFG_APP_TITLE) {
          sheet = dynamic_cast<CPropertySheet*>(CWnd::FromWidget(window));
        }
      }
      if (sheet == nullptr) {
        ADD_FAILURE() << "no window titled " AGGCFG_APP_TITLE;
        return;
      }
      script(sheet);
      if (sheet->IsWindow() && sheet->widget()->isVisible()) sheet->EndDialog(-2);
    });
    LPSTR result = nullptr;
    EXPECT_EQ(InstalledLibrary::Call(config_, {card}, &result), TRUE);
    return result != nullptr ? result : "(none)";
  }

  // Moves the available port at `row` into a new group, as a person does.
  static void AddPort(CPropertySheet* sheet, int row) {
    CWnd* page = sheet->GetPage(0);
    pairway::ui::testing::ClickRow(page->GetDlgItem(IDC_AVAILABLE_PORTS), row);
    QTest::mouseClick(page->GetDlgItem(IDC_ADD_PORTS)->widget(), Qt::LeftButton);
  }

  pairway::ui::GuiSession session_;  // the host's application, which the library uses
  InstalledLibrary library_{root_};
  SETUP_PROCEDURE config_ = nullptr;
};

TEST_F(TrevanConfigTest, OkWithoutSaveAnswers99) {
  EXPECT_EQ(Call("0", [](CPropertySheet* sheet) { sheet->PressButton(IDOK); }), "99");
}

TEST_F(TrevanConfigTest, OkAfterChangesAnswers0AndWritesThem) {
  std::string result = Call("0", [](CPropertySheet* sheet) {
    AddPort(sheet, 2);
    sheet->PressButton(IDOK);
  });
  EXPECT_EQ(result, "0");
  ExpectPrimary(3, 10, "Group1");
}

TEST_F(TrevanConfigTest, CancelAfterApplyAnswers98AndKeepsTheApplied) {
  std::string result = Call("3", [](CPropertySheet* sheet) {
    AddPort(sheet, 2);
    sheet->PressButton(pairway::ui::ID_APPLY_NOW);
    AddPort(sheet, 0);
    sheet->PressButton(IDCANCEL);
  });
  EXPECT_EQ(result, "98");
  ExpectPrimary(3, 10, "Group1");
  ExpectStandalone(1);
}

TEST_F(TrevanConfigTest, CancelAfterAddressesWentAnswers98AndTheyStayGone) {
  GiveIpSettings(2);
  sink_.Answer(IDOK);
  std::string result = Call("0", [](CPropertySheet* sheet) {
    AddPort(sheet, 1);
    sheet->PressButton(IDCANCEL);
  });
  EXPECT_EQ(result, "98");
  EXPECT_FALSE(Has(TcpipKey(2), VAL_IP_ADDRESS));
  EXPECT_FALSE(Has(ParamsKey(2), VAL_LINK_CHECK_TIMEOUT)) << "the group itself was never saved";
}

}  // namespace
}  // namespace aggcfg_test
