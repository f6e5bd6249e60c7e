/*
 * snmp.h: the SNMP extension-agent interface: ASN.1 value types, variable bindings, PDU and
 * error-status codes, the agent entry point types, and the SnmpUtil helpers that agents and the
 * SNMP service share.
 *
 * Field order and types follow the platform's layouts; sizes are this host's (pointers are 64-bit,
 * UINT and AsnInteger32 32-bit).
 *
 * Memory. Every block an agent hands to the service (the sub-identifiers of a name, the bytes of
 * an octet string with `dynamic` set) comes from SnmpUtilMemAlloc, which is GlobalAlloc with
 * GPTR: an agent may also allocate such blocks with GlobalAlloc directly, and the service frees
 * them with SnmpUtilMemFree (GlobalFree). A block the layer never handed out is not freed.
 */
#ifndef PAIRWAY_SNMP_H
#define PAIRWAY_SNMP_H

#include "windef.h"

PW_BEGIN_DECLS

/* ---- Values ---------------------------------------------------------------------------------- */

typedef struct {
  BYTE* stream;
  UINT length;
  BOOL dynamic; /* TRUE: the receiver frees stream with SnmpUtilMemFree */
} AsnOctetString;

typedef struct {
  UINT idLength;
  UINT* ids;
} AsnObjectIdentifier;

typedef LONG AsnInteger32;
typedef ULONG AsnUnsigned32;
typedef ULARGE_INTEGER AsnCounter64;
typedef AsnUnsigned32 AsnCounter32;
typedef AsnUnsigned32 AsnGauge32;
typedef AsnUnsigned32 AsnTimeticks;
typedef AsnOctetString AsnBits;
typedef AsnOctetString AsnSequence;
typedef AsnOctetString AsnImplicitSequence;
typedef AsnOctetString AsnIPAddress;
typedef AsnOctetString AsnNetworkAddress;
typedef AsnOctetString AsnDisplayString;
typedef AsnOctetString AsnOpaque;

/* SNMPv1 names of the same types. */
typedef AsnInteger32 AsnInteger;
typedef AsnCounter32 AsnCounter;
typedef AsnGauge32 AsnGauge;

typedef struct {
  BYTE asnType; /* one of the ASN_* tags below */
  union {
    AsnInteger32 number;
    AsnUnsigned32 unsigned32;
    AsnCounter64 counter64;
    AsnOctetString string;
    AsnBits bits;
    AsnObjectIdentifier object;
    AsnSequence sequence;
    AsnIPAddress address;
    AsnCounter32 counter;
    AsnGauge32 gauge;
    AsnTimeticks ticks;
    AsnOpaque arbitrary;
  } asnValue;
} AsnAny;

typedef AsnObjectIdentifier AsnObjectName;
typedef AsnAny AsnObjectSyntax;

typedef struct {
  AsnObjectName name;
  AsnObjectSyntax value;
} SnmpVarBind;

typedef struct {
  SnmpVarBind* list;
  UINT len;
} SnmpVarBindList;

typedef SnmpVarBind RFC1157VarBind;
typedef SnmpVarBindList RFC1157VarBindList;

/* ---- Tags and codes -------------------------------------------------------------------------- */

#define ASN_UNIVERSAL 0x00
#define ASN_APPLICATION 0x40
#define ASN_CONTEXT 0x80
#define ASN_PRIVATE 0xC0
#define ASN_PRIMITIVE 0x00
#define ASN_CONSTRUCTOR 0x20

#define ASN_INTEGER (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x02)
#define ASN_INTEGER32 ASN_INTEGER
#define ASN_BITS (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x03)
#define ASN_OCTETSTRING (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x04)
#define ASN_NULL (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x05)
#define ASN_OBJECTIDENTIFIER (ASN_UNIVERSAL | ASN_PRIMITIVE | 0x06)
#define ASN_SEQUENCE (ASN_UNIVERSAL | ASN_CONSTRUCTOR | 0x10)
#define ASN_SEQUENCEOF ASN_SEQUENCE
#define ASN_IPADDRESS (ASN_APPLICATION | ASN_PRIMITIVE | 0x00)
#define ASN_COUNTER32 (ASN_APPLICATION | ASN_PRIMITIVE | 0x01)
#define ASN_GAUGE32 (ASN_APPLICATION | ASN_PRIMITIVE | 0x02)
#define ASN_TIMETICKS (ASN_APPLICATION | ASN_PRIMITIVE | 0x03)
#define ASN_OPAQUE (ASN_APPLICATION | ASN_PRIMITIVE | 0x04)
#define ASN_COUNTER64 (ASN_APPLICATION | ASN_PRIMITIVE | 0x06)
#define ASN_UNSIGNED32 (ASN_APPLICATION | ASN_PRIMITIVE | 0x07)

