// The TWAIN state machine: loading the manager, opening and enabling a source, buffered-memory
// transfers, and the walk back down. Nothing the manager or a source answers is trusted: every
// string is read within its field, every strip within the announced image and buffer, and every
// loop is bounded, so a faulty source ends an operation instead of crashing or hanging it.
#include "corvex/acquire/CXTWain.h"

#include <dlfcn.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <mutex>

#include "corvex/io/CorvexIO.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/numbers.h"
#include "corvex/proc/CorvexProc.h"
#include "corvex/view/CXMIO.h"

namespace corvex {

namespace {

std::mutex gLoaderMutex;
std::string gLibraryName;
DSMENTRYPROC gInjectedEntry = nullptr;

constexpr int kMaxSources = 4096;           // a manager that never says TWRC_ENDOFLIST
constexpr int kMaxSide = 65536;             // larger images are refused before allocation
constexpr int64_t kMaxPixels = 1LL << 28;
constexpr TW_UINT32 kMaxBuffer = 64u << 20;  // largest strip buffer accepted from SETUPMEMXFER

void CopyName(TW_STR32& Field, const std::string& Value) {
  std::memset(Field, 0, sizeof(Field));
  std::memcpy(Field, Value.data(), std::min(Value.size(), sizeof(Field) - 2));
}

// Makes every string of an identity from the manager end inside its field.
void Terminate(TW_IDENTITY& Id) {
  Id.Version.Info[sizeof(Id.Version.Info) - 1] = 0;
  Id.Manufacturer[sizeof(Id.Manufacturer) - 1] = 0;
  Id.ProductFamily[sizeof(Id.ProductFamily) - 1] = 0;
  Id.ProductName[sizeof(Id.ProductName) - 1] = 0;
}

bool StartsWithNoCase(const std::string& Text, const std::string& Prefix) {
  if (Prefix.size() > Text.size()) return false;
  for (size_t i = 0; i < Prefix.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(Text[i])) != std::tolower(static_cast<unsigned char>(Prefix[i])))
      return false;
  return true;
}

// The folder of the library this code is in (with a trailing slash), where our own source
// manager is installed beside it; empty when it cannot be found.
std::string OwnDirectory() {
  Dl_info Info{};
  if (dladdr(reinterpret_cast<void*>(&CXTW_SetLibraryName), &Info) == 0 || Info.dli_fname == nullptr) return {};
  const std::string Path = Info.dli_fname;
  const size_t Slash = Path.rfind('/');
  return Slash == std::string::npos ? std::string() : Path.substr(0, Slash + 1);
}

}  // namespace

void CXTW_SetLibraryName(const std::string& Name) {
  std::lock_guard<std::mutex> lock(gLoaderMutex);
  gLibraryName = Name;
}

std::string CXTW_GetLibraryName() {
  std::lock_guard<std::mutex> lock(gLoaderMutex);
  return gLibraryName;
}

void CXTW_SetEntryPoint(DSMENTRYPROC Entry) {
  std::lock_guard<std::mutex> lock(gLoaderMutex);
  gInjectedEntry = Entry;
}

std::string CXTW_Name(const TW_STR32& Field) { return std::string(Field, strnlen(Field, sizeof(TW_STR32))); }

// ---- TCXTWainParams ---------------------------------------------------------------------------------

TCXTWainParams::TCXTWainParams(TComponent* Owner) : Owner_(Owner) { SetDefaultParams(); }

TCXTWainParams::~TCXTWainParams() = default;

void TCXTWainParams::SetDefaultParams() {
  ShowSettingsOnAcquire = true;
  SelectedSource_ = 0;
  SourceListLoaded_ = false;
  Sources_.clear();
  Caps.XResolution.Clear();
  Caps.YResolution.Clear();
  Caps.XScaling.Clear();
  Caps.YScaling.Clear();
  Caps.PixelType.Clear();
  Caps.Orientation.Clear();
  Caps.Gamma = 2.2;
  Caps.PhysicalHeight = Caps.PhysicalWidth = 0;
  // A multi-image component takes a feeder's pages, both sides where the scanner can.
  Caps.FeederEnabled = Caps.DuplexEnabled = dynamic_cast<TCorvexMIO*>(Owner_) != nullptr;
  Caps.Indicators = true;
  for (double& v : Caps.AcquireFrame) v = 0;
  Caps.BufferedTransfer = true;
  Caps.AcquireFrameEnabled = false;
  AppVersionInfo_.clear();
  AppManufacturer_.clear();
  AppProductFamily_.clear();
  AppProductName_.clear();
  SourceData.clear();
}

