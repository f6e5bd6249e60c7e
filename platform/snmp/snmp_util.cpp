// The SnmpUtil helpers: memory, names, octet strings, values and bindings.
//
// Every block here comes from GlobalAlloc, so that an agent's GlobalAlloc'd strings and names
// and the helpers' own blocks are one kind: whoever holds a binding frees it with the helpers,
// whichever module made it. GlobalFree refuses pointers it never handed out, so a binding that
// carries a static array by mistake costs a failed free, not a corrupted heap.
#include <snmp.h>
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <limits>

namespace {

bool IsOctetType(BYTE type) {
  switch (type) {
    case ASN_OCTETSTRING:
    case ASN_BITS:
    case ASN_SEQUENCE:
    case ASN_IPADDRESS:
    case ASN_OPAQUE:
      return true;
    default:
      return false;
  }
}

SNMPAPI Fail(DWORD error) {
  SetLastError(error);
  return SNMPAPI_ERROR;
}

}  // namespace

extern "C" {

LPVOID WINAPI SnmpUtilMemAlloc(UINT nBytes) { return GlobalAlloc(GPTR, nBytes); }

VOID WINAPI SnmpUtilMemFree(LPVOID pMem) {
  if (pMem != nullptr) GlobalFree(pMem);
}

LPVOID WINAPI SnmpUtilMemReAlloc(LPVOID pMem, UINT nBytes) {
  void* block = GlobalAlloc(GPTR, nBytes);
  if (block == nullptr || pMem == nullptr) return block;
  std::memcpy(block, pMem, std::min<SIZE_T>(GlobalSize(pMem), nBytes));
  GlobalFree(pMem);
  return block;
}

SNMPAPI WINAPI SnmpUtilOidCpy(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc) {
  if (pOidDst == nullptr || pOidSrc == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const UINT length = pOidSrc->idLength;
  UINT* const source = pOidSrc->ids;
  pOidDst->idLength = 0;
  pOidDst->ids = nullptr;
  if (length == 0) return SNMPAPI_NOERROR;
  if (source == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (length > std::numeric_limits<UINT>::max() / sizeof(UINT))
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(length * sizeof(UINT)));
  if (ids == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  std::memcpy(ids, source, length * sizeof(UINT));
  pOidDst->ids = ids;
  pOidDst->idLength = length;
  return SNMPAPI_NOERROR;
}

SNMPAPI WINAPI SnmpUtilOidAppend(AsnObjectIdentifier* pOidDst, AsnObjectIdentifier* pOidSrc) {
  if (pOidDst == nullptr || pOidSrc == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  if (pOidSrc->idLength == 0) return SNMPAPI_NOERROR;
  if (pOidSrc->ids == nullptr || (pOidDst->idLength != 0 && pOidDst->ids == nullptr))
    return Fail(ERROR_INVALID_PARAMETER);
  const UINT limit = std::numeric_limits<UINT>::max() / sizeof(UINT);
  if (pOidSrc->idLength > limit || pOidDst->idLength > limit - pOidSrc->idLength)
    return Fail(ERROR_NOT_ENOUGH_MEMORY);
  const UINT length = pOidDst->idLength + pOidSrc->idLength;
  // A fresh array, so that appending a name to itself reads the source before it is freed.
  auto* ids = static_cast<UINT*>(SnmpUtilMemAlloc(length * sizeof(UINT)));
  if (ids == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  if (pOidDst->idLength != 0) std::memcpy(ids, pOidDst->ids, pOidDst->idLength * sizeof(UINT));
  std::memcpy(ids + pOidDst->idLength, pOidSrc->ids, pOidSrc->idLength * sizeof(UINT));
  SnmpUtilMemFree(pOidDst->ids);
  pOidDst->ids = ids;
  pOidDst->idLength = length;
  return SNMPAPI_NOERROR;
}

SNMPAPI WINAPI SnmpUtilOidNCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2,
                               UINT nSubIds) {
  if (pOid1 == nullptr || pOid2 == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  // A name without an array holds no sub-identifiers, whatever its count says.
  const UINT length1 = pOid1->ids == nullptr ? 0 : std::min(pOid1->idLength, nSubIds);
  const UINT length2 = pOid2->ids == nullptr ? 0 : std::min(pOid2->idLength, nSubIds);
  const UINT common = std::min(length1, length2);
  for (UINT i = 0; i < common; ++i) {
    if (pOid1->ids[i] != pOid2->ids[i]) return pOid1->ids[i] < pOid2->ids[i] ? -1 : 1;
  }
  if (length1 == length2) return 0;
  return length1 < length2 ? -1 : 1;
}

SNMPAPI WINAPI SnmpUtilOidCmp(AsnObjectIdentifier* pOid1, AsnObjectIdentifier* pOid2) {
  if (pOid1 == nullptr || pOid2 == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  return SnmpUtilOidNCmp(pOid1, pOid2, std::max(pOid1->idLength, pOid2->idLength));
}

VOID WINAPI SnmpUtilOidFree(AsnObjectIdentifier* pOid) {
  if (pOid == nullptr) return;
  SnmpUtilMemFree(pOid->ids);
  pOid->ids = nullptr;
  pOid->idLength = 0;
}

SNMPAPI WINAPI SnmpUtilOctetsCpy(AsnOctetString* pOctetsDst, AsnOctetString* pOctetsSrc) {
  if (pOctetsDst == nullptr || pOctetsSrc == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const UINT length = pOctetsSrc->length;
  BYTE* const source = pOctetsSrc->stream;
  *pOctetsDst = AsnOctetString{nullptr, 0, FALSE};
  if (length == 0) return SNMPAPI_NOERROR;
  if (source == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  auto* bytes = static_cast<BYTE*>(SnmpUtilMemAlloc(length));
  if (bytes == nullptr) return Fail(ERROR_NOT_ENOUGH_MEMORY);
  std::memcpy(bytes, source, length);
  *pOctetsDst = AsnOctetString{bytes, length, TRUE};
  return SNMPAPI_NOERROR;
}

VOID WINAPI SnmpUtilOctetsFree(AsnOctetString* pOctets) {
  if (pOctets == nullptr) return;
  if (pOctets->dynamic) SnmpUtilMemFree(pOctets->stream);
  *pOctets = AsnOctetString{nullptr, 0, FALSE};
}

SNMPAPI WINAPI SnmpUtilAsnAnyCpy(AsnAny* pAnyDst, AsnAny* pAnySrc) {
  if (pAnyDst == nullptr || pAnySrc == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  const AsnAny source = *pAnySrc;
  *pAnyDst = source;
  if (source.asnType == ASN_OBJECTIDENTIFIER) {
    AsnObjectIdentifier name = source.asnValue.object;
    if (!SnmpUtilOidCpy(&pAnyDst->asnValue.object, &name)) {
      pAnyDst->asnType = ASN_NULL;
      return SNMPAPI_ERROR;
    }
  } else if (IsOctetType(source.asnType)) {
    AsnOctetString bytes = source.asnValue.string;
    if (!SnmpUtilOctetsCpy(&pAnyDst->asnValue.string, &bytes)) {
      pAnyDst->asnType = ASN_NULL;
      return SNMPAPI_ERROR;
    }
  }
  return SNMPAPI_NOERROR;
}

VOID WINAPI SnmpUtilAsnAnyFree(AsnAny* pAny) {
  if (pAny == nullptr) return;
  if (pAny->asnType == ASN_OBJECTIDENTIFIER) {
    SnmpUtilOidFree(&pAny->asnValue.object);
  } else if (IsOctetType(pAny->asnType)) {
    SnmpUtilOctetsFree(&pAny->asnValue.string);
  }
  pAny->asnType = ASN_NULL;
}

SNMPAPI WINAPI SnmpUtilVarBindCpy(SnmpVarBind* pVbDst, SnmpVarBind* pVbSrc) {
  if (pVbDst == nullptr || pVbSrc == nullptr) return Fail(ERROR_INVALID_PARAMETER);
  SnmpVarBind copy{};
  if (!SnmpUtilOidCpy(&copy.name, &pVbSrc->name)) return SNMPAPI_ERROR;
  if (!SnmpUtilAsnAnyCpy(&copy.value, &pVbSrc->value)) {
    SnmpUtilOidFree(&copy.name);
    return SNMPAPI_ERROR;
  }
  *pVbDst = copy;
  return SNMPAPI_NOERROR;
}

VOID WINAPI SnmpUtilVarBindFree(SnmpVarBind* pVb) {
  if (pVb == nullptr) return;
  SnmpUtilOidFree(&pVb->name);
  SnmpUtilAsnAnyFree(&pVb->value);
}

VOID WINAPI SnmpUtilVarBindListFree(SnmpVarBindList* pVbl) {
  if (pVbl == nullptr) return;
  if (pVbl->list != nullptr) {
    for (UINT i = 0; i < pVbl->len; ++i) SnmpUtilVarBindFree(&pVbl->list[i]);
    SnmpUtilMemFree(pVbl->list);
  }
  pVbl->list = nullptr;
  pVbl->len = 0;
}

}  // extern "C"