/* SNMPv1 names. */
#define ASN_RFC1155_IPADDRESS ASN_IPADDRESS
#define ASN_RFC1155_COUNTER ASN_COUNTER32
#define ASN_RFC1155_GAUGE ASN_GAUGE32
#define ASN_RFC1155_TIMETICKS ASN_TIMETICKS
#define ASN_RFC1155_OPAQUE ASN_OPAQUE
#define ASN_RFC1213_DISPSTRING ASN_OCTETSTRING

/* Varbind values that say why there is no value (SNMPv2 exceptions). */
#define SNMP_EXCEPTION_NOSUCHOBJECT (ASN_CONTEXT | ASN_PRIMITIVE | 0x00)
#define SNMP_EXCEPTION_NOSUCHINSTANCE (ASN_CONTEXT | ASN_PRIMITIVE | 0x01)
#define SNMP_EXCEPTION_ENDOFMIBVIEW (ASN_CONTEXT | ASN_PRIMITIVE | 0x02)

#define SNMP_PDU_GET (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x00)
#define SNMP_PDU_GETNEXT (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x01)
#define SNMP_PDU_RESPONSE (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x02)
#define SNMP_PDU_SET (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x03)
#define SNMP_PDU_V1TRAP (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x04)
#define SNMP_PDU_GETBULK (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x05)
#define SNMP_PDU_INFORM (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x06)
#define SNMP_PDU_TRAP (ASN_CONTEXT | ASN_CONSTRUCTOR | 0x07)

#define ASN_RFC1157_GETREQUEST SNMP_PDU_GET
#define ASN_RFC1157_GETNEXTREQUEST SNMP_PDU_GETNEXT
#define ASN_RFC1157_GETRESPONSE SNMP_PDU_RESPONSE
#define ASN_RFC1157_SETREQUEST SNMP_PDU_SET
#define ASN_RFC1157_TRAP SNMP_PDU_V1TRAP

#define SNMP_ERRORSTATUS_NOERROR 0
#define SNMP_ERRORSTATUS_TOOBIG 1
#define SNMP_ERRORSTATUS_NOSUCHNAME 2
#define SNMP_ERRORSTATUS_BADVALUE 3
#define SNMP_ERRORSTATUS_READONLY 4
#define SNMP_ERRORSTATUS_GENERR 5
#define SNMP_ERRORSTATUS_NOACCESS 6
#define SNMP_ERRORSTATUS_WRONGTYPE 7
#define SNMP_ERRORSTATUS_WRONGLENGTH 8
#define SNMP_ERRORSTATUS_WRONGENCODING 9
#define SNMP_ERRORSTATUS_WRONGVALUE 10
#define SNMP_ERRORSTATUS_NOCREATION 11
#define SNMP_ERRORSTATUS_INCONSISTENTVALUE 12
#define SNMP_ERRORSTATUS_RESOURCEUNAVAILABLE 13
#define SNMP_ERRORSTATUS_COMMITFAILED 14
#define SNMP_ERRORSTATUS_UNDOFAILED 15
#define SNMP_ERRORSTATUS_AUTHORIZATIONERROR 16
#define SNMP_ERRORSTATUS_NOTWRITABLE 17
#define SNMP_ERRORSTATUS_INCONSISTENTNAME 18

#define SNMP_GENERICTRAP_COLDSTART 0
#define SNMP_GENERICTRAP_WARMSTART 1
#define SNMP_GENERICTRAP_LINKDOWN 2
#define SNMP_GENERICTRAP_LINKUP 3
#define SNMP_GENERICTRAP_AUTHFAILURE 4
#define SNMP_GENERICTRAP_EGPNEIGHLOSS 5
#define SNMP_GENERICTRAP_ENTERSPECIFIC 6

/* ---- Agent entry points ---------------------------------------------------------------------- */

#define SNMP_FUNC_TYPE WINAPI

/* What an extension agent exports under the names SnmpExtensionInit, SnmpExtensionQuery and
 * SnmpExtensionTrap. Init reports the agent's view in *pFirstSupportedRegion (a name the agent
 * keeps owning) and a trap event (or NULL); Query answers the bindings in place. */
typedef BOOL(SNMP_FUNC_TYPE* PFNSNMPEXTENSIONINIT)(DWORD dwUpTimeReference,
                                                   HANDLE* phSubagentTrapEvent,
                                                   AsnObjectIdentifier* pFirstSupportedRegion);
typedef BOOL(SNMP_FUNC_TYPE* PFNSNMPEXTENSIONQUERY)(BYTE bPduType, SnmpVarBindList* pVarBindList,
                                                    AsnInteger32* pErrorStatus,
                                                    AsnInteger32* pErrorIndex);