void TCXTWainParams::Assign(const TCXTWainParams* Source) {
  if (Source == nullptr || Source == this) return;
  ShowSettingsOnAcquire = Source->ShowSettingsOnAcquire;
  SelectedSource_ = Source->SelectedSource_;
  SourceListLoaded_ = Source->SourceListLoaded_;
  Sources_ = Source->Sources_;
  Caps.XResolution.Assign(&Source->Caps.XResolution);
  Caps.YResolution.Assign(&Source->Caps.YResolution);
  Caps.XScaling.Assign(&Source->Caps.XScaling);
  Caps.YScaling.Assign(&Source->Caps.YScaling);
  Caps.PixelType.Assign(&Source->Caps.PixelType);
  Caps.Orientation.Assign(&Source->Caps.Orientation);
  Caps.Gamma = Source->Caps.Gamma;
  Caps.PhysicalHeight = Source->Caps.PhysicalHeight;
  Caps.PhysicalWidth = Source->Caps.PhysicalWidth;
  Caps.FeederEnabled = Source->Caps.FeederEnabled;
  Caps.DuplexEnabled = Source->Caps.DuplexEnabled;
  Caps.Indicators = Source->Caps.Indicators;
  std::copy(std::begin(Source->Caps.AcquireFrame), std::end(Source->Caps.AcquireFrame), Caps.AcquireFrame);
  Caps.BufferedTransfer = Source->Caps.BufferedTransfer;
  Caps.AcquireFrameEnabled = Source->Caps.AcquireFrameEnabled;
  AppVersionInfo_ = Source->AppVersionInfo_;
  AppManufacturer_ = Source->AppManufacturer_;
  AppProductFamily_ = Source->AppProductFamily_;
  AppProductName_ = Source->AppProductName_;
}

void TCXTWainParams::FillSourceListData() {
  if (SourceListLoaded_) return;
  CXTW_GetSourceList(Sources_, this);
  SourceListLoaded_ = true;
}

int TCXTWainParams::GetSourceCount() {
  FillSourceListData();
  return static_cast<int>(Sources_.size());
}

std::string TCXTWainParams::GetSourceName(int i) {
  FillSourceListData();
  if (i < 0 || i >= static_cast<int>(Sources_.size())) return {};
  return CXTW_Name(Sources_[static_cast<size_t>(i)].ProductName);
}

bool TCXTWainParams::SelectSourceByName(const std::string& Name) {
  FillSourceListData();
  for (size_t i = 0; i < Sources_.size(); ++i)
    if (StartsWithNoCase(CXTW_Name(Sources_[i].ProductName), Name)) {
      SelectedSource_ = static_cast<int>(i);
      return true;
    }
  return false;
}

int TCXTWainParams::GetDefaultSource() {
  FillSourceListData();
  const std::string Name = CXTW_GetDefaultSource(nullptr, this);
  if (Name.empty()) return -1;
  for (size_t i = 0; i < Sources_.size(); ++i)
    if (StartsWithNoCase(CXTW_Name(Sources_[i].ProductName), Name)) return static_cast<int>(i);
  return -1;
}

TW_IDENTITY TCXTWainParams::AppIdentity() const {
  TW_IDENTITY Id{};
  Id.Version.MajorNum = 1;
  Id.Version.MinorNum = 0;
  Id.Version.Language = TWLG_USA;
  Id.Version.Country = TWCY_USA;
  CopyName(Id.Version.Info, AppVersionInfo_);
  Id.ProtocolMajor = TWON_PROTOCOLMAJOR;
  Id.ProtocolMinor = TWON_PROTOCOLMINOR;
  Id.SupportedGroups = DG_CONTROL | DG_IMAGE;
  CopyName(Id.Manufacturer, AppManufacturer_);
  CopyName(Id.ProductFamily, AppProductFamily_);
  CopyName(Id.ProductName, AppProductName_);
  return Id;
}

// ---- TCXTWSession -----------------------------------------------------------------------------------

TCXTWSession::TCXTWSession(const TCXTWainParams* Params) : Params_(Params) {
  if (Params_ != nullptr) {
    App_ = Params_->AppIdentity();
  } else {
    TCXTWainParams Defaults;
    App_ = Defaults.AppIdentity();
  }
}

namespace {
thread_local TW_UINT16 tLastCondition = TWCC_SUCCESS;
}

TCXTWSession::~TCXTWSession() {
  Unwind(1);
  tLastCondition = CC_;
}

TW_UINT16 CXTW_GetLastCondition() { return tLastCondition; }

std::string CXTW_ConditionText(TW_UINT16 ConditionCode) {
  switch (ConditionCode) {
    case TWCC_SUCCESS: return "no error";
    case TWCC_LOWMEMORY: return "not enough memory";
    case TWCC_NODS: return "no such source";
    case TWCC_MAXCONNECTIONS: return "the source is in use";
    case TWCC_OPERATIONERROR: return "the device reported an error";
    case TWCC_BADCAP: case TWCC_CAPUNSUPPORTED: return "capability not supported";
    case TWCC_BADPROTOCOL: return "operation not supported";
    case TWCC_BADVALUE: return "a value was refused";
    case TWCC_SEQERROR: return "operation out of sequence";
    case TWCC_BADDEST: return "unknown source";
    case TWCC_CAPBADOPERATION: return "operation not supported for this capability";
    case TWCC_CAPSEQERROR: return "capability depends on another one";
    case TWCC_DENIED: return "access denied";
    case TWCC_PAPERJAM: return "paper jam";
    case TWCC_CHECKDEVICEONLINE: return "check that the device is ready (cover closed, switched on)";
    case TWCC_NOMEDIA: return "no document in the feeder";
    default: return "failure (condition " + std::to_string(ConditionCode) + ")";
  }
}

TW_UINT16 TCXTWSession::Call(pTW_IDENTITY Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, void* Data) {
  RC_ = Entry_ != nullptr ? Entry_(&App_, Dest, DG, DAT, MSG, Data) : TWRC_FAILURE;
  return RC_;
}

