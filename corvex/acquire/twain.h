// The TWAIN 1.x protocol as seen by an application: the types, structures and constants that pass
// through DSM_Entry when choosing a source, negotiating capabilities and transferring images, with
// the binary layout a source manager on 64-bit Linux expects.
//
// Layout: every structure is packed to 2 bytes, TW_INT32/TW_UINT32 are 32 bits (so TW_IDENTITY is
// 156 bytes, TW_IDENTITY::Id included), and handles and memory references are native pointers
// (8 bytes). A source manager built with other packing or a 64-bit TW_UINT32 would not match these
// records; the static_asserts at the end pin the sizes the packing decides, and the tests check
// every field's offset.
//
// The 1.x protocol was defined for Windows and the classic Mac OS, not for Linux: the layout here
// is that of the 1.x records under the GNU/Linux conventions of later TWAIN managers (2-byte
// packing, 32-bit integers, native pointers). Some 64-bit builds elsewhere make TW_IDENTITY::Id
// pointer-sized (160 bytes); this header keeps it 32-bit, which is what makes the record 156 bytes.
//
// The names are the protocol's own so that code reads like any TWAIN application. Constants are
// typed constexpr values rather than macros; DG_ values are TW_UINT32 (DSM_Entry's DG argument),
// the others TW_UINT16.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>

#include "corvex/platform/numbers.h"