typedef BOOL(SNMP_FUNC_TYPE* PFNSNMPEXTENSIONTRAP)(AsnObjectIdentifier* pEnterpriseOid,
                                                   AsnInteger32* pGenericTrapId,
                                                   AsnInteger32* pSpecificTrapId,
                                                   AsnTimeticks* pTimeStamp,
                                                   SnmpVarBindList* pVarBindList);

/* ---- Helpers --------------------------------------------------------------------------------- */

typedef INT SNMPAPI;
#define SNMPAPI_NOERROR TRUE
#define SNMPAPI_ERROR FALSE
#define SNMP_API WINBASEAPI

/* A zero-filled block (GlobalAlloc with GPTR); NULL with ERROR_NOT_ENOUGH_MEMORY. A request for
 * 0 bytes still gives a unique block. */
SNMP_API LPVOID SNMP_FUNC_TYPE SnmpUtilMemAlloc(UINT nBytes);
/* Frees a block of SnmpUtilMemAlloc or GlobalAlloc; NULL and foreign pointers are left alone. */
SNMP_API VOID SNMP_FUNC_TYPE SnmpUtilMemFree(LPVOID pMem);
/* Grows or shrinks a block, keeping its bytes (new bytes are zero); pMem NULL allocates. NULL on
 * failure, and then pMem stays valid and unchanged. */
SNMP_API LPVOID SNMP_FUNC_TYPE SnmpUtilMemReAlloc(LPVOID pMem, UINT nBytes);

/* Makes *pOidDst a copy of *pOidSrc with its own sub-identifier array (none when the source is
 * empty). SNMPAPI_ERROR with ERROR_INVALID_PARAMETER for a NULL argument or a source that claims
 * sub-identifiers but has no array, ERROR_NOT_ENOUGH_MEMORY when the copy cannot be allocated;
 * the destination is then { 0, NULL }. The destination's old array is not freed. */
SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilOidCpy(AsnObjectIdentifier* pOidDst,
                                               AsnObjectIdentifier* pOidSrc);
/* Appends the sub-identifiers of *pOidSrc to *pOidDst, whose array must come from the helpers.
 * On failure (bad arguments, no memory, a length that would overflow) *pOidDst is unchanged. */
SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilOidAppend(AsnObjectIdentifier* pOidDst,
                                                  AsnObjectIdentifier* pOidSrc);
/* Compares the first nSubIds sub-identifiers as unsigned numbers: negative, zero or positive as
 * *pOid1 sorts before, with or after *pOid2. Where one name ends first within nSubIds, it is the
 * smaller. The result is always -1, 0 or 1, so 4294967295 sorts after 0. */
SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilOidNCmp(AsnObjectIdentifier* pOid1,
                                                AsnObjectIdentifier* pOid2, UINT nSubIds);
/* The same over the whole names. */
SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilOidCmp(AsnObjectIdentifier* pOid1,
                                               AsnObjectIdentifier* pOid2);
/* Frees the sub-identifier array and leaves { 0, NULL }. NULL is ignored. */
SNMP_API VOID SNMP_FUNC_TYPE SnmpUtilOidFree(AsnObjectIdentifier* pOid);

/* Copies an octet string into a new block (dynamic set); an empty source gives { NULL, 0, FALSE }.
 */
SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilOctetsCpy(AsnOctetString* pOctetsDst,
                                                  AsnOctetString* pOctetsSrc);
/* Frees the bytes when `dynamic` is set; leaves { NULL, 0, FALSE }. */
SNMP_API VOID SNMP_FUNC_TYPE SnmpUtilOctetsFree(AsnOctetString* pOctets);

/* Deep copy of a value (strings and names get blocks of their own). */
SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilAsnAnyCpy(AsnAny* pAnyDst, AsnAny* pAnySrc);
/* Frees what a value owns (dynamic strings, names) and leaves it ASN_NULL. */
SNMP_API VOID SNMP_FUNC_TYPE SnmpUtilAsnAnyFree(AsnAny* pAny);

SNMP_API SNMPAPI SNMP_FUNC_TYPE SnmpUtilVarBindCpy(SnmpVarBind* pVbDst, SnmpVarBind* pVbSrc);
/* Frees the binding's name and value. */
SNMP_API VOID SNMP_FUNC_TYPE SnmpUtilVarBindFree(SnmpVarBind* pVb);
/* Frees every binding, then the array itself (a helper block); leaves { NULL, 0 }. */
SNMP_API VOID SNMP_FUNC_TYPE SnmpUtilVarBindListFree(SnmpVarBindList* pVbl);

PW_END_DECLS

#endif /* PAIRWAY_SNMP_H */