void TCXTWSession::FetchCondition(pTW_IDENTITY Dest) {
  TW_STATUS Status{};
  const TW_UINT16 rc = RC_;
  CC_ = Call(Dest, DG_CONTROL, DAT_STATUS, MSG_GET, &Status) == TWRC_SUCCESS ? Status.ConditionCode : TWCC_BUMMER;
  RC_ = rc;  // the failure, not the status query, is the last result
}

bool TCXTWSession::LoadManager() {
  if (State_ != 1) return false;
  std::string Name;
  {
    std::lock_guard<std::mutex> lock(gLoaderMutex);
    Entry_ = gInjectedEntry;
    Name = gLibraryName;
  }
  if (Entry_ == nullptr) {
    std::vector<std::string> Names;
    if (!Name.empty()) Names.push_back(Name);
    else Names = {OwnDirectory() + "libcorvextwaindsm.so", "libcorvextwaindsm.so", "libtwaindsm.so"};
    for (const std::string& N : Names) {
      void* Lib = dlopen(N.c_str(), RTLD_NOW | RTLD_LOCAL);
      if (Lib == nullptr) continue;
      void* Sym = dlsym(Lib, "DSM_Entry");
      if (Sym == nullptr) {
        dlclose(Lib);
        continue;
      }
      Library_ = Lib;
      Entry_ = reinterpret_cast<DSMENTRYPROC>(Sym);
      break;
    }
  }
  if (Entry_ == nullptr) return false;
  State_ = 2;
  return true;
}

bool TCXTWSession::OpenManager(void* Parent) {
  if (State_ != 2) return false;
  Parent_ = Parent;
  if (Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &Parent_) != TWRC_SUCCESS) return false;
  State_ = 3;
  return true;
}

bool TCXTWSession::ListSources(std::vector<TW_IDENTITY>& List) {
  List.clear();
  if (State_ < 3) return false;
  TW_IDENTITY Id{};
  TW_UINT16 rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &Id);
  for (int n = 0; rc == TWRC_SUCCESS && n < kMaxSources; ++n) {
    Terminate(Id);
    if (Id.ProductName[0] != 0) List.push_back(Id);
    Id = TW_IDENTITY{};
    rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &Id);
  }
  return true;
}

bool TCXTWSession::DefaultSource(TW_IDENTITY& Id) {
  Id = TW_IDENTITY{};
  if (State_ < 3) return false;
  const bool ok = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &Id) == TWRC_SUCCESS;
  Terminate(Id);
  if (!ok) Id = TW_IDENTITY{};
  return ok;
}

bool TCXTWSession::UserSelect(TW_IDENTITY& Id) {
  Id = TW_IDENTITY{};
  if (State_ < 3) return false;
  const bool ok = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &Id) == TWRC_SUCCESS;
  Terminate(Id);
  if (!ok) Id = TW_IDENTITY{};
  return ok;
}

bool TCXTWSession::OpenSource(const std::string& Name) {
  if (State_ != 3) return false;
  Source_ = TW_IDENTITY{};  // empty: the manager opens its default source
  if (!Name.empty()) {
    // Enumerate until the named source; a name not installed is refused rather than opening
    // whichever source the enumeration stopped at.
    bool Found = false;
    TW_IDENTITY Id{};
    TW_UINT16 rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETFIRST, &Id);
    for (int n = 0; rc == TWRC_SUCCESS && n < kMaxSources; ++n) {
      Terminate(Id);
      if (CXTW_Name(Id.ProductName) == Name) {
        Source_ = Id;
        Found = true;
        break;
      }
      Id = TW_IDENTITY{};
      rc = Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETNEXT, &Id);
    }
    if (!Found) {
      RC_ = TWRC_FAILURE;
      CC_ = TWCC_NODS;
      return false;
    }
  }
  if (Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &Source_) != TWRC_SUCCESS) {
    FetchCondition(nullptr);
    return false;
  }
  Terminate(Source_);
  State_ = 4;
  return true;
}

bool TCXTWSession::EnableSource(bool ShowUI) {
  if (State_ != 4) return false;
  UI_.ShowUI = ShowUI ? 1 : 0;
  UI_.ModalUI = 1;
  UI_.hParent = Parent_;
  if (Call(&Source_, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &UI_) != TWRC_SUCCESS &&
      RC_ != TWRC_CHECKSTATUS) {
    FetchCondition(&Source_);
    return false;
  }
  State_ = 5;
  return true;
}

bool TCXTWSession::WaitForTransfer(int MaxPolls) {
  if (State_ != 5) return false;
  for (int n = 0; n < MaxPolls; ++n) {
    TW_EVENT Event{nullptr, MSG_NULL};
    const TW_UINT16 rc = Call(&Source_, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &Event);
    if (rc != TWRC_DSEVENT && rc != TWRC_NOTDSEVENT) {
      FetchCondition(&Source_);
      return false;
    }
    if (Event.TWMessage == MSG_XFERREADY) {
      State_ = 6;
      return true;
    }
    if (Event.TWMessage == MSG_CLOSEDSREQ || Event.TWMessage == MSG_CLOSEDSOK) return false;
  }
  return false;
}

bool TCXTWSession::EndTransfer() {
  TW_PENDINGXFERS P{};
  if (State_ == 7) {
    const bool ok = Call(&Source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &P) == TWRC_SUCCESS;
    // 0xFFFF means "more, number unknown"; anything the call did not confirm counts as none.
    Pending_ = ok ? (P.Count == 0xffff ? -1 : P.Count) : 0;
    State_ = Pending_ != 0 ? 6 : 5;
    return ok;
  }
  return false;
}

