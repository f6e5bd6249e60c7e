#define AGGCFG_TEST_FIXTURE
#include "new_ports_editor.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "test_hive.h"

namespace aggcfg_test {
namespace {

using NewPortsEditorTest = ConfigTest;

TEST_F(NewPortsEditorTest, NewPortsTakeTheSmallestFreeIndexesAndGetTheirBindRules) {
  SetRefCount(5);
  for (int card = 1; card <= 5; ++card) AddCard(card);
  SetDword(ParamsKey(1), VAL_ADAPTER_INDEX, 0);
  SetDword(ParamsKey(2), VAL_ADAPTER_INDEX, 3);
  SetDword(ParamsKey(3), VAL_ADAPTER_INDEX, 1);
  SetDword(ParamsKey(1), VAL_CONNECTION_TYPE, 3);
  SetDword(ParamsKey(2), VAL_CONNECTION_TYPE, 3);
  SetDword(ParamsKey(3), VAL_CONNECTION_TYPE, 3);
  auto model = LoadModel();
  theApp.LoadUntypedPorts();
  CNewPortsEditor editor(&theApp);
  editor.Start();
  EXPECT_EQ(editor.Save(), 1);
  EXPECT_EQ(Dword(ParamsKey(4), VAL_ADAPTER_INDEX), 2u);
  EXPECT_EQ(Dword(ParamsKey(5), VAL_ADAPTER_INDEX), 4u);
  EXPECT_EQ(Dword(ParamsKey(4), VAL_CONNECTION_TYPE), 8u);
  EXPECT_EQ(Text(NetRulesKey(5), VAL_BINDFORM), "\"TREVAN5\" yes yes container");
  EXPECT_EQ(Text(NetRulesKey(5), VAL_TYPE), "TREVAN TREVANAdapter");
  // The ports that had an index keep it and their (absent) bind rules.
  EXPECT_EQ(Dword(ParamsKey(2), VAL_ADAPTER_INDEX), 3u);
  EXPECT_FALSE(Has(NetRulesKey(2), VAL_BINDFORM));
}

TEST_F(NewPortsEditorTest, IndexesRunOutAt32AndRepeatedOnesAreNotLost) {
  SetRefCount(32);
  for (int card = 1; card <= 32; ++card) {
    AddCard(card);
    SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
  }
  auto model = LoadModel();
  CNewPortsEditor editor(&theApp);
  EXPECT_EQ(editor.NextFreeAdapterIndex(), 32);
  EXPECT_EQ(editor.NextFreeAdapterIndex(), 32);

  // A full table with index 5 held twice and 7 by nobody: 7 is handed out once, and the other
  // indexes stay known as used.
  int* table = model->adapter_indexes();
  for (int slot = 0; slot < kAdapterIndexSlots; ++slot) table[slot] = slot == 7 ? 5 : slot;
  std::sort(table, table + kAdapterIndexSlots);
  EXPECT_EQ(editor.NextFreeAdapterIndex(), 7);
  EXPECT_EQ(editor.NextFreeAdapterIndex(), 32);
}

// Ports beyond the 32nd: whatever their order in the card list, no index from 0 to 31 is given
// twice, and once all are held every further port gets 32.
TEST_F(NewPortsEditorTest, SavedIndexesStayUniqueBeyondThirtyTwoPorts) {
  constexpr int kCards = 40;
  SetRefCount(kCards);
  for (int card = 1; card <= kCards; ++card) AddCard(card);
  // Cards 1 to 20 hold 0 to 19; cards 21 to 40 are new.
  for (int card = 1; card <= 20; ++card) {
    SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 1);
    SetDword(ParamsKey(card), VAL_CONNECTION_TYPE, 3);
  }
  auto model = LoadModel();
  theApp.LoadUntypedPorts();
  ASSERT_EQ(theApp.m_standalonePorts.size(), 20u);
  CNewPortsEditor editor(&theApp);
  editor.Start();
  ASSERT_EQ(editor.Save(), 1);

  std::vector<int> holders(ADAPTER_INDEX_COUNT + 1, 0);
  for (int card = 1; card <= kCards; ++card) {
    auto index = Dword(ParamsKey(card), VAL_ADAPTER_INDEX);
    ASSERT_TRUE(index.has_value()) << card;
    ASSERT_LE(*index, static_cast<DWORD>(ADAPTER_INDEX_COUNT)) << card;
    holders[*index]++;
  }
  for (int index = 0; index < ADAPTER_INDEX_COUNT; ++index) EXPECT_EQ(holders[index], 1) << index;
  EXPECT_EQ(holders[ADAPTER_INDEX_COUNT], kCards - ADAPTER_INDEX_COUNT);

  // A later save, by a fresh model as every call makes one: the next new port gets 32 as well.
  SetRefCount(kCards + 1);
  AddCard(kCards + 1);
  model = LoadModel();
  theApp.FreeStandalonePorts();
  theApp.LoadUntypedPorts();
  CNewPortsEditor later(&theApp);
  later.Start();
  ASSERT_EQ(later.Save(), 1);
  EXPECT_EQ(Dword(ParamsKey(kCards + 1), VAL_ADAPTER_INDEX),
            static_cast<DWORD>(ADAPTER_INDEX_COUNT));
}

TEST_F(NewPortsEditorTest, RowsPadTheirColumnsAndNameTheirPort) {
  StandalonePortRecord record;
  record.m_name = "TREVAN12";
  record.m_busText = "0";
  record.m_slotText = "Error";
  const std::string row = CNewPortsEditor::BuildRow(record, "THIN");
  EXPECT_EQ(row.size(), kRowNameWidth + kRowTypeWidth + kRowBusWidth + 5);
  EXPECT_EQ(row.substr(kRowNameWidth, 5), "THIN ");
  EXPECT_EQ(CNewPortsEditor::RowInstanceName(row), "TREVAN12");
  record.m_name = "TREVAN7";
  EXPECT_EQ(CNewPortsEditor::RowInstanceName(CNewPortsEditor::BuildRow(record, "")), "TREVAN7");
  EXPECT_EQ(CNewPortsEditor::RowInstanceName("TREVAN123"), "TREVAN12");
}

}  // namespace
}  // namespace aggcfg_test
