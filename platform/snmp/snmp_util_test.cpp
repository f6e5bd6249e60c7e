#include <snmp.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A name that borrows `ids`; never passed to a free.
AsnObjectIdentifier Borrow(std::vector<UINT>& ids) {
  return AsnObjectIdentifier{static_cast<UINT>(ids.size()), ids.empty() ? nullptr : ids.data()};
}

TEST(SnmpOid, CopyOwnsItsArrayAndEmptyCopiesHaveNone) {
  std::vector<UINT> ids{1, 3, 6, 1, 4, 1};
  AsnObjectIdentifier source = Borrow(ids);
  AsnObjectIdentifier copy{};
  ASSERT_EQ(SnmpUtilOidCpy(&copy, &source), SNMPAPI_NOERROR);
  ASSERT_EQ(copy.idLength, 6u);
  EXPECT_NE(copy.ids, ids.data());
  EXPECT_EQ(SnmpUtilOidCmp(&copy, &source), 0);
  EXPECT_EQ(GlobalSize(copy.ids), 6 * sizeof(UINT));  // a GlobalAlloc block the service may free
  SnmpUtilOidFree(&copy);
  EXPECT_EQ(copy.idLength, 0u);
  EXPECT_EQ(copy.ids, nullptr);
  SnmpUtilOidFree(&copy);  // freeing an empty name twice is harmless

  AsnObjectIdentifier empty{0, nullptr};
  copy = AsnObjectIdentifier{9, reinterpret_cast<UINT*>(&ids)};
  ASSERT_EQ(SnmpUtilOidCpy(&copy, &empty), SNMPAPI_NOERROR);
  EXPECT_EQ(copy.idLength, 0u);
  EXPECT_EQ(copy.ids, nullptr);
}

TEST(SnmpOid, CopyRefusesACountWithoutArray) {
  AsnObjectIdentifier broken{4, nullptr};
  AsnObjectIdentifier copy{};
  EXPECT_EQ(SnmpUtilOidCpy(&copy, &broken), SNMPAPI_ERROR);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(copy.idLength, 0u);
  EXPECT_EQ(copy.ids, nullptr);
  EXPECT_EQ(SnmpUtilOidCpy(nullptr, &broken), SNMPAPI_ERROR);
}

TEST(SnmpOid, AppendJoinsNamesAndMayAppendANameToItself) {
  std::vector<UINT> prefix{1, 3, 6}, suffix{4, 1};
  AsnObjectIdentifier name{};
  AsnObjectIdentifier p = Borrow(prefix), s = Borrow(suffix);
  ASSERT_EQ(SnmpUtilOidCpy(&name, &p), SNMPAPI_NOERROR);
  ASSERT_EQ(SnmpUtilOidAppend(&name, &s), SNMPAPI_NOERROR);
  std::vector<UINT> joined{1, 3, 6, 4, 1};
  AsnObjectIdentifier expected = Borrow(joined);
  EXPECT_EQ(SnmpUtilOidCmp(&name, &expected), 0);

  ASSERT_EQ(SnmpUtilOidAppend(&name, &name), SNMPAPI_NOERROR);
  ASSERT_EQ(name.idLength, 10u);
  EXPECT_EQ(name.ids[5], 1u);
  EXPECT_EQ(name.ids[9], 1u);
  SnmpUtilOidFree(&name);

  AsnObjectIdentifier empty{0, nullptr};
  ASSERT_EQ(SnmpUtilOidAppend(&empty, &s), SNMPAPI_NOERROR);  // an empty name grows too
  EXPECT_EQ(empty.idLength, 2u);
  SnmpUtilOidFree(&empty);
}

TEST(SnmpOid, AppendThatWouldOverflowTheCountFailsAndKeepsTheName) {
  std::vector<UINT> ids{1, 2};
  AsnObjectIdentifier name{};
  AsnObjectIdentifier source = Borrow(ids);
  ASSERT_EQ(SnmpUtilOidCpy(&name, &source), SNMPAPI_NOERROR);
  AsnObjectIdentifier huge{0xFFFFFFFFu, ids.data()};
  EXPECT_EQ(SnmpUtilOidAppend(&name, &huge), SNMPAPI_ERROR);
  EXPECT_EQ(name.idLength, 2u);
  EXPECT_EQ(name.ids[1], 2u);
  SnmpUtilOidFree(&name);
}