void TCXTWSession::Unwind(int Target) {
  // Each step lowers the state whatever the answer: a source that refuses to let go must not keep
  // the manager loaded.
  while (State_ > Target && State_ > 1) {
    TW_PENDINGXFERS P{};
    switch (State_) {
      case 7:
        EndTransfer();
        break;
      case 6:
        Call(&Source_, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &P);
        Pending_ = 0;
        State_ = 5;
        break;
      case 5:
        Call(&Source_, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &UI_);
        State_ = 4;
        break;
      case 4:
        Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &Source_);
        State_ = 3;
        break;
      case 3:
        Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &Parent_);
        State_ = 2;
        break;
      default:  // 2
        if (Library_ != nullptr) dlclose(Library_);
        Library_ = nullptr;
        Entry_ = nullptr;
        State_ = 1;
        break;
    }
  }
}

bool TCXTWSession::TransferMemory(TBitmap* Bitmap, TIOParamsVals* IOParams, TProgressRec& Progress) {
  if (State_ != 6 || Bitmap == nullptr) return false;
  auto Fail = [&]() {
    Bitmap->Allocate(0, 0, pf24bit);
    ProgressFail(Progress);
    if (State_ == 7) EndTransfer();
    Unwind(5);  // a failed page ends the batch; the pages already delivered stay with the caller
    return false;
  };

  TW_IMAGEINFO Info{};
  if (Call(&Source_, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &Info) != TWRC_SUCCESS) {
    FetchCondition(&Source_);
    return Fail();
  }
  const int W = Info.ImageWidth, H = Info.ImageLength;
  const int Bpp = Info.BitsPerPixel;
  if (W < 1 || H < 1 || W > kMaxSide || H > kMaxSide || static_cast<int64_t>(W) * H > kMaxPixels ||
      (Bpp != 1 && Bpp != 8 && Bpp != 24) || Info.Compression != TWCP_NONE)
    return Fail();

  Info_ = Info;
  CXTW_FillIOParams(IOParams, Info);
  Bitmap->Allocate(W, H, Bpp == 1 ? pf1bit : pf24bit);

  TW_SETUPMEMXFER Setup{};
  if (Call(&Source_, DG_CONTROL, DAT_SETUPMEMXFER, MSG_GET, &Setup) != TWRC_SUCCESS) return Fail();
  const TW_UINT32 MinRow = static_cast<TW_UINT32>((static_cast<int64_t>(W) * Bpp + 7) / 8);
  TW_UINT32 BufSize = Setup.Preferred;
  if (BufSize == 0 || BufSize == TWON_DONTCARE32 || BufSize > kMaxBuffer) BufSize = Setup.MaxBufSize;
  if (BufSize == 0 || BufSize == TWON_DONTCARE32 || BufSize > kMaxBuffer) BufSize = Setup.MinBufSize;
  if (BufSize == 0 || BufSize == TWON_DONTCARE32 || BufSize > kMaxBuffer)
    BufSize = std::min<TW_UINT32>(kMaxBuffer, MinRow * 64);
  std::vector<uint8_t> Buffer(BufSize);

  const int64_t Expected = static_cast<int64_t>(W) * H;
  int64_t Received = 0;
  State_ = 7;
  for (;;) {
    std::fill(Buffer.begin(), Buffer.end(), uint8_t{0});
    TW_IMAGEMEMXFER X{};
    X.Compression = TWON_DONTCARE16;
    X.BytesPerRow = X.Columns = X.Rows = X.XOffset = X.YOffset = X.BytesWritten = TWON_DONTCARE32;
    X.Memory.Flags = TWMF_APPOWNS | TWMF_POINTER;
    X.Memory.Length = BufSize;
    X.Memory.TheMem = Buffer.data();
    const TW_UINT16 rc = Call(&Source_, DG_IMAGE, DAT_IMAGEMEMXFER, MSG_GET, &X);
    if (rc == TWRC_CANCEL) return Fail();  // state 7; ENDXFER follows
    if (rc != TWRC_SUCCESS && rc != TWRC_XFERDONE) {
      if (rc == TWRC_FAILURE) {
        State_ = 6;
        FetchCondition(&Source_);
      }
      return Fail();
    }
    // The strip must lie inside the image and inside what the source says it wrote, which must
    // fit the buffer it was given.
    const int64_t Cols = X.Columns, Rows = X.Rows, X0 = X.XOffset, Y0 = X.YOffset;
    const int64_t RowBytes = (Cols * Bpp + 7) / 8;
    if (X.Compression != TWCP_NONE || Cols < 1 || Rows < 1 || X0 + Cols > W || Y0 + Rows > H ||
        X.BytesWritten > BufSize || X.BytesPerRow < RowBytes ||
        static_cast<int64_t>(X.BytesPerRow) * (Rows - 1) + RowBytes > static_cast<int64_t>(X.BytesWritten) ||
        (Bpp == 1 && X0 % 8 != 0))
      return Fail();
    for (int64_t r = 0; r < Rows; ++r) {
      const uint8_t* s = Buffer.data() + r * X.BytesPerRow;
      uint8_t* d = Bitmap->ScanLine(static_cast<int>(Y0 + r));
      if (Bpp == 1) {
        std::memcpy(d + X0 / 8, s, static_cast<size_t>(RowBytes));
      } else if (Bpp == 24) {
        d += X0 * 3;
        for (int64_t c = 0; c < Cols; ++c, s += 3, d += 3) {
          d[0] = s[2];
          d[1] = s[1];
          d[2] = s[0];
        }
      } else {
        d += X0 * 3;
        for (int64_t c = 0; c < Cols; ++c, ++s, d += 3) d[0] = d[1] = d[2] = *s;
      }
    }
    Received += Cols * Rows;
    if (Received > 2 * Expected) return Fail();  // a source repeating strips forever
    ProgressReport(Progress, static_cast<int32_t>((Y0 + Rows) * 100 / H));
    if (rc == TWRC_XFERDONE) break;
    if (ProgressAborting(Progress)) return Fail();
  }
  if (Received < Expected) return Fail();  // done before every row arrived
  EndTransfer();
  return true;
}