namespace corvex {

// ---- Basic types ----------------------------------------------------------------------------

using TW_INT8 = int8_t;
using TW_INT16 = int16_t;
using TW_INT32 = int32_t;
using TW_UINT8 = uint8_t;
using TW_UINT16 = uint16_t;
using TW_UINT32 = uint32_t;
using TW_BOOL = uint16_t;      // 0 false, anything else true
using TW_HANDLE = void*;       // a block of memory the manager or source allocated
using TW_MEMREF = void*;       // a pointer to the data of a triplet

using TW_STR32 = char[34];     // NUL-terminated; 32 characters and padding to an even length
using TW_STR64 = char[66];
using TW_STR128 = char[130];
using TW_STR255 = char[256];

#pragma pack(push, 2)

// A signed fixed-point number: Whole + Frac / 65536, i.e. the 32-bit two's complement value
// (Whole << 16 | Frac) divided by 65536. Whole holds the low address (little-endian order).
struct TW_FIX32 {
  TW_INT16 Whole;
  TW_UINT16 Frac;
};

// A rectangle in the current ICAP_UNITS.
struct TW_FRAME {
  TW_FIX32 Left;
  TW_FIX32 Top;
  TW_FIX32 Right;
  TW_FIX32 Bottom;
};

struct TW_VERSION {
  TW_UINT16 MajorNum;
  TW_UINT16 MinorNum;
  TW_UINT16 Language;  // TWLG_
  TW_UINT16 Country;   // TWCY_
  TW_STR32 Info;
};

// The identity of the application, the manager or a source.
struct TW_IDENTITY {
  TW_UINT32 Id;  // assigned by the manager; 0 before MSG_OPENDSM / MSG_OPENDS
  TW_VERSION Version;
  TW_UINT16 ProtocolMajor;
  TW_UINT16 ProtocolMinor;
  TW_UINT32 SupportedGroups;  // DG_ bits
  TW_STR32 Manufacturer;
  TW_STR32 ProductFamily;
  TW_STR32 ProductName;
};

// DAT_CAPABILITY: hContainer holds one of the four containers below, named by ConType (TWON_).
struct TW_CAPABILITY {
  TW_UINT16 Cap;      // CAP_ / ICAP_
  TW_UINT16 ConType;  // TWON_
  TW_HANDLE hContainer;
};

// One value. Item holds values of up to 32 bits in place; a TW_FIX32 is stored by its bytes
// (see FIX32ToItem / ItemToFIX32). TW_FRAME and string values follow the structure instead and
// make the container larger.
struct TW_ONEVALUE {
  TW_UINT16 ItemType;  // TWTY_
  TW_UINT32 Item;
};

// A list of values of which one is current; ItemList holds NumItems items of ItemType's size.
struct TW_ENUMERATION {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT32 CurrentIndex;
  TW_UINT32 DefaultIndex;
  TW_UINT8 ItemList[1];
};

// A range of values; for TWTY_FIX32 each field holds a TW_FIX32 by its bytes.
struct TW_RANGE {
  TW_UINT16 ItemType;
  TW_UINT32 MinValue;
  TW_UINT32 MaxValue;
  TW_UINT32 StepSize;
  TW_UINT32 DefaultValue;
  TW_UINT32 CurrentValue;
};

// A list of values without a current one.
struct TW_ARRAY {
  TW_UINT16 ItemType;
  TW_UINT32 NumItems;
  TW_UINT8 ItemList[1];
};

// DAT_IMAGEINFO: the image about to be transferred.
struct TW_IMAGEINFO {
  TW_FIX32 XResolution;  // pixels per ICAP_UNITS unit
  TW_FIX32 YResolution;
  TW_INT32 ImageWidth;   // pixels; -1 when not known before the transfer
  TW_INT32 ImageLength;
  TW_INT16 SamplesPerPixel;
  TW_INT16 BitsPerSample[8];
  TW_INT16 BitsPerPixel;
  TW_BOOL Planar;
  TW_INT16 PixelType;    // TWPT_
  TW_UINT16 Compression; // TWCP_
};

// DAT_IMAGELAYOUT: the area to acquire.
struct TW_IMAGELAYOUT {
  TW_FRAME Frame;
  TW_UINT32 DocumentNumber;
  TW_UINT32 PageNumber;
  TW_UINT32 FrameNumber;
};

// A block of memory and who owns it (TWMF_ flags).
struct TW_MEMORY {
  TW_UINT32 Flags;
  TW_UINT32 Length;
  TW_MEMREF TheMem;
};

// DAT_IMAGEMEMXFER: one strip of a buffered-memory transfer. The application sets the fields to
// TWON_DONTCARE16/32 and Memory to its buffer; the source fills in what it wrote where.
struct TW_IMAGEMEMXFER {
  TW_UINT16 Compression;
  TW_UINT32 BytesPerRow;
  TW_UINT32 Columns;
  TW_UINT32 Rows;
  TW_UINT32 XOffset;
  TW_UINT32 YOffset;
  TW_UINT32 BytesWritten;
  TW_MEMORY Memory;
};

// DAT_SETUPMEMXFER: the buffer sizes the source accepts.
struct TW_SETUPMEMXFER {
  TW_UINT32 MinBufSize;
  TW_UINT32 MaxBufSize;
  TW_UINT32 Preferred;
};

// DAT_USERINTERFACE: MSG_ENABLEDS / MSG_DISABLEDS.
struct TW_USERINTERFACE {
  TW_BOOL ShowUI;
  TW_BOOL ModalUI;
  TW_HANDLE hParent;  // the parent window
};

// DAT_PENDINGXFERS: transfers left after MSG_ENDXFER / MSG_RESET (0xFFFF: unknown, more follow).
struct TW_PENDINGXFERS {
  TW_UINT16 Count;
  union {
    TW_UINT32 EOJ;       // with CAP_JOBCONTROL: the end-of-job marker just passed
    TW_UINT32 Reserved;
  };
};

// DAT_STATUS: the condition code (TWCC_) of the last failed operation.
struct TW_STATUS {
  TW_UINT16 ConditionCode;
  TW_UINT16 Reserved;
};

// DAT_EVENT / MSG_PROCESSEVENT: a message of the application's queue offered to the source, and
// the message (MSG_XFERREADY, MSG_CLOSEDSREQ, MSG_NULL) the source posts back.
struct TW_EVENT {
  TW_MEMREF pEvent;
  TW_UINT16 TWMessage;
};

// DAT_CUSTOMDSDATA: settings of the source's own, as a block the source defines (MSG_GET hands a
// block to the application, MSG_SET hands one to the source, which copies it during the call).
struct TW_CUSTOMDSDATA {
  TW_UINT32 InfoLength;
  TW_HANDLE hData;
};

#pragma pack(pop)

using pTW_IDENTITY = TW_IDENTITY*;

// The manager's single entry point, looked up by the name "DSM_Entry". It returns a TWRC_ code.
// Origin is the application's identity, Dest the source's (null for operations on the manager).
using DSMENTRYPROC = TW_UINT16 (*)(pTW_IDENTITY pOrigin, pTW_IDENTITY pDest, TW_UINT32 DG,
                                   TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);

// ---- Protocol version and identity values ------------------------------------------------------

inline constexpr TW_UINT16 TWON_PROTOCOLMAJOR = 1;
inline constexpr TW_UINT16 TWON_PROTOCOLMINOR = 9;
inline constexpr TW_UINT16 TWLG_USA = 13;  // Version.Language: English (USA)
inline constexpr TW_UINT16 TWCY_USA = 1;   // Version.Country

// ---- Data groups (DSM_Entry's DG; also TW_IDENTITY::SupportedGroups bits) ----------------------

inline constexpr TW_UINT32 DG_CONTROL = 0x0001;
inline constexpr TW_UINT32 DG_IMAGE = 0x0002;
inline constexpr TW_UINT32 DG_AUDIO = 0x0004;

// ---- Data argument types -------------------------------------------------------------------------

inline constexpr TW_UINT16 DAT_NULL = 0x0000;
inline constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
inline constexpr TW_UINT16 DAT_EVENT = 0x0002;
inline constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
inline constexpr TW_UINT16 DAT_PARENT = 0x0004;
inline constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
inline constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
inline constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
inline constexpr TW_UINT16 DAT_STATUS = 0x0008;
inline constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
inline constexpr TW_UINT16 DAT_XFERGROUP = 0x000a;
inline constexpr TW_UINT16 DAT_CUSTOMDSDATA = 0x000c;
inline constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
inline constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
inline constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
inline constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
inline constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;

// ---- Messages ------------------------------------------------------------------------------------

inline constexpr TW_UINT16 MSG_NULL = 0x0000;
inline constexpr TW_UINT16 MSG_GET = 0x0001;
inline constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
inline constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
inline constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
inline constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
inline constexpr TW_UINT16 MSG_SET = 0x0006;
inline constexpr TW_UINT16 MSG_RESET = 0x0007;
inline constexpr TW_UINT16 MSG_QUERYSUPPORT = 0x0008;
inline constexpr TW_UINT16 MSG_XFERREADY = 0x0101;   // posted by the source through TW_EVENT
inline constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
inline constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
inline constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
inline constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
inline constexpr TW_UINT16 MSG_OPENDS = 0x0401;
inline constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
inline constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
inline constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
inline constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
inline constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
inline constexpr TW_UINT16 MSG_ENDXFER = 0x0701;

// ---- Return codes (DSM_Entry's result) -----------------------------------------------------------

inline constexpr TW_UINT16 TWRC_SUCCESS = 0;
inline constexpr TW_UINT16 TWRC_FAILURE = 1;      // DAT_STATUS gives the condition code
inline constexpr TW_UINT16 TWRC_CHECKSTATUS = 2;  // done, but not exactly as asked
inline constexpr TW_UINT16 TWRC_CANCEL = 3;
inline constexpr TW_UINT16 TWRC_DSEVENT = 4;      // the source claimed the event
inline constexpr TW_UINT16 TWRC_NOTDSEVENT = 5;
inline constexpr TW_UINT16 TWRC_XFERDONE = 6;
inline constexpr TW_UINT16 TWRC_ENDOFLIST = 7;

// ---- Condition codes (TW_STATUS::ConditionCode) --------------------------------------------------

inline constexpr TW_UINT16 TWCC_SUCCESS = 0;
inline constexpr TW_UINT16 TWCC_BUMMER = 1;           // failure without a more precise reason
inline constexpr TW_UINT16 TWCC_LOWMEMORY = 2;
inline constexpr TW_UINT16 TWCC_NODS = 3;             // no such source
inline constexpr TW_UINT16 TWCC_MAXCONNECTIONS = 4;   // the source is in use
inline constexpr TW_UINT16 TWCC_OPERATIONERROR = 5;   // the source reported the error itself
inline constexpr TW_UINT16 TWCC_BADCAP = 6;
inline constexpr TW_UINT16 TWCC_BADPROTOCOL = 9;
inline constexpr TW_UINT16 TWCC_BADVALUE = 10;
inline constexpr TW_UINT16 TWCC_SEQERROR = 11;        // not allowed in the current state
inline constexpr TW_UINT16 TWCC_BADDEST = 12;
inline constexpr TW_UINT16 TWCC_CAPUNSUPPORTED = 13;
inline constexpr TW_UINT16 TWCC_CAPBADOPERATION = 14;
inline constexpr TW_UINT16 TWCC_CAPSEQERROR = 15;
// Later protocol revisions name the device's own failures; a source may use them under 1.x too.
inline constexpr TW_UINT16 TWCC_DENIED = 16;
inline constexpr TW_UINT16 TWCC_PAPERJAM = 20;
inline constexpr TW_UINT16 TWCC_CHECKDEVICEONLINE = 23;
inline constexpr TW_UINT16 TWCC_NOMEDIA = 29;

// ---- Capabilities ----------------------------------------------------------------------------------

inline constexpr TW_UINT16 CAP_XFERCOUNT = 0x0001;
inline constexpr TW_UINT16 CAP_UICONTROLLABLE = 0x100e;
inline constexpr TW_UINT16 ICAP_COMPRESSION = 0x0100;
inline constexpr TW_UINT16 ICAP_PIXELTYPE = 0x0101;
inline constexpr TW_UINT16 ICAP_UNITS = 0x0102;
inline constexpr TW_UINT16 ICAP_XFERMECH = 0x0103;
inline constexpr TW_UINT16 CAP_FEEDERENABLED = 0x1002;
inline constexpr TW_UINT16 CAP_SUPPORTEDCAPS = 0x1005;
inline constexpr TW_UINT16 CAP_INDICATORS = 0x100b;
inline constexpr TW_UINT16 CAP_DUPLEXENABLED = 0x1013;
inline constexpr TW_UINT16 ICAP_GAMMA = 0x1108;
inline constexpr TW_UINT16 ICAP_ORIENTATION = 0x1110;
inline constexpr TW_UINT16 ICAP_PHYSICALWIDTH = 0x1111;
inline constexpr TW_UINT16 ICAP_PHYSICALHEIGHT = 0x1112;
inline constexpr TW_UINT16 ICAP_XRESOLUTION = 0x1118;
inline constexpr TW_UINT16 ICAP_YRESOLUTION = 0x1119;
inline constexpr TW_UINT16 ICAP_PIXELFLAVOR = 0x111f;
inline constexpr TW_UINT16 ICAP_PLANARCHUNKY = 0x1120;
inline constexpr TW_UINT16 ICAP_XSCALING = 0x1124;
inline constexpr TW_UINT16 ICAP_YSCALING = 0x1125;
inline constexpr TW_UINT16 ICAP_BITDEPTH = 0x112b;

// ---- Item types (TWTY_) and their sizes in a container ------------------------------------------

inline constexpr TW_UINT16 TWTY_INT8 = 0x0000;
inline constexpr TW_UINT16 TWTY_INT16 = 0x0001;
inline constexpr TW_UINT16 TWTY_INT32 = 0x0002;
inline constexpr TW_UINT16 TWTY_UINT8 = 0x0003;
inline constexpr TW_UINT16 TWTY_UINT16 = 0x0004;
inline constexpr TW_UINT16 TWTY_UINT32 = 0x0005;
inline constexpr TW_UINT16 TWTY_BOOL = 0x0006;
inline constexpr TW_UINT16 TWTY_FIX32 = 0x0007;
inline constexpr TW_UINT16 TWTY_FRAME = 0x0008;
inline constexpr TW_UINT16 TWTY_STR32 = 0x0009;
inline constexpr TW_UINT16 TWTY_STR64 = 0x000a;
inline constexpr TW_UINT16 TWTY_STR128 = 0x000b;
inline constexpr TW_UINT16 TWTY_STR255 = 0x000c;

// The bytes one item of type `type` takes in an enumeration's or array's ItemList; 0 for a type
// this protocol revision does not define, so that a reader can refuse the container.
constexpr size_t TWItemSize(TW_UINT16 type) {
  switch (type) {
    case TWTY_INT8: case TWTY_UINT8: return 1;
    case TWTY_INT16: case TWTY_UINT16: case TWTY_BOOL: return 2;
    case TWTY_INT32: case TWTY_UINT32: case TWTY_FIX32: return 4;
    case TWTY_FRAME: return sizeof(TW_FRAME);
    case TWTY_STR32: return sizeof(TW_STR32);
    case TWTY_STR64: return sizeof(TW_STR64);
    case TWTY_STR128: return sizeof(TW_STR128);
    case TWTY_STR255: return sizeof(TW_STR255);
    default: return 0;
  }
}

// ---- Container types (TW_CAPABILITY::ConType) ----------------------------------------------------

inline constexpr TW_UINT16 TWON_ARRAY = 3;
inline constexpr TW_UINT16 TWON_ENUMERATION = 4;
inline constexpr TW_UINT16 TWON_ONEVALUE = 5;
inline constexpr TW_UINT16 TWON_RANGE = 6;
inline constexpr TW_UINT16 TWON_DONTCARE16 = 0xffff;  // also "the source decides" for ConType
inline constexpr TW_UINT32 TWON_DONTCARE32 = 0xffffffff;

// ---- Memory flags (TW_MEMORY::Flags) -------------------------------------------------------------

inline constexpr TW_UINT32 TWMF_APPOWNS = 0x0001;
inline constexpr TW_UINT32 TWMF_DSMOWNS = 0x0002;
inline constexpr TW_UINT32 TWMF_DSOWNS = 0x0004;
inline constexpr TW_UINT32 TWMF_POINTER = 0x0008;
inline constexpr TW_UINT32 TWMF_HANDLE = 0x0010;

// ---- Capability values ---------------------------------------------------------------------------

// ICAP_PIXELTYPE
inline constexpr TW_UINT16 TWPT_BW = 0;
inline constexpr TW_UINT16 TWPT_GRAY = 1;
inline constexpr TW_UINT16 TWPT_RGB = 2;
inline constexpr TW_UINT16 TWPT_PALETTE = 3;
inline constexpr TW_UINT16 TWPT_CMY = 4;
inline constexpr TW_UINT16 TWPT_CMYK = 5;

// ICAP_XFERMECH
inline constexpr TW_UINT16 TWSX_NATIVE = 0;
inline constexpr TW_UINT16 TWSX_FILE = 1;
inline constexpr TW_UINT16 TWSX_MEMORY = 2;

// ICAP_UNITS
inline constexpr TW_UINT16 TWUN_INCHES = 0;
inline constexpr TW_UINT16 TWUN_CENTIMETERS = 1;
inline constexpr TW_UINT16 TWUN_PICAS = 2;
inline constexpr TW_UINT16 TWUN_POINTS = 3;
inline constexpr TW_UINT16 TWUN_TWIPS = 4;
inline constexpr TW_UINT16 TWUN_PIXELS = 5;

// ICAP_PLANARCHUNKY
inline constexpr TW_UINT16 TWPC_CHUNKY = 0;
inline constexpr TW_UINT16 TWPC_PLANAR = 1;

// ICAP_PIXELFLAVOR: whether 0 is black (chocolate) or white (vanilla)
inline constexpr TW_UINT16 TWPF_CHOCOLATE = 0;
inline constexpr TW_UINT16 TWPF_VANILLA = 1;

// ICAP_ORIENTATION
inline constexpr TW_UINT16 TWOR_ROT0 = 0;
inline constexpr TW_UINT16 TWOR_ROT90 = 1;
inline constexpr TW_UINT16 TWOR_ROT180 = 2;
inline constexpr TW_UINT16 TWOR_ROT270 = 3;
inline constexpr TW_UINT16 TWOR_PORTRAIT = TWOR_ROT0;
inline constexpr TW_UINT16 TWOR_LANDSCAPE = TWOR_ROT270;

// ICAP_COMPRESSION
inline constexpr TW_UINT16 TWCP_NONE = 0;

// ---- Fixed-point conversions ---------------------------------------------------------------------

// The exact value of a TW_FIX32.
constexpr double FIX32ToFloat(TW_FIX32 f) { return f.Whole + f.Frac / 65536.0; }

// The TW_FIX32 nearest to v (ties to even, the library's rounding). Values beyond the
// representable range [-32768, 32767 + 65535/65536] give the nearest end rather than wrapping
// around to the opposite sign; NaN gives 0.
inline TW_FIX32 FloatToFIX32(double v) {
  // Round saturates to the int32 range, which is exactly the range of a FIX32 in 1/65536 units.
  const uint32_t bits = static_cast<uint32_t>(Round(v * 65536.0));
  TW_FIX32 f;
  f.Whole = static_cast<TW_INT16>(static_cast<uint16_t>(bits >> 16));
  f.Frac = static_cast<TW_UINT16>(bits & 0xffff);
  return f;
}

// A TW_FIX32 kept in a container's TW_UINT32 slot (TW_ONEVALUE::Item, TW_RANGE's fields) is stored
// by its bytes, not by its value; these move it in and out of such a slot.
constexpr TW_UINT32 FIX32ToItem(TW_FIX32 f) { return std::bit_cast<TW_UINT32>(f); }
constexpr TW_FIX32 ItemToFIX32(TW_UINT32 item) { return std::bit_cast<TW_FIX32>(item); }

// ---- Layout ---------------------------------------------------------------------------------------

static_assert(sizeof(TW_FIX32) == 4 && sizeof(TW_FRAME) == 16);
static_assert(sizeof(TW_VERSION) == 42);
static_assert(sizeof(TW_IDENTITY) == 156 && offsetof(TW_IDENTITY, SupportedGroups) == 50);
static_assert(sizeof(TW_CAPABILITY) == 4 + sizeof(void*) && offsetof(TW_CAPABILITY, hContainer) == 4);
static_assert(sizeof(TW_ONEVALUE) == 6 && offsetof(TW_ONEVALUE, Item) == 2);
static_assert(sizeof(TW_IMAGEINFO) == 42);
static_assert(sizeof(TW_CUSTOMDSDATA) == 4 + sizeof(void*));
static_assert(sizeof(TW_IMAGEMEMXFER) == 26 + sizeof(TW_MEMORY) && offsetof(TW_IMAGEMEMXFER, Memory) == 26);

}  // namespace corvex