TEST(SnmpOid, ComparisonIsUnsignedAndShorterPrefixesSortFirst) {
  std::vector<UINT> zero{1, 0}, max{1, 0xFFFFFFFFu}, prefix{1}, longer{1, 0, 0};
  AsnObjectIdentifier a = Borrow(zero), b = Borrow(max), c = Borrow(prefix), d = Borrow(longer);
  EXPECT_EQ(SnmpUtilOidCmp(&a, &b), -1);
  EXPECT_EQ(SnmpUtilOidCmp(&b, &a), 1);
  EXPECT_EQ(SnmpUtilOidCmp(&c, &a), -1);
  EXPECT_EQ(SnmpUtilOidCmp(&d, &a), 1);
  EXPECT_EQ(SnmpUtilOidCmp(&a, &a), 0);
  // Only the first n sub-identifiers count.
  EXPECT_EQ(SnmpUtilOidNCmp(&a, &b, 1), 0);
  EXPECT_EQ(SnmpUtilOidNCmp(&a, &d, 2), 0);
  EXPECT_EQ(SnmpUtilOidNCmp(&a, &d, 3), -1);
  EXPECT_EQ(SnmpUtilOidNCmp(&a, &b, 0), 0);
  AsnObjectIdentifier hollow{5, nullptr};  // a count without array holds nothing
  EXPECT_EQ(SnmpUtilOidCmp(&hollow, &c), -1);
}

TEST(SnmpBindings, ListFreeReleasesNamesDynamicStringsAndTheArray) {
  SnmpVarBindList list{};
  list.len = 3;
  list.list = static_cast<SnmpVarBind*>(SnmpUtilMemAlloc(3 * sizeof(SnmpVarBind)));
  ASSERT_NE(list.list, nullptr);
  std::vector<UINT> ids{1, 3, 6, 1};
  AsnObjectIdentifier name = Borrow(ids);
  for (UINT i = 0; i < 3; ++i) ASSERT_EQ(SnmpUtilOidCpy(&list.list[i].name, &name), 1);

  auto* text = static_cast<BYTE*>(GlobalAlloc(GPTR, 5));  // as an agent allocates its strings
  std::memcpy(text, "hello", 5);
  list.list[0].value.asnType = ASN_OCTETSTRING;
  list.list[0].value.asnValue.string = AsnOctetString{text, 5, TRUE};
  static BYTE constant[] = {'x'};  // a string the agent keeps: not freed
  list.list[1].value.asnType = ASN_OCTETSTRING;
  list.list[1].value.asnValue.string = AsnOctetString{constant, 1, FALSE};
  list.list[2].value.asnType = ASN_OBJECTIDENTIFIER;
  ASSERT_EQ(SnmpUtilOidCpy(&list.list[2].value.asnValue.object, &name), 1);

  SnmpUtilVarBindListFree(&list);
  EXPECT_EQ(list.list, nullptr);
  EXPECT_EQ(list.len, 0u);
  EXPECT_EQ(GlobalFree(text), text);  // already freed by the list free
  EXPECT_EQ(constant[0], 'x');
}

TEST(SnmpBindings, CopyIsDeepAndFreeLeavesANullValue) {
  std::vector<UINT> ids{1, 3};
  SnmpVarBind source{};
  source.name = Borrow(ids);
  static BYTE bytes[] = {1, 2, 3};
  source.value.asnType = ASN_OCTETSTRING;
  source.value.asnValue.string = AsnOctetString{bytes, 3, FALSE};
  SnmpVarBind copy{};
  ASSERT_EQ(SnmpUtilVarBindCpy(&copy, &source), SNMPAPI_NOERROR);
  EXPECT_NE(copy.name.ids, ids.data());
  EXPECT_NE(copy.value.asnValue.string.stream, bytes);
  EXPECT_TRUE(copy.value.asnValue.string.dynamic);
  EXPECT_EQ(copy.value.asnValue.string.stream[2], 3);
  SnmpUtilVarBindFree(&copy);
  EXPECT_EQ(copy.value.asnType, ASN_NULL);
  EXPECT_EQ(copy.name.ids, nullptr);
}

TEST(SnmpMemory, ReAllocKeepsBytesAndZeroesTheRest) {
  auto* block = static_cast<BYTE*>(SnmpUtilMemAlloc(2));
  ASSERT_NE(block, nullptr);
  block[0] = 7;
  block[1] = 9;
  auto* grown = static_cast<BYTE*>(SnmpUtilMemReAlloc(block, 4));
  ASSERT_NE(grown, nullptr);
  EXPECT_EQ(grown[0], 7);
  EXPECT_EQ(grown[1], 9);
  EXPECT_EQ(grown[3], 0);
  SnmpUtilMemFree(grown);
  SnmpUtilMemFree(nullptr);
}

}  // namespace