namespace {

// The bytes a packed DIB occupies, from its own header; 0 when the header is not one this layer
// reads (a native transfer carries no size, so the header is all there is to go by).
size_t PackedDIBSize(const uint8_t* p) {
  int32_t HdrSize, Width, Height, ClrUsed;
  uint16_t Planes, BitCount;
  uint32_t Compression;
  std::memcpy(&HdrSize, p, 4);
  std::memcpy(&Width, p + 4, 4);
  std::memcpy(&Height, p + 8, 4);
  std::memcpy(&Planes, p + 12, 2);
  std::memcpy(&BitCount, p + 14, 2);
  std::memcpy(&Compression, p + 16, 4);
  std::memcpy(&ClrUsed, p + 32, 4);
  if (HdrSize < 40 || HdrSize > 124 || Planes != 1 || Width < 1 || Height == 0 || Width > kMaxSide ||
      Height < -kMaxSide || Height > kMaxSide)
    return 0;
  if (BitCount != 1 && BitCount != 4 && BitCount != 8 && BitCount != 16 && BitCount != 24 && BitCount != 32) return 0;
  if (Compression != 0 && !(Compression == 3 && (BitCount == 16 || BitCount == 32))) return 0;
  if (ClrUsed < 0 || ClrUsed > 256) return 0;
  const size_t Colors = BitCount <= 8 ? (ClrUsed != 0 ? ClrUsed : (1u << BitCount)) : static_cast<size_t>(ClrUsed);
  const size_t Masks = Compression == 3 && HdrSize == 40 ? 12 : 0;
  const size_t Stride = ((static_cast<size_t>(Width) * BitCount + 31) / 32) * 4;
  const size_t Rows = static_cast<size_t>(Height < 0 ? -static_cast<int64_t>(Height) : Height);
  return static_cast<size_t>(HdrSize) + Masks + Colors * 4 + Stride * Rows;
}

}  // namespace

bool TCXTWSession::TransferNative(TBitmap* Bitmap, TIOParamsVals* IOParams, TProgressRec& Progress) {
  if (State_ != 6 || Bitmap == nullptr) return false;
  auto Fail = [&]() {
    Bitmap->Allocate(0, 0, pf24bit);
    ProgressFail(Progress);
    if (State_ == 7) EndTransfer();
    Unwind(5);
    return false;
  };
  TW_IMAGEINFO Info{};
  if (Call(&Source_, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &Info) != TWRC_SUCCESS) {
    FetchCondition(&Source_);
    return Fail();
  }
  TW_HANDLE Handle = nullptr;
  const TW_UINT16 rc = Call(&Source_, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &Handle);
  // The block is the application's once handed over, whatever happens to the transfer.
  std::unique_ptr<void, void (*)(void*)> Hold(Handle, &std::free);
  if (rc == TWRC_CANCEL) {
    State_ = 7;
    return Fail();
  }
  if (rc != TWRC_XFERDONE || Handle == nullptr) {
    if (rc == TWRC_FAILURE) FetchCondition(&Source_);
    return Fail();
  }
  State_ = 7;
  const size_t Size = PackedDIBSize(static_cast<const uint8_t*>(Handle));
  if (Size == 0 ||
      _CopyDIB2Bitmap(reinterpret_cast<uintptr_t>(Handle), Bitmap, nullptr, true, Size) == 0)
    return Fail();
  // The picture's own size wins over what the image information announced.
  Info.ImageWidth = Bitmap->GetWidth();
  Info.ImageLength = Bitmap->GetHeight();
  // Grey pages arrive as 24-bit pictures, but their record says what was scanned.
  if (Bitmap->GetPixelFormat() == pf1bit) Info.BitsPerPixel = 1;
  else if (Info.BitsPerPixel != 8) Info.BitsPerPixel = 24;
  Info_ = Info;
  CXTW_FillIOParams(IOParams, Info);
  ProgressReport(Progress, 100);
  EndTransfer();
  return true;
}

void CXTW_FillIOParams(TIOParamsVals* IOParams, const TW_IMAGEINFO& Info) {
  if (IOParams == nullptr) return;
  const int Bpp = Info.BitsPerPixel;
  IOParams->BitsPerSample = Bpp == 24 ? 8 : Bpp;
  IOParams->SamplesPerPixel = Bpp == 24 ? 3 : 1;
  IOParams->DpiX = Round(FIX32ToFloat(Info.XResolution));
  IOParams->DpiY = Round(FIX32ToFloat(Info.YResolution));
  IOParams->Width = Info.ImageWidth;
  IOParams->Height = Info.ImageLength;
  IOParams->ColorMap.clear();
}

