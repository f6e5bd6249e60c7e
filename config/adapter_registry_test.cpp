#define AGGCFG_TEST_FIXTURE
#include "adapter_registry.h"

#include <gtest/gtest.h>

#include "test_hive.h"

namespace aggcfg_test {
namespace {

using AdapterRegistryTest = ConfigTest;

std::vector<std::string> Names(const CAdapterRegistry& model) {
  std::vector<std::string> names;
  for (const auto& entry : model.entries()) names.push_back(entry->m_instanceName);
  return names;
}

TEST_F(AdapterRegistryTest, ScanSkipsOtherDriversAndStopsOnceRefCountPortsAreFound) {
  SetRefCount(2);
  AddCard(1);
  AddCard(2, "OTHERNIC");
  AddCard(3);
  AddCard(4);
  auto model = LoadModel();
  ASSERT_EQ(Names(*model), (std::vector<std::string>{"TREVAN1", "TREVAN3"}));
  EXPECT_EQ(model->entries()[0]->m_cardNumber, 1);
  EXPECT_EQ(model->entries()[1]->m_cardNumber, 3);
  EXPECT_EQ(model->entries()[1]->m_serviceName, "TREVAN3");
  EXPECT_EQ(model->entries()[1]->m_manufacturer, "Corvane");
  EXPECT_EQ(model->entries()[1]->m_productName, "TREVAN");
}

TEST_F(AdapterRegistryTest, ProductNameIsComparedCaseSensitively) {
  SetRefCount(1);
  AddCard(1, "trevan");
  EXPECT_TRUE(LoadModel()->entries().empty());
}

TEST_F(AdapterRegistryTest, MissingSoftwareKeyOrRefCountGivesAnEmptyModel) {
  AddCard(1);
  auto model = LoadModel();
  EXPECT_TRUE(model->entries().empty());
  for (int i = 0; i < kAdapterIndexSlots; ++i) EXPECT_EQ(model->adapter_indexes()[i], 99);
  DWORD count = 7;
  EXPECT_EQ(model->GetRefCount(&count), 0);

  MakeKey(TREVAN_SOFTWARE_KEY);
  EXPECT_EQ(model->GetRefCount(&count), 1);
  EXPECT_EQ(count, 0u);
  EXPECT_TRUE(LoadModel()->entries().empty());
}

// More ports promised than the card list holds: the scan ends at the last card number the library
// can address and keeps what it found.
TEST_F(AdapterRegistryTest, RefCountAboveTheCardsFoundEndsAtTheHighestAddressableCard) {
  SetRefCount(5);
  AddCard(1);
  AddCard(2);
  AddCard(kMaxCardNumber + 1);
  EXPECT_EQ(Names(*LoadModel()), (std::vector<std::string>{"TREVAN1", "TREVAN2"}));
}

TEST_F(AdapterRegistryTest, CardWithoutServiceNameIsAnEntryWhoseValuesAreAllMissing) {
  SetRefCount(1);
  SetText(CardKey(1), VAL_PRODUCT_NAME, "TREVAN");
  auto model = LoadModel();
  ASSERT_EQ(model->entries().size(), 1u);
  EXPECT_EQ(model->entries()[0]->m_serviceName, "");
  EXPECT_EQ(model->entries()[0]->m_manufacturer, "");
  DWORD value = 5;
  EXPECT_EQ(model->GetParam(kRegAdapterIndex, "TREVAN1", &value), 0);
  model->SetParam(kRegConnectionType, "TREVAN1", 3);
  EXPECT_FALSE(Has(SERVICES_KEY "\\" PARAMETERS_SUBKEY, VAL_CONNECTION_TYPE));
  EXPECT_TRUE(sink_.boxes().empty());
}

TEST_F(AdapterRegistryTest, IndexTableListsUsedIndexesAscendingThenNinetyNines) {
  SetRefCount(3);
  for (int card = 1; card <= 3; ++card) AddCard(card);
  SetDword(ParamsKey(1), VAL_ADAPTER_INDEX, 2);
  SetDword(ParamsKey(2), VAL_ADAPTER_INDEX, 0);
  auto model = LoadModel();
  EXPECT_EQ(model->adapter_indexes()[0], 0);
  EXPECT_EQ(model->adapter_indexes()[1], 2);
  for (int i = 2; i < kAdapterIndexSlots; ++i) EXPECT_EQ(model->adapter_indexes()[i], 99) << i;
}

TEST_F(AdapterRegistryTest, DuplicateIndexesAreBothListed) {
  SetRefCount(2);
  AddCard(1);
  AddCard(2);
  SetDword(ParamsKey(1), VAL_ADAPTER_INDEX, 4);
  SetDword(ParamsKey(2), VAL_ADAPTER_INDEX, 4);
  auto model = LoadModel();
  EXPECT_EQ(model->adapter_indexes()[0], 4);
  EXPECT_EQ(model->adapter_indexes()[1], 4);
  EXPECT_EQ(model->adapter_indexes()[2], 99);
}

// Beyond 32 ports the table must still list every index from 0 to 31 that a port holds, or the
// next new port is given one of them again.
TEST_F(AdapterRegistryTest, MorePortsThanSlotsKeepEveryIndexInUse) {
  SetRefCount(35);
  for (int card = 1; card <= 35; ++card) AddCard(card);
  // Cards 1 and 2 have no index yet, 3 to 34 hold 0 to 31, card 35 holds the overflow 32.
  for (int card = 3; card <= 34; ++card) SetDword(ParamsKey(card), VAL_ADAPTER_INDEX, card - 3);
  SetDword(ParamsKey(35), VAL_ADAPTER_INDEX, 32);
  auto model = LoadModel();
  ASSERT_EQ(model->entries().size(), 35u);
  for (int i = 0; i < kAdapterIndexSlots; ++i) EXPECT_EQ(model->adapter_indexes()[i], i) << i;

  // Repeats and overflow indexes give way to the indexes that can still be handed out.
  SetDword(ParamsKey(35), VAL_ADAPTER_INDEX, 7);
  SetDword(ParamsKey(34), VAL_ADAPTER_INDEX, 7);  // 31 is no longer held
  model = LoadModel();
  for (int i = 0; i < kAdapterIndexSlots - 1; ++i) EXPECT_EQ(model->adapter_indexes()[i], i) << i;
  EXPECT_EQ(model->adapter_indexes()[31], kNoAdapterIndex);
}

TEST_F(AdapterRegistryTest, UnknownPortOrForeignIdReadsNothing) {
  SetRefCount(1);
  AddCard(1);
  SetDword(ParamsKey(1), VAL_CONNECTION_TYPE, 128);
  auto model = LoadModel();
  DWORD value = 77;
  EXPECT_EQ(model->GetParam(kRegConnectionType, "TREVAN9", &value), 0);
  EXPECT_EQ(model->GetParam(kRegConnectionType, "trevan1", &value), 0);
  EXPECT_EQ(model->GetParam(kRegGroupName, "TREVAN1", &value), 0);
  EXPECT_EQ(value, 77u);
  EXPECT_EQ(model->GetParam(kRegConnectionType, "TREVAN1", &value), 1);
  EXPECT_EQ(value, 128u);
  model->SetParam(kRegSlotNumber, "TREVAN1", 4);  // read-only for the library
  EXPECT_FALSE(Has(ParamsKey(1), VAL_SLOT_NUMBER));
}

TEST_F(AdapterRegistryTest, BindRulesAreBuiltFromTheEntryAndStoredWithTheirTerminator) {
  SetRefCount(1);
  AddCard(3);
  auto model = LoadModel();
  model->WriteNetRule(kRegBindForm, "TREVAN3");
  model->WriteNetRule(kRegClass, "TREVAN3");
  model->WriteNetRule(kRegType, "TREVAN3");
  auto bindform = Read(NetRulesKey(3), VAL_BINDFORM);
  ASSERT_TRUE(bindform);
  EXPECT_EQ(bindform->type, static_cast<DWORD>(REG_SZ));
  EXPECT_EQ(bindform->bytes, std::string("\"TREVAN3\" yes yes container\0", 28));
  EXPECT_EQ(Text(NetRulesKey(3), VAL_CLASS), "TREVANAdapter basic");
  EXPECT_EQ(Text(NetRulesKey(3), VAL_TYPE), "TREVAN TREVANAdapter");
  model->DeleteNetRule(kRegClass, "TREVAN3");
  EXPECT_FALSE(Has(NetRulesKey(3), VAL_CLASS));
  EXPECT_TRUE(Has(NetRulesKey(3), VAL_TYPE));
}

TEST_F(AdapterRegistryTest, IpAddressLongerThanTheReadBufferCountsAsNone) {
  SetRefCount(2);
  AddCard(1);
  AddCard(2);
  SetBytes(TcpipKey(1), VAL_IP_ADDRESS, REG_MULTI_SZ, std::string("10.1.1.1\0\0", 10));
  std::string many;
  for (int i = 0; i < 8; ++i) many += "192.168.100." + std::to_string(100 + i) + '\0';
  many += '\0';
  SetBytes(TcpipKey(2), VAL_IP_ADDRESS, REG_MULTI_SZ, many);
  auto model = LoadModel();
  DWORD ignored = 0;
  EXPECT_EQ(model->GetTcpipValue(kRegIpAddress, "TREVAN1", &ignored), 1);
  EXPECT_EQ(model->GetTcpipValue(kRegIpAddress, "TREVAN2", &ignored), 0);
}

TEST_F(AdapterRegistryTest, CardEntryIsNamedByTwoCharactersAfterTheProductName) {
  EXPECT_EQ(CAdapterRegistry::CardEntryPath("TREVAN12"), CardKey(12));
  EXPECT_EQ(CAdapterRegistry::CardEntryPath("TREVAN123"), CardKey(12));
  EXPECT_EQ(CAdapterRegistry::CardEntryPath("TREVAN7"), CardKey(7));
  EXPECT_EQ(CAdapterRegistry::CardEntryPath("TREVAN"), NETWORK_CARDS_KEY_SLASH);
}

TEST_F(AdapterRegistryTest, TitleOfCardTwelveIsReadAndWrittenInEntryTwelve) {
  SetRefCount(1);
  AddCard(12);
  SetText(CardKey(12), VAL_TITLE, "[12] Port");
  auto model = LoadModel();
  std::string title = "unchanged";
  model->GetTitle(kRegTitle, "TREVAN13", &title);
  EXPECT_EQ(title, "unchanged");
  model->GetTitle(kRegTitle, "TREVAN12", &title);
  EXPECT_EQ(title, "[12] Port");
  model->SetTitle(kRegTitle, "TREVAN12", "[12] Port <G>");
  EXPECT_EQ(Read(CardKey(12), VAL_TITLE)->bytes, std::string("[12] Port <G>\0", 14));
}

TEST_F(AdapterRegistryTest, GroupNameOfSixtyFourCharactersCountsAsMissing) {
  SetRefCount(2);
  AddCard(1);
  AddCard(2);
  SetText(ParamsKey(1), VAL_GROUP_NAME, std::string(63, 'a'));
  SetText(ParamsKey(2), VAL_GROUP_NAME, std::string(64, 'b'));
  auto model = LoadModel();
  std::string name = "none";
  EXPECT_EQ(model->GetGroupName(kRegGroupName, "TREVAN2", &name), 0);
  EXPECT_EQ(name, "none");
  EXPECT_EQ(model->GetGroupName(kRegGroupName, "TREVAN1", &name), 1);
  EXPECT_EQ(name, std::string(63, 'a'));
}

TEST_F(AdapterRegistryTest, TcpipValuesAreDeletedOneByOne) {
  SetRefCount(1);
  AddCard(1);
  GiveIpSettings(1);
  auto model = LoadModel();
  model->DeleteTcpipValue(kRegSubnetMask, "TREVAN1");
  model->DeleteTcpipValue(kRegTitle, "TREVAN1");  // not a TCP/IP value: ignored
  EXPECT_FALSE(Has(TcpipKey(1), VAL_SUBNET_MASK));
  EXPECT_TRUE(Has(TcpipKey(1), VAL_IP_ADDRESS));
  EXPECT_TRUE(Has(TcpipKey(1), VAL_DEFAULT_GATEWAY));
}

}  // namespace
}  // namespace aggcfg_test