bool TCXTWSession::NegotiateMemoryTransfer() {
  if (State_ != 4) return false;
  // The container is the application's: a one-value record the source reads during the call.
  TW_ONEVALUE Value{TWTY_UINT16, TWSX_MEMORY};
  TW_CAPABILITY Cap{ICAP_XFERMECH, TWON_ONEVALUE, &Value};
  if (Call(&Source_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &Cap) != TWRC_SUCCESS) {
    FetchCondition(&Source_);
    return false;
  }
  return true;
}

bool TCXTWSession::SetOne(TW_UINT16 Cap, TW_UINT16 Type, TW_UINT32 Item) {
  if (State_ != 4) return false;
  TW_ONEVALUE Value{Type, Item};
  TW_CAPABILITY C{Cap, TWON_ONEVALUE, &Value};
  return Call(&Source_, DG_CONTROL, DAT_CAPABILITY, MSG_SET, &C) == TWRC_SUCCESS;
}

bool TCXTWSession::SetSourceData(const std::string& Data) {
  if (State_ != 4) return false;
  // The block is the application's; the source copies what it keeps during the call.
  std::vector<char> Block(Data.begin(), Data.end());
  Block.push_back(0);
  TW_CUSTOMDSDATA C{static_cast<TW_UINT32>(Data.size()), Block.data()};
  if (Call(&Source_, DG_CONTROL, DAT_CUSTOMDSDATA, MSG_SET, &C) != TWRC_SUCCESS) {
    FetchCondition(&Source_);
    return false;
  }
  return true;
}

bool TCXTWSession::GetValues(TW_UINT16 Cap, std::vector<TW_UINT32>& Items, TW_UINT16& Type, int& Current,
                             TW_UINT32* Range) {
  constexpr TW_UINT32 kMaxItems = 1024;  // the container's size is not given; its count is bounded
  Items.clear();
  Current = -1;
  if (State_ != 4) return false;
  TW_CAPABILITY C{Cap, TWON_DONTCARE16, nullptr};
  if (Call(&Source_, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &C) != TWRC_SUCCESS || C.hContainer == nullptr) return false;
  // The container belongs to the application now; the Linux managers allocate it with malloc.
  std::unique_ptr<void, void (*)(void*)> Hold(C.hContainer, &std::free);
  auto Slot = [](const TW_UINT8* p, size_t size) {
    TW_UINT32 v = 0;
    std::memcpy(&v, p, std::min<size_t>(size, 4));
    if (size == 2) v = static_cast<TW_UINT32>(static_cast<TW_UINT16>(v));
    return v;
  };
  switch (C.ConType) {
    case TWON_ONEVALUE: {
      const auto* V = static_cast<const TW_ONEVALUE*>(C.hContainer);
      const size_t size = TWItemSize(V->ItemType);
      if (size == 0 || size > 4) return false;
      Type = V->ItemType;
      Items.push_back(Slot(reinterpret_cast<const TW_UINT8*>(V) + offsetof(TW_ONEVALUE, Item), size));
      Current = 0;
      return true;
    }
    case TWON_ENUMERATION: {
      const auto* E = static_cast<const TW_ENUMERATION*>(C.hContainer);
      const size_t size = TWItemSize(E->ItemType);
      if (size == 0 || size > 4 || E->NumItems > kMaxItems) return false;
      Type = E->ItemType;
      const auto* p = reinterpret_cast<const TW_UINT8*>(E) + offsetof(TW_ENUMERATION, ItemList);
      for (TW_UINT32 i = 0; i < E->NumItems; ++i) Items.push_back(Slot(p + i * size, size));
      Current = E->CurrentIndex < E->NumItems ? static_cast<int>(E->CurrentIndex) : -1;
      return true;
    }
    case TWON_RANGE: {
      const auto* R = static_cast<const TW_RANGE*>(C.hContainer);
      const size_t size = TWItemSize(R->ItemType);
      if (size == 0 || size > 4) return false;
      Type = R->ItemType;
      Items.push_back(TW_UINT32{R->CurrentValue});  // a copy: the packed field may be unaligned
      Current = 0;
      if (Range != nullptr) {
        Range[0] = R->MinValue;
        Range[1] = R->MaxValue;
        Range[2] = R->StepSize;
      }
      return true;
    }
    default: return false;  // arrays have no current value; unknown containers are not read
  }
}

namespace {

double SlotToDouble(TW_UINT32 v, TW_UINT16 Type) {
  switch (Type) {
    case TWTY_FIX32: return FIX32ToFloat(ItemToFIX32(v));
    case TWTY_INT8: return static_cast<int8_t>(v);
    case TWTY_INT16: return static_cast<int16_t>(v);
    case TWTY_INT32: return static_cast<int32_t>(v);
    default: return v;
  }
}

}  // namespace

void TCXTWSession::Negotiate(const TCXTWSourceCaps& Caps) {
  if (State_ != 4) return;
  std::vector<TW_UINT32> Items;
  TW_UINT16 Type = 0;
  int Current = -1;
  if (GetValues(ICAP_UNITS, Items, Type, Current, nullptr)) SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
  SetOne(ICAP_PLANARCHUNKY, TWTY_UINT16, TWPC_CHUNKY);
  const std::pair<TW_UINT16, const TCXDoubleList*> Doubles[] = {{ICAP_XRESOLUTION, &Caps.XResolution},
                                                                 {ICAP_YRESOLUTION, &Caps.YResolution},
                                                                 {ICAP_XSCALING, &Caps.XScaling},
                                                                 {ICAP_YSCALING, &Caps.YScaling}};
  for (const auto& [Cap, List] : Doubles)
    if (List->GetCount() > 0) SetOne(Cap, TWTY_FIX32, FIX32ToItem(FloatToFIX32(List->GetCurrentValue())));
  if (Caps.PixelType.GetCount() > 0) {
    const int Pt = std::clamp(Caps.PixelType.GetCurrentValue(), 0, static_cast<int>(TWPT_RGB));
    if (SetOne(ICAP_PIXELTYPE, TWTY_UINT16, static_cast<TW_UINT32>(Pt))) {
      if (Pt == TWPT_GRAY) SetOne(ICAP_BITDEPTH, TWTY_UINT16, 8);
      if (Pt == TWPT_RGB) {
        SetOne(ICAP_BITDEPTH, TWTY_UINT16, 24);
        SetOne(ICAP_PIXELFLAVOR, TWTY_UINT16, TWPF_CHOCOLATE);
      }
    }
  }
  SetOne(CAP_FEEDERENABLED, TWTY_BOOL, Caps.FeederEnabled ? 1 : 0);
  if (Caps.Orientation.GetCount() > 0)
    SetOne(ICAP_ORIENTATION, TWTY_UINT16, static_cast<TW_UINT32>(Caps.Orientation.GetCurrentValue()));
  SetOne(CAP_INDICATORS, TWTY_BOOL, Caps.Indicators ? 1 : 0);
  SetOne(CAP_DUPLEXENABLED, TWTY_BOOL, Caps.DuplexEnabled ? 1 : 0);
  if (Caps.AcquireFrameEnabled) {
    TW_IMAGELAYOUT Layout{};
    Layout.Frame = {FloatToFIX32(Caps.AcquireFrame[0]), FloatToFIX32(Caps.AcquireFrame[1]),
                    FloatToFIX32(Caps.AcquireFrame[2]), FloatToFIX32(Caps.AcquireFrame[3])};
    Call(&Source_, DG_IMAGE, DAT_IMAGELAYOUT, MSG_SET, &Layout);
  }
}

void TCXTWSession::ReadCapabilities(TCXTWSourceCaps& Caps) {
  if (State_ != 4) return;
  SetOne(ICAP_UNITS, TWTY_UINT16, TWUN_INCHES);
  std::vector<TW_UINT32> Items;
  TW_UINT16 Type = 0;
  int Current = -1;
  TW_UINT32 Range[3] = {0, 0, 0};
  auto ReadDoubles = [&](TW_UINT16 Cap, TCXDoubleList& List, bool OneWhenNone) {
    List.Clear();
    Range[0] = Range[1] = Range[2] = 0;
    if (GetValues(Cap, Items, Type, Current, Range)) {
      for (TW_UINT32 v : Items) List.Add(SlotToDouble(v, Type));
      if (Range[2] != 0) {
        List.SetRangeMin(SlotToDouble(Range[0], Type));
        List.SetRangeMax(SlotToDouble(Range[1], Type));
        List.SetRangeStep(SlotToDouble(Range[2], Type));
      }
      if (Current >= 0) List.SetCurrentValue(SlotToDouble(Items[static_cast<size_t>(Current)], Type));
    } else if (OneWhenNone) {
      List.Add(1.0);
      List.SetCurrentValue(1.0);
    }
  };
  auto ReadIntegers = [&](TW_UINT16 Cap, TCXIntegerList& List, bool ZeroWhenNone) {
    List.Clear();
    if (GetValues(Cap, Items, Type, Current, nullptr)) {
      for (TW_UINT32 v : Items) List.Add(static_cast<int32_t>(v));
      if (Current >= 0) List.SetCurrentValue(static_cast<int32_t>(Items[static_cast<size_t>(Current)]));
    } else if (ZeroWhenNone) {
      List.Add(0);
      List.SetCurrentValue(0);
    }
  };
  auto ReadOne = [&](TW_UINT16 Cap, double Default) {
    return GetValues(Cap, Items, Type, Current, nullptr) && Current >= 0
               ? SlotToDouble(Items[static_cast<size_t>(Current)], Type)
               : Default;
  };
  ReadDoubles(ICAP_XRESOLUTION, Caps.XResolution, false);
  ReadDoubles(ICAP_YRESOLUTION, Caps.YResolution, false);
  ReadDoubles(ICAP_XSCALING, Caps.XScaling, true);
  ReadDoubles(ICAP_YSCALING, Caps.YScaling, true);
  ReadIntegers(ICAP_PIXELTYPE, Caps.PixelType, false);
  Caps.Gamma = ReadOne(ICAP_GAMMA, 2.2);
  Caps.PhysicalHeight = ReadOne(ICAP_PHYSICALHEIGHT, 0);
  Caps.PhysicalWidth = ReadOne(ICAP_PHYSICALWIDTH, 0);
  Caps.FeederEnabled = ReadOne(CAP_FEEDERENABLED, 0) != 0;
  Caps.DuplexEnabled = ReadOne(CAP_DUPLEXENABLED, 0) != 0;
  ReadIntegers(ICAP_ORIENTATION, Caps.Orientation, true);
  Caps.Indicators = ReadOne(CAP_INDICATORS, 1) != 0;
}

bool CXTW_GetCapabilities(TCXTWainParams* Params, TCXTWSourceCaps& Caps, bool Negotiate) {
  if (Params == nullptr) return false;
  Params->FillSourceListData();
  const std::string Name = Params->GetSourceName(Params->GetSelectedSource());
  TCXTWSession S(Params);
  if (!S.LoadManager() || !S.OpenManager(nullptr) || !S.OpenSource(Name)) return false;
  if (Negotiate) S.Negotiate(Caps);
  if (!Params->SourceData.empty() && !S.SetSourceData(Params->SourceData)) return false;
  S.ReadCapabilities(Caps);
  if (!Negotiate)
    for (TCXList* L : std::initializer_list<TCXList*>{&Caps.XResolution, &Caps.YResolution, &Caps.XScaling,
                                                     &Caps.YScaling, &Caps.PixelType, &Caps.Orientation})
      L->Changed = TCXListChanges();
  return true;
}

bool CXTW_Acquire(void* Parent, TBitmap* Bitmap, bool MultiPage, TCXTWMultiCallBack MultiCallBack,
                  TCXTWainParams* Params, TIOParamsVals* IOParams, TProgressRec& Progress) {
  if (Params == nullptr || (MultiPage ? !MultiCallBack : Bitmap == nullptr)) return false;
  Params->FillSourceListData();
  const std::string Name = Params->GetSourceName(Params->GetSelectedSource());
  TCXTWSession S(Params);
  auto Refused = [&]() {
    ProgressFail(Progress);
    return false;
  };
  if (!S.LoadManager() || !S.OpenManager(Parent) || !S.OpenSource(Name)) return Refused();
  S.Negotiate(Params->Caps);
  // The source's own settings come last, so that they win over what the capabilities set.
  if (!Params->SourceData.empty() && !S.SetSourceData(Params->SourceData)) return Refused();
  const bool Memory = Params->Caps.BufferedTransfer && S.NegotiateMemoryTransfer();
  if (!S.EnableSource(Params->ShowSettingsOnAcquire) || !S.WaitForTransfer()) return Refused();
  if (!MultiPage) {
    return Memory ? S.TransferMemory(Bitmap, IOParams, Progress) : S.TransferNative(Bitmap, IOParams, Progress);  // the session's destructor resets what is still pending and closes the rest
  }
  bool Any = false;
  while (S.GetState() == 6 && !ProgressAborting(Progress)) {
    TBitmap Page;
    if (!(Memory ? S.TransferMemory(&Page, nullptr, Progress) : S.TransferNative(&Page, nullptr, Progress))) break;
    TIOParamsVals* Record = nullptr;
    MultiCallBack(&Page, Record);
    CXTW_FillIOParams(Record, S.GetImageInfo());
    Any = true;
  }
  return Any;
}

// ---- Manager queries --------------------------------------------------------------------------------

bool CXTW_GetSourceList(std::vector<TW_IDENTITY>& List, const TCXTWainParams* Params) {
  List.clear();
  TCXTWSession S(Params);
  if (!S.LoadManager() || !S.OpenManager(nullptr)) return false;
  return S.ListSources(List);
}

std::string CXTW_GetDefaultSource(void* Parent, const TCXTWainParams* Params) {
  TCXTWSession S(Params);
  TW_IDENTITY Id{};
  if (!S.LoadManager() || !S.OpenManager(Parent) || !S.DefaultSource(Id)) return {};
  return CXTW_Name(Id.ProductName);
}

bool CXTW_SelectImageSource(void* Parent, std::string& SourceName, const TCXTWainParams* Params) {
  TCXTWSession S(Params);
  TW_IDENTITY Id{};
  if (!S.LoadManager() || !S.OpenManager(Parent) || !S.UserSelect(Id)) return false;
  SourceName = CXTW_Name(Id.ProductName);
  return true;
}

// ---- The components' entry points ------------------------------------------------------------------

namespace {

bool SelectInto(TCXTWainParams* Params) {
  std::string Name;
  if (!CXTW_SelectImageSource(nullptr, Name, Params)) return false;
  Params->FillSourceListData();
  return Params->SelectSourceByName(Name);
}

const bool kHooksRegistered = [] {
  TAcquireHooks h;
  h.Create = [](TComponent* Owner) { return new TCXTWainParams(Owner); };
  h.Destroy = [](TCXTWainParams* p) { delete p; };
  h.Acquire = [](TCXTWainParams* p, TBitmap* b, TIOParamsVals* io, TProgressRec& pr) {
    return CXTW_Acquire(nullptr, b, false, TCXTWMultiCallBack(), p, io, pr);
  };
  h.AcquirePages = [](TCXTWainParams* p, TAcquirePageEvent Page, TProgressRec& pr) {
    return CXTW_Acquire(nullptr, nullptr, true, Page, p, nullptr, pr);
  };
  h.Select = &SelectInto;
  SetAcquireHooks(h);
  return true;
}();

}  // namespace

}  // namespace corvex
