// libcorvextwaindsm.so: a TWAIN source manager whose data sources are the scanners SANE knows.
//
// Every SANE device is one source; its ProductName is the SANE device name ("test:0",
// "epson2:libusb:001:004"), Manufacturer and ProductFamily are the vendor and model. The source
// maps the SANE options a scan needs onto TWAIN capabilities: the resolution ("resolution", or
// "x-resolution"/"y-resolution"), the pixel type from the scan mode (lineart, grey, colour, and
// grey at depth 1 where the device has no lineart mode), the feeder from the "source" option, the
// physical size and the frame from the scan area ("tl-x" … "br-y"). Other SANE options are reached
// with DAT_CUSTOMDSDATA, whose block is text: one "name=value" a line.
//
// A page is read whole from sane_read when the application first asks about it (DAT_IMAGEINFO or
// a transfer), so that its size is known even from hand-held scanners that do not announce their
// length, and is then handed over in strips (DAT_IMAGEMEMXFER) or as one packed DIB
// (DAT_IMAGENATIVEXFER, allocated with malloc: the application frees it). With the feeder
// enabled, MSG_ENDXFER starts the next page and reports it pending until SANE says the feeder is
// empty. Whatever SANE refuses or delivers short becomes a TWRC_FAILURE with a condition code,
// never a half-filled page.
//
// The manager serves one application at a time (the usual case for a manager loaded into the
// application's own process) and posts its messages (MSG_XFERREADY, MSG_CLOSEDSREQ) through
// DAT_EVENT, which the application polls.
#include <sane/sane.h>
#include <sane/saneopts.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "corvex/acquire/sanedsm/sanedsm_pvt.h"

namespace corvex::sanedsm {

namespace {

constexpr int kMaxSide = 65536;
constexpr int64_t kMaxPageBytes = int64_t(1) << 30;  // larger pages are refused, not allocated
constexpr int kMaxEmptyReads = 100000;               // sane_read answering GOOD without data
constexpr double kMmPerInch = 25.4;

// ---- SANE options ----------------------------------------------------------------------------

// The device's options by name, read once after opening.
struct Options {
  SANE_Handle H = nullptr;
  std::map<std::string, int> Index;

  void Load(SANE_Handle Handle) {
    H = Handle;
    Index.clear();
    SANE_Int count = 0;
    if (sane_control_option(H, 0, SANE_ACTION_GET_VALUE, &count, nullptr) != SANE_STATUS_GOOD) return;
    count = std::clamp<SANE_Int>(count, 0, 4096);
    for (int i = 1; i < count; ++i) {
      const SANE_Option_Descriptor* d = sane_get_option_descriptor(H, i);
      if (d != nullptr && d->name != nullptr && d->name[0] != 0) Index.emplace(d->name, i);
    }
  }
  // The descriptor of an active option with a value, or nullptr.
  const SANE_Option_Descriptor* Find(const std::string& Name, int* Number = nullptr) const {
    auto it = Index.find(Name);
    if (it == Index.end()) return nullptr;
    const SANE_Option_Descriptor* d = sane_get_option_descriptor(H, it->second);
    if (d == nullptr || !SANE_OPTION_IS_ACTIVE(d->cap) || d->size <= 0 || d->size > 65536) return nullptr;
    if (Number != nullptr) *Number = it->second;
    return d;
  }
  // A numeric option's value as a double (FIXED converted, INT as is; the first of a vector).
  bool GetNumber(const std::string& Name, double& Value) const {
    int n = 0;
    const SANE_Option_Descriptor* d = Find(Name, &n);
    if (d == nullptr || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED)) return false;
    std::vector<SANE_Word> w(static_cast<size_t>(d->size) / sizeof(SANE_Word) + 1);
    if (sane_control_option(H, n, SANE_ACTION_GET_VALUE, w.data(), nullptr) != SANE_STATUS_GOOD) return false;
    Value = d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w[0]) : w[0];
    return true;
  }
  // Sets a numeric option; Info gets SANE's info bits (SANE_INFO_INEXACT when it rounded).
  SANE_Status SetNumber(const std::string& Name, double Value, SANE_Int* Info = nullptr) const {
    int n = 0;
    const SANE_Option_Descriptor* d = Find(Name, &n);
    if (d == nullptr || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED) || !SANE_OPTION_IS_SETTABLE(d->cap))
      return SANE_STATUS_UNSUPPORTED;
    const size_t words = static_cast<size_t>(d->size) / sizeof(SANE_Word);
    std::vector<SANE_Word> w(std::max<size_t>(words, 1),
                             d->type == SANE_TYPE_FIXED ? SANE_FIX(Value) : static_cast<SANE_Word>(std::lround(Value)));
    return sane_control_option(H, n, SANE_ACTION_SET_VALUE, w.data(), Info);
  }
  bool GetString(const std::string& Name, std::string& Value) const {
    int n = 0;
    const SANE_Option_Descriptor* d = Find(Name, &n);
    if (d == nullptr || d->type != SANE_TYPE_STRING) return false;
    std::vector<char> s(static_cast<size_t>(d->size) + 1, 0);
    if (sane_control_option(H, n, SANE_ACTION_GET_VALUE, s.data(), nullptr) != SANE_STATUS_GOOD) return false;
    Value.assign(s.data(), strnlen(s.data(), static_cast<size_t>(d->size)));
    return true;
  }
  SANE_Status SetString(const std::string& Name, const std::string& Value) const {
    int n = 0;
    const SANE_Option_Descriptor* d = Find(Name, &n);
    if (d == nullptr || d->type != SANE_TYPE_STRING || !SANE_OPTION_IS_SETTABLE(d->cap)) return SANE_STATUS_UNSUPPORTED;
    if (Value.size() + 1 > static_cast<size_t>(d->size)) return SANE_STATUS_INVAL;
    std::vector<char> s(static_cast<size_t>(d->size), 0);
    std::memcpy(s.data(), Value.data(), Value.size());
    return sane_control_option(H, n, SANE_ACTION_SET_VALUE, s.data(), nullptr);
  }
  // The strings a string-list option offers.
  std::vector<std::string> StringList(const std::string& Name) const {
    std::vector<std::string> out;
    const SANE_Option_Descriptor* d = Find(Name);
    if (d == nullptr || d->type != SANE_TYPE_STRING || d->constraint_type != SANE_CONSTRAINT_STRING_LIST) return out;
    for (int i = 0; i < 256 && d->constraint.string_list[i] != nullptr; ++i) out.emplace_back(d->constraint.string_list[i]);
    return out;
  }
  // The values a numeric option allows: a range (Range true; Values = min, max, step) or a list.
  bool Allowed(const std::string& Name, std::vector<double>& Values, bool& Range) const {
    Values.clear();
    Range = false;
    const SANE_Option_Descriptor* d = Find(Name);
    if (d == nullptr || (d->type != SANE_TYPE_INT && d->type != SANE_TYPE_FIXED)) return false;
    auto num = [&](SANE_Word w) { return d->type == SANE_TYPE_FIXED ? SANE_UNFIX(w) : double(w); };
    if (d->constraint_type == SANE_CONSTRAINT_RANGE && d->constraint.range != nullptr) {
      Range = true;
      Values = {num(d->constraint.range->min), num(d->constraint.range->max),
                d->constraint.range->quant != 0 ? num(d->constraint.range->quant) : 1.0};
    } else if (d->constraint_type == SANE_CONSTRAINT_WORD_LIST && d->constraint.word_list != nullptr) {
      const int count = std::clamp<SANE_Word>(d->constraint.word_list[0], 0, 1024);
      for (int i = 1; i <= count; ++i) Values.push_back(num(d->constraint.word_list[i]));
    } else {
      double v = 0;
      if (!GetNumber(Name, v)) return false;
      Values.push_back(v);
    }
    return true;
  }
};

bool ContainsNoCase(const std::string& Text, const char* Word) {
  std::string a = Text, b = Word;
  for (char& c : a) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (char& c : b) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return a.find(b) != std::string::npos;
}

// The pixel type a SANE scan mode gives; -1 for modes TWAIN has no type for.
int ModePixelType(const std::string& Mode) {
  if (ContainsNoCase(Mode, "lineart") || ContainsNoCase(Mode, "binary") || ContainsNoCase(Mode, "halftone") ||
      ContainsNoCase(Mode, "black"))
    return TWPT_BW;
  if (ContainsNoCase(Mode, "gray") || ContainsNoCase(Mode, "grey")) return TWPT_GRAY;
  if (ContainsNoCase(Mode, "color") || ContainsNoCase(Mode, "colour")) return TWPT_RGB;
  return -1;
}

bool IsFeederSource(const std::string& S) {
  return ContainsNoCase(S, "adf") || ContainsNoCase(S, "feeder") || ContainsNoCase(S, "automatic");
}

TW_UINT16 ConditionOf(SANE_Status St) {
  switch (St) {
    case SANE_STATUS_NO_MEM: return TWCC_LOWMEMORY;
    case SANE_STATUS_DEVICE_BUSY: return TWCC_MAXCONNECTIONS;
    case SANE_STATUS_INVAL: return TWCC_BADVALUE;
    case SANE_STATUS_UNSUPPORTED: return TWCC_CAPUNSUPPORTED;
    case SANE_STATUS_JAMMED: return TWCC_PAPERJAM;
    case SANE_STATUS_NO_DOCS: return TWCC_NOMEDIA;
    case SANE_STATUS_ACCESS_DENIED: return TWCC_DENIED;
    case SANE_STATUS_COVER_OPEN: return TWCC_CHECKDEVICEONLINE;
    default: return TWCC_OPERATIONERROR;
  }
}

void CopyString(char* Field, size_t Size, const std::string& Value) {
  std::memset(Field, 0, Size);
  std::memcpy(Field, Value.data(), std::min(Value.size(), Size - 2));
}

// ---- Containers --------------------------------------------------------------------------------

// Capability containers are allocated with malloc: the application frees them.
void* OneValue(TW_UINT16 Type, TW_UINT32 Item) {
  auto* v = static_cast<TW_ONEVALUE*>(std::calloc(1, sizeof(TW_ONEVALUE)));
  if (v == nullptr) return nullptr;
  v->ItemType = Type;
  v->Item = Item;
  return v;
}

void* Enumeration(TW_UINT16 Type, const std::vector<TW_UINT32>& Items, size_t Current) {
  const size_t size = TWItemSize(Type);
  auto* e = static_cast<TW_ENUMERATION*>(std::calloc(1, offsetof(TW_ENUMERATION, ItemList) + size * Items.size() + 4));
  if (e == nullptr) return nullptr;
  e->ItemType = Type;
  e->NumItems = static_cast<TW_UINT32>(Items.size());
  e->CurrentIndex = e->DefaultIndex = static_cast<TW_UINT32>(Current);
  auto* p = reinterpret_cast<TW_UINT8*>(e) + offsetof(TW_ENUMERATION, ItemList);
  for (size_t i = 0; i < Items.size(); ++i) std::memcpy(p + i * size, &Items[i], size);  // little-endian slots
  return e;
}

void* Array(TW_UINT16 Type, const std::vector<TW_UINT32>& Items) {
  const size_t size = TWItemSize(Type);
  auto* a = static_cast<TW_ARRAY*>(std::calloc(1, offsetof(TW_ARRAY, ItemList) + size * Items.size() + 4));
  if (a == nullptr) return nullptr;
  a->ItemType = Type;
  a->NumItems = static_cast<TW_UINT32>(Items.size());
  auto* p = reinterpret_cast<TW_UINT8*>(a) + offsetof(TW_ARRAY, ItemList);
  for (size_t i = 0; i < Items.size(); ++i) std::memcpy(p + i * size, &Items[i], size);
  return a;
}

void* Range(double Min, double Max, double Step, double Current) {
  auto* r = static_cast<TW_RANGE*>(std::calloc(1, sizeof(TW_RANGE)));
  if (r == nullptr) return nullptr;
  r->ItemType = TWTY_FIX32;
  r->MinValue = FIX32ToItem(FloatToFIX32(Min));
  r->MaxValue = FIX32ToItem(FloatToFIX32(Max));
  r->StepSize = FIX32ToItem(FloatToFIX32(Step));
  r->DefaultValue = r->CurrentValue = FIX32ToItem(FloatToFIX32(Current));
  return r;
}

TW_UINT32 Fix(double v) { return FIX32ToItem(FloatToFIX32(v)); }

// ---- One page ------------------------------------------------------------------------------------

// A page as the application receives it: rows of 1-bit (0 black, most significant bit first),
// 8-bit grey or 24-bit red-green-blue pixels, no padding.
struct Page {
  int Width = 0, Height = 0, PixelType = TWPT_RGB, Bpp = 24;
  std::vector<uint8_t> Rows;
  int NextRow = 0;  // the first row not yet handed over by memory transfers
  size_t RowBytes() const { return (static_cast<size_t>(Width) * Bpp + 7) / 8; }
};

// ---- Sources ---------------------------------------------------------------------------------------

struct Source {
  TW_IDENTITY Id{};
  SANE_Handle H = nullptr;
  Options Opt;
  int State = 4;
  TW_UINT16 CC = TWCC_SUCCESS;
  bool Memory = false;       // ICAP_XFERMECH
  bool Indicators = true;
  bool Feeder = false;       // CAP_FEEDERENABLED
  bool Started = false;      // sane_start called for the batch, sane_cancel not yet
  SANE_Status StartError = SANE_STATUS_GOOD;  // why the next sheet could not start
  bool HavePage = false;
  Page Current;
  int Units = TWUN_INCHES;
  std::deque<TW_UINT16> Events;
  std::string CustomData;
};

struct Manager {
  std::recursive_mutex Lock;
  bool Open = false;
  TW_IDENTITY App{};
  TW_UINT16 CC = TWCC_SUCCESS;
  std::vector<TW_IDENTITY> Devices;
  size_t Cursor = 0;
  std::map<TW_UINT32, Source> Sources;
  TW_UINT32 NextId = 1;
};

Manager& M() {
  static Manager m;
  return m;
}

// ---- Device list -----------------------------------------------------------------------------------

void ReadDevices(Manager& m) {
  m.Devices.clear();
  const SANE_Device** list = nullptr;
  if (sane_get_devices(&list, SANE_FALSE) != SANE_STATUS_GOOD || list == nullptr) return;
  for (int i = 0; list[i] != nullptr && i < 1024; ++i) {
    const SANE_Device* d = list[i];
    if (d->name == nullptr || d->name[0] == 0) continue;
    TW_IDENTITY id{};
    id.Id = static_cast<TW_UINT32>(m.Devices.size() + 1);
    id.Version.MajorNum = 1;
    id.Version.MinorNum = 0;
    id.Version.Language = TWLG_USA;
    id.Version.Country = TWCY_USA;
    CopyString(id.Version.Info, sizeof(id.Version.Info), d->type != nullptr ? d->type : "");
    id.ProtocolMajor = TWON_PROTOCOLMAJOR;
    id.ProtocolMinor = TWON_PROTOCOLMINOR;
    id.SupportedGroups = DG_CONTROL | DG_IMAGE;
    CopyString(id.Manufacturer, sizeof(id.Manufacturer), d->vendor != nullptr ? d->vendor : "");
    CopyString(id.ProductFamily, sizeof(id.ProductFamily), d->model != nullptr ? d->model : "");
    CopyString(id.ProductName, sizeof(id.ProductName), d->name);
    m.Devices.push_back(id);
  }
}

// ---- Reading a page from SANE ----------------------------------------------------------------------

// Reads one frame's bytes: exactly Lines × BytesPerLine when SANE announced the length, else
// whole lines until the end of the frame. Anything SANE sends beyond the announced length is read
// and dropped. Fails on an error status, on a frame cut short and on an absurd size.
SANE_Status ReadFrame(SANE_Handle H, const SANE_Parameters& P, std::vector<uint8_t>& Out, int& Lines) {
  const int64_t Bpl = P.bytes_per_line;
  const int64_t Expected = P.lines > 0 ? Bpl * P.lines : -1;
  if (Expected > kMaxPageBytes) return SANE_STATUS_NO_MEM;
  Out.clear();
  if (Expected > 0) Out.reserve(static_cast<size_t>(Expected));
  std::vector<uint8_t> Buf(65536);
  int empty = 0;
  for (;;) {
    SANE_Int got = 0;
    const SANE_Status St = sane_read(H, Buf.data(), static_cast<SANE_Int>(Buf.size()), &got);
    if (St == SANE_STATUS_EOF) break;
    if (St != SANE_STATUS_GOOD) return St;
    if (got <= 0) {
      if (++empty > kMaxEmptyReads) return SANE_STATUS_IO_ERROR;
      continue;
    }
    got = std::min<SANE_Int>(got, static_cast<SANE_Int>(Buf.size()));
    int64_t keep = got;
    if (Expected > 0) keep = std::clamp<int64_t>(Expected - static_cast<int64_t>(Out.size()), 0, got);
    else if (static_cast<int64_t>(Out.size()) + got > kMaxPageBytes) return SANE_STATUS_NO_MEM;
    Out.insert(Out.end(), Buf.begin(), Buf.begin() + keep);
  }
  if (Expected > 0 && static_cast<int64_t>(Out.size()) < Expected) return SANE_STATUS_IO_ERROR;  // short
  Lines = static_cast<int>(static_cast<int64_t>(Out.size()) / Bpl);
  if (Lines < 1 || Lines > kMaxSide) return SANE_STATUS_IO_ERROR;
  return SANE_STATUS_GOOD;
}

// One sample of a SANE line at depth 1, 8 or 16 (16-bit samples are in the machine's order),
// reduced to 8 bits.
inline uint8_t Sample(const uint8_t* Line, int64_t i, int Depth) {
  if (Depth == 8) return Line[i];
  if (Depth == 16) {
    uint16_t v;
    std::memcpy(&v, Line + 2 * i, 2);
    return static_cast<uint8_t>(v >> 8);
  }
  return (Line[i >> 3] >> (7 - (i & 7))) & 1 ? 0 : 255;  // SANE's 1-bit data: 1 is black
}

// Starts the page (sane_start unless already started) and reads all of its frames into S.Current.
SANE_Status ReadPage(Source& S) {
  S.HavePage = false;
  Page& Pg = S.Current;
  Pg = Page();
  if (S.StartError != SANE_STATUS_GOOD) {
    const SANE_Status St = S.StartError;
    S.StartError = SANE_STATUS_GOOD;
    return St;
  }
  std::vector<uint8_t> Planes[3];
  bool Three = false;
  for (int frame = 0; frame < 3; ++frame) {
    if (!S.Started) {
      const SANE_Status St = sane_start(S.H);
      if (St != SANE_STATUS_GOOD) return St;
      S.Started = true;
    }
    SANE_Parameters P{};
    SANE_Status St = sane_get_parameters(S.H, &P);
    if (St != SANE_STATUS_GOOD) return St;
    if (P.pixels_per_line < 1 || P.pixels_per_line > kMaxSide || P.lines > kMaxSide ||
        (P.depth != 1 && P.depth != 8 && P.depth != 16) || P.bytes_per_line < 1 || P.bytes_per_line > (1 << 24))
      return SANE_STATUS_INVAL;
    const int Channels = P.format == SANE_FRAME_RGB ? 3 : 1;
    if (P.format != SANE_FRAME_GRAY && P.format != SANE_FRAME_RGB && P.format != SANE_FRAME_RED &&
        P.format != SANE_FRAME_GREEN && P.format != SANE_FRAME_BLUE)
      return SANE_STATUS_UNSUPPORTED;
    if (static_cast<int64_t>(P.bytes_per_line) * 8 < static_cast<int64_t>(P.pixels_per_line) * Channels * P.depth)
      return SANE_STATUS_INVAL;  // a line too short for its pixels
    std::vector<uint8_t> Raw;
    int Lines = 0;
    St = ReadFrame(S.H, P, Raw, Lines);
    if (St != SANE_STATUS_GOOD) return St;
    const int W = P.pixels_per_line;
    if (frame > 0 && (W != Pg.Width || Lines != Pg.Height)) return SANE_STATUS_INVAL;  // frames disagree
    if (static_cast<int64_t>(W) * Lines * 3 > kMaxPageBytes) return SANE_STATUS_NO_MEM;
    Pg.Width = W;
    Pg.Height = Lines;
    if (P.format == SANE_FRAME_GRAY || P.format == SANE_FRAME_RGB) {
      if (P.format == SANE_FRAME_GRAY && P.depth == 1) {
        Pg.PixelType = TWPT_BW;
        Pg.Bpp = 1;
        Pg.Rows.assign(Pg.RowBytes() * Lines, 0);
        for (int y = 0; y < Lines; ++y) {
          const uint8_t* s = Raw.data() + static_cast<int64_t>(y) * P.bytes_per_line;
          uint8_t* d = Pg.Rows.data() + Pg.RowBytes() * y;
          for (size_t i = 0; i < Pg.RowBytes(); ++i) d[i] = static_cast<uint8_t>(~s[i]);
          if (W % 8) d[Pg.RowBytes() - 1] &= static_cast<uint8_t>(0xff00 >> (W % 8));
        }
      } else {
        Pg.PixelType = Channels == 3 ? TWPT_RGB : TWPT_GRAY;
        Pg.Bpp = Channels * 8;
        Pg.Rows.resize(Pg.RowBytes() * Lines);
        for (int y = 0; y < Lines; ++y) {
          const uint8_t* s = Raw.data() + static_cast<int64_t>(y) * P.bytes_per_line;
          uint8_t* d = Pg.Rows.data() + Pg.RowBytes() * y;
          for (int64_t i = 0; i < static_cast<int64_t>(W) * Channels; ++i) d[i] = Sample(s, i, P.depth);
        }
      }
      if (P.last_frame) break;
      return SANE_STATUS_INVAL;  // a grey or colour frame must be the only one
    }
    // One colour of a three-pass scan.
    Three = true;
    const int c = P.format == SANE_FRAME_RED ? 0 : P.format == SANE_FRAME_GREEN ? 1 : 2;
    Planes[c].resize(static_cast<size_t>(W) * Lines);
    for (int y = 0; y < Lines; ++y) {
      const uint8_t* s = Raw.data() + static_cast<int64_t>(y) * P.bytes_per_line;
      for (int x = 0; x < W; ++x) Planes[c][static_cast<size_t>(y) * W + x] = Sample(s, x, P.depth);
    }
    if (P.last_frame) break;
    S.Started = false;  // the next frame needs its own sane_start
  }
  if (Three) {
    Pg.PixelType = TWPT_RGB;
    Pg.Bpp = 24;
    const size_t n = static_cast<size_t>(Pg.Width) * Pg.Height;
    Pg.Rows.assign(n * 3, 0);
    for (int c = 0; c < 3; ++c)
      if (Planes[c].size() == n)
        for (size_t i = 0; i < n; ++i) Pg.Rows[i * 3 + c] = Planes[c][i];
  }
  S.HavePage = true;
  return SANE_STATUS_GOOD;
}

// ---- Capabilities ------------------------------------------------------------------------------------

double Resolution(const Source& S, bool Y) {
  double v = 0;
  if (S.Opt.GetNumber(Y ? SANE_NAME_SCAN_Y_RESOLUTION : SANE_NAME_SCAN_X_RESOLUTION, v)) return v;
  if (S.Opt.GetNumber(SANE_NAME_SCAN_RESOLUTION, v)) return v;
  return 0;
}

const char* ResolutionOption(const Source& S, bool Y) {
  const char* own = Y ? SANE_NAME_SCAN_Y_RESOLUTION : SANE_NAME_SCAN_X_RESOLUTION;
  return S.Opt.Find(own) != nullptr ? own : SANE_NAME_SCAN_RESOLUTION;
}

// Converts a length in millimetres to the current units and back.
double FromMm(const Source& S, double Mm, bool Y) {
  if (S.Units == TWUN_CENTIMETERS) return Mm / 10;
  if (S.Units == TWUN_PIXELS) return Mm / kMmPerInch * Resolution(S, Y);
  return Mm / kMmPerInch;
}
double ToMm(const Source& S, double V, bool Y) {
  if (S.Units == TWUN_CENTIMETERS) return V * 10;
  if (S.Units == TWUN_PIXELS) {
    const double r = Resolution(S, Y);
    return r > 0 ? V / r * kMmPerInch : 0;
  }
  return V * kMmPerInch;
}

// The pixel types the device offers, with the SANE mode and depth giving each.
struct TypeChoice {
  int Type;
  std::string Mode;
  int Depth;  // 0: leave the depth alone
};

std::vector<TypeChoice> PixelTypes(const Source& S) {
  std::vector<TypeChoice> out;
  auto add = [&](int t, const std::string& mode, int depth) {
    for (const TypeChoice& c : out)
      if (c.Type == t) return;
    out.push_back({t, mode, depth});
  };
  std::vector<double> depths;
  bool range = false;
  S.Opt.Allowed(SANE_NAME_BIT_DEPTH, depths, range);
  const bool depth1 = !range && std::find(depths.begin(), depths.end(), 1.0) != depths.end();
  const bool depth8 = depths.empty() || range || std::find(depths.begin(), depths.end(), 8.0) != depths.end();
  for (const std::string& m : S.Opt.StringList(SANE_NAME_SCAN_MODE)) {
    const int t = ModePixelType(m);
    if (t == TWPT_BW) add(t, m, 0);
    if (t == TWPT_GRAY) add(t, m, depth8 && !depths.empty() ? 8 : 0);
    if (t == TWPT_RGB) add(t, m, depth8 && !depths.empty() ? 8 : 0);
  }
  // Grey at depth 1 is lineart on devices without a lineart mode.
  if (depth1)
    for (const std::string& m : S.Opt.StringList(SANE_NAME_SCAN_MODE))
      if (ModePixelType(m) == TWPT_GRAY) add(TWPT_BW, m, 1);
  std::sort(out.begin(), out.end(), [](const TypeChoice& a, const TypeChoice& b) { return a.Type < b.Type; });
  return out;
}

int CurrentPixelType(const Source& S) {
  std::string mode;
  if (!S.Opt.GetString(SANE_NAME_SCAN_MODE, mode)) return TWPT_RGB;
  const int t = ModePixelType(mode);
  double depth = 8;
  if (t == TWPT_GRAY && S.Opt.GetNumber(SANE_NAME_BIT_DEPTH, depth) && depth == 1) return TWPT_BW;
  return t < 0 ? TWPT_RGB : t;
}

bool HasFeeder(const Source& S) {
  for (const std::string& v : S.Opt.StringList(SANE_NAME_SCAN_SOURCE))
    if (IsFeederSource(v)) return true;
  return false;
}

bool FeederSelected(const Source& S) {
  std::string v;
  return S.Opt.GetString(SANE_NAME_SCAN_SOURCE, v) && IsFeederSource(v);
}

bool HasDuplex(const Source& S) {
  for (const std::string& v : S.Opt.StringList(SANE_NAME_SCAN_SOURCE))
    if (ContainsNoCase(v, "duplex")) return true;
  return false;
}

// Selects the first source value that is (or is not) a feeder, preferring duplex when asked.
SANE_Status SelectSource(const Source& S, bool Feeder, bool Duplex) {
  const std::vector<std::string> list = S.Opt.StringList(SANE_NAME_SCAN_SOURCE);
  const std::string* pick = nullptr;
  for (const std::string& v : list)
    if (IsFeederSource(v) == Feeder && (!Feeder || ContainsNoCase(v, "duplex") == Duplex)) {
      pick = &v;
      break;
    }
  if (pick == nullptr)
    for (const std::string& v : list)
      if (IsFeederSource(v) == Feeder) {
        pick = &v;
        break;
      }
  if (pick == nullptr) return Feeder ? SANE_STATUS_UNSUPPORTED : SANE_STATUS_GOOD;
  return S.Opt.SetString(SANE_NAME_SCAN_SOURCE, *pick);
}

const TW_UINT16 kSupported[] = {CAP_SUPPORTEDCAPS,  CAP_XFERCOUNT,       CAP_UICONTROLLABLE, ICAP_XFERMECH,
                                ICAP_UNITS,         ICAP_PIXELTYPE,      ICAP_BITDEPTH,      ICAP_PIXELFLAVOR,
                                ICAP_PLANARCHUNKY,  ICAP_COMPRESSION,    ICAP_XRESOLUTION,   ICAP_YRESOLUTION,
                                ICAP_XSCALING,      ICAP_YSCALING,       ICAP_PHYSICALWIDTH, ICAP_PHYSICALHEIGHT,
                                CAP_FEEDERENABLED,  CAP_DUPLEXENABLED,   CAP_INDICATORS,     ICAP_ORIENTATION};

// The container MSG_GET returns for a capability (Con says which kind); nullptr with CC set when
// there is none.
void* GetCapability(Source& S, TW_UINT16 Cap, bool CurrentOnly, TW_UINT16& Con) {
  auto OneValue = [&](TW_UINT16 Type, TW_UINT32 Item) {
    Con = TWON_ONEVALUE;
    return corvex::sanedsm::OneValue(Type, Item);
  };
  auto Enumeration = [&](TW_UINT16 Type, const std::vector<TW_UINT32>& Items, size_t Current) {
    Con = TWON_ENUMERATION;
    return corvex::sanedsm::Enumeration(Type, Items, Current);
  };
  auto Array = [&](TW_UINT16 Type, const std::vector<TW_UINT32>& Items) {
    Con = TWON_ARRAY;
    return corvex::sanedsm::Array(Type, Items);
  };
  auto Range = [&](double Min, double Max, double Step, double Current) {
    Con = TWON_RANGE;
    return corvex::sanedsm::Range(Min, Max, Step, Current);
  };
  switch (Cap) {
    case CAP_SUPPORTEDCAPS: return Array(TWTY_UINT16, std::vector<TW_UINT32>(std::begin(kSupported), std::end(kSupported)));
    case CAP_XFERCOUNT: return OneValue(TWTY_INT16, 0xffff);
    case CAP_UICONTROLLABLE: return OneValue(TWTY_BOOL, 1);
    case ICAP_XFERMECH:
      return CurrentOnly ? OneValue(TWTY_UINT16, S.Memory ? TWSX_MEMORY : TWSX_NATIVE)
                         : Enumeration(TWTY_UINT16, {TWSX_NATIVE, TWSX_MEMORY}, S.Memory ? 1 : 0);
    case ICAP_UNITS: {
      const std::vector<TW_UINT32> u = {TWUN_INCHES, TWUN_CENTIMETERS, TWUN_PIXELS};
      const size_t cur = static_cast<size_t>(std::find(u.begin(), u.end(), TW_UINT32(S.Units)) - u.begin());
      return CurrentOnly ? OneValue(TWTY_UINT16, static_cast<TW_UINT32>(S.Units)) : Enumeration(TWTY_UINT16, u, cur);
    }
    case ICAP_PIXELTYPE: {
      const int cur = CurrentPixelType(S);
      if (CurrentOnly) return OneValue(TWTY_UINT16, static_cast<TW_UINT32>(cur));
      std::vector<TW_UINT32> items;
      size_t idx = 0;
      for (const TypeChoice& c : PixelTypes(S)) {
        if (c.Type == cur) idx = items.size();
        items.push_back(static_cast<TW_UINT32>(c.Type));
      }
      if (items.empty()) items.push_back(static_cast<TW_UINT32>(cur));
      return Enumeration(TWTY_UINT16, items, idx);
    }
    case ICAP_BITDEPTH: {
      const int t = CurrentPixelType(S);
      return OneValue(TWTY_UINT16, t == TWPT_BW ? 1 : t == TWPT_GRAY ? 8 : 24);
    }
    case ICAP_PIXELFLAVOR: return OneValue(TWTY_UINT16, TWPF_CHOCOLATE);
    case ICAP_PLANARCHUNKY: return OneValue(TWTY_UINT16, TWPC_CHUNKY);
    case ICAP_COMPRESSION: return OneValue(TWTY_UINT16, TWCP_NONE);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      const bool Y = Cap == ICAP_YRESOLUTION;
      const double cur = Resolution(S, Y);
      std::vector<double> v;
      bool range = false;
      if (cur <= 0 || !S.Opt.Allowed(ResolutionOption(S, Y), v, range)) break;
      if (CurrentOnly) return OneValue(TWTY_FIX32, Fix(cur));
      if (range) return Range(v[0], v[1], v[2], cur);
      std::vector<TW_UINT32> items;
      size_t idx = 0;
      for (double d : v) {
        if (d == cur) idx = items.size();
        items.push_back(Fix(d));
      }
      return Enumeration(TWTY_FIX32, items, idx);
    }
    case ICAP_XSCALING:
    case ICAP_YSCALING: return OneValue(TWTY_FIX32, Fix(1.0));
    case ICAP_PHYSICALWIDTH:
    case ICAP_PHYSICALHEIGHT: {
      const bool Y = Cap == ICAP_PHYSICALHEIGHT;
      std::vector<double> v;
      bool range = false;
      if (!S.Opt.Allowed(Y ? SANE_NAME_SCAN_BR_Y : SANE_NAME_SCAN_BR_X, v, range) || v.empty()) break;
      const double mm = range ? v[1] : *std::max_element(v.begin(), v.end());
      return OneValue(TWTY_FIX32, Fix(FromMm(S, mm, Y)));
    }
    case CAP_FEEDERENABLED: return OneValue(TWTY_BOOL, S.Feeder ? 1 : 0);
    case CAP_DUPLEXENABLED: {
      std::string v;
      return OneValue(TWTY_BOOL, S.Opt.GetString(SANE_NAME_SCAN_SOURCE, v) && ContainsNoCase(v, "duplex") ? 1 : 0);
    }
    case CAP_INDICATORS: return OneValue(TWTY_BOOL, S.Indicators ? 1 : 0);
    case ICAP_ORIENTATION: return OneValue(TWTY_UINT16, TWOR_PORTRAIT);
    default: break;
  }
  S.CC = TWCC_CAPUNSUPPORTED;
  return nullptr;
}

// Sets a capability from a one-value container. TWRC_CHECKSTATUS when the device took a nearby
// value instead.
TW_UINT16 SetCapability(Source& S, TW_UINT16 Cap, TW_UINT16 ItemType, TW_UINT32 Item) {
  auto Bad = [&](TW_UINT16 cc) {
    S.CC = cc;
    return TWRC_FAILURE;
  };
  auto FromSane = [&](SANE_Status st, SANE_Int info) -> TW_UINT16 {
    if (st != SANE_STATUS_GOOD) return Bad(ConditionOf(st));
    return (info & SANE_INFO_INEXACT) ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
  };
  const TW_UINT32 v16 = Item & 0xffff;
  switch (Cap) {
    case CAP_XFERCOUNT: return TWRC_SUCCESS;  // pages come while the device has them
    case ICAP_XFERMECH:
      if (v16 != TWSX_NATIVE && v16 != TWSX_MEMORY) return Bad(TWCC_BADVALUE);
      S.Memory = v16 == TWSX_MEMORY;
      return TWRC_SUCCESS;
    case ICAP_UNITS:
      if (v16 != TWUN_INCHES && v16 != TWUN_CENTIMETERS && v16 != TWUN_PIXELS) return Bad(TWCC_BADVALUE);
      S.Units = static_cast<int>(v16);
      return TWRC_SUCCESS;
    case ICAP_PIXELTYPE: {
      for (const TypeChoice& c : PixelTypes(S)) {
        if (c.Type != static_cast<int>(v16)) continue;
        SANE_Status st = S.Opt.SetString(SANE_NAME_SCAN_MODE, c.Mode);
        if (st == SANE_STATUS_GOOD && c.Depth != 0 && S.Opt.Find(SANE_NAME_BIT_DEPTH) != nullptr)
          st = S.Opt.SetNumber(SANE_NAME_BIT_DEPTH, c.Depth);
        return FromSane(st, 0);
      }
      return Bad(TWCC_BADVALUE);
    }
    case ICAP_BITDEPTH: {
      const int t = CurrentPixelType(S);
      const bool ok = (t == TWPT_BW && v16 == 1) || (t == TWPT_GRAY && v16 == 8) || (t == TWPT_RGB && (v16 == 8 || v16 == 24));
      return ok ? TWRC_SUCCESS : Bad(TWCC_BADVALUE);
    }
    case ICAP_PIXELFLAVOR: return v16 == TWPF_CHOCOLATE ? TWRC_SUCCESS : Bad(TWCC_BADVALUE);
    case ICAP_PLANARCHUNKY: return v16 == TWPC_CHUNKY ? TWRC_SUCCESS : Bad(TWCC_BADVALUE);
    case ICAP_COMPRESSION: return v16 == TWCP_NONE ? TWRC_SUCCESS : Bad(TWCC_BADVALUE);
    case ICAP_ORIENTATION: return v16 == TWOR_PORTRAIT ? TWRC_SUCCESS : Bad(TWCC_BADVALUE);
    case ICAP_XSCALING:
    case ICAP_YSCALING:
      return ItemType == TWTY_FIX32 && FIX32ToFloat(ItemToFIX32(Item)) == 1.0 ? TWRC_SUCCESS : Bad(TWCC_BADVALUE);
    case ICAP_XRESOLUTION:
    case ICAP_YRESOLUTION: {
      if (ItemType != TWTY_FIX32) return Bad(TWCC_BADVALUE);
      const bool Y = Cap == ICAP_YRESOLUTION;
      const double dpi = FIX32ToFloat(ItemToFIX32(Item));
      if (dpi <= 0) return Bad(TWCC_BADVALUE);
      SANE_Int info = 0;
      return FromSane(S.Opt.SetNumber(ResolutionOption(S, Y), dpi, &info), info);
    }
    case CAP_FEEDERENABLED: {
      const bool on = v16 != 0;
      if (on && !HasFeeder(S)) return Bad(TWCC_BADVALUE);
      const SANE_Status st = SelectSource(S, on, false);
      if (st != SANE_STATUS_GOOD) return Bad(ConditionOf(st));
      S.Feeder = on;
      return TWRC_SUCCESS;
    }
    case CAP_DUPLEXENABLED: {
      const bool on = v16 != 0;
      if (on && !HasDuplex(S)) return Bad(TWCC_BADVALUE);
      if (!on && !FeederSelected(S)) return TWRC_SUCCESS;
      const SANE_Status st = SelectSource(S, S.Feeder || on, on);
      return st == SANE_STATUS_GOOD ? TWRC_SUCCESS : Bad(ConditionOf(st));
    }
    case CAP_INDICATORS: S.Indicators = v16 != 0; return TWRC_SUCCESS;
    default: return Bad(TWCC_CAPUNSUPPORTED);
  }
}

// Applies "name=value" lines to the device's options. Booleans take yes/no, true/false, on/off
// or 1/0; numbers are read without the locale; a button ("name" alone) is pressed.
bool ApplySettings(Source& S, const std::string& Text) {
  size_t start = 0;
  while (start <= Text.size()) {
    size_t end = Text.find('\n', start);
    if (end == std::string::npos) end = Text.size();
    std::string line = Text.substr(start, end - start);
    start = end + 1;
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    if (line.empty()) {
      if (end >= Text.size()) break;
      continue;
    }
    const size_t eq = line.find('=');
    const std::string name = line.substr(0, eq);
    const std::string value = eq == std::string::npos ? std::string() : line.substr(eq + 1);
    int n = 0;
    const SANE_Option_Descriptor* d = S.Opt.Find(name, &n);
    if (d == nullptr || !SANE_OPTION_IS_SETTABLE(d->cap)) return false;
    SANE_Status st = SANE_STATUS_INVAL;
    switch (d->type) {
      case SANE_TYPE_BOOL: {
        SANE_Word w;
        if (value == "yes" || value == "true" || value == "on" || value == "1") w = SANE_TRUE;
        else if (value == "no" || value == "false" || value == "off" || value == "0") w = SANE_FALSE;
        else return false;
        st = sane_control_option(S.H, n, SANE_ACTION_SET_VALUE, &w, nullptr);
        break;
      }
      case SANE_TYPE_INT:
      case SANE_TYPE_FIXED: {
        double v = 0;
        if (!ParseNumber(value, v)) return false;
        st = S.Opt.SetNumber(name, v);
        break;
      }
      case SANE_TYPE_STRING: st = S.Opt.SetString(name, value); break;
      case SANE_TYPE_BUTTON: st = sane_control_option(S.H, n, SANE_ACTION_SET_VALUE, nullptr, nullptr); break;
      default: return false;
    }
    if (st != SANE_STATUS_GOOD) return false;
    if (end >= Text.size()) break;
  }
  // The options may have changed which others are active.
  S.Opt.Load(S.H);
  S.Feeder = FeederSelected(S);
  return true;
}

// ---- Transfers ----------------------------------------------------------------------------------------

// A packed device-independent bitmap of the page: the 40-byte header, the colour table (2 or 256
// entries for 1- and 8-bit pages) and bottom-up rows padded to 4 bytes; malloc'ed.
void* MakeDIB(const Source& S) {
  const Page& P = S.Current;
  const int Bits = P.Bpp;
  const int Colors = Bits == 1 ? 2 : Bits == 8 ? 256 : 0;
  const size_t Stride = ((static_cast<size_t>(P.Width) * Bits + 31) / 32) * 4;
  const size_t Size = 40 + 4 * Colors + Stride * P.Height;
  auto* D = static_cast<uint8_t*>(std::calloc(1, Size));
  if (D == nullptr) return nullptr;
  auto Put32 = [&](size_t off, uint32_t v) { std::memcpy(D + off, &v, 4); };
  auto Put16 = [&](size_t off, uint16_t v) { std::memcpy(D + off, &v, 2); };
  Put32(0, 40);
  Put32(4, static_cast<uint32_t>(P.Width));
  Put32(8, static_cast<uint32_t>(P.Height));
  Put16(12, 1);
  Put16(14, static_cast<uint16_t>(Bits));
  Put32(20, static_cast<uint32_t>(Stride * P.Height));
  const uint32_t ppm = static_cast<uint32_t>(std::lround(Resolution(S, false) / kMmPerInch * 1000));
  Put32(24, ppm);
  Put32(28, static_cast<uint32_t>(std::lround(Resolution(S, true) / kMmPerInch * 1000)));
  Put32(32, static_cast<uint32_t>(Colors));
  uint8_t* Pal = D + 40;
  for (int i = 0; i < Colors; ++i) {
    const uint8_t g = static_cast<uint8_t>(Colors == 2 ? i * 255 : i);
    Pal[i * 4] = Pal[i * 4 + 1] = Pal[i * 4 + 2] = g;  // chocolate: 0 is black
  }
  uint8_t* Bits0 = Pal + 4 * Colors;
  for (int y = 0; y < P.Height; ++y) {
    const uint8_t* s = P.Rows.data() + P.RowBytes() * y;
    uint8_t* d = Bits0 + Stride * (P.Height - 1 - y);
    if (Bits == 24) {
      for (int x = 0; x < P.Width; ++x, s += 3, d += 3) {
        d[0] = s[2];
        d[1] = s[1];
        d[2] = s[0];
      }
    } else {
      std::memcpy(d, s, P.RowBytes());
    }
  }
  return D;
}

void EndBatch(Source& S) {
  if (S.Started) sane_cancel(S.H);
  S.Started = false;
  S.StartError = SANE_STATUS_GOOD;
  S.HavePage = false;
  S.Current = Page();
}

// Makes sure the page about to be transferred has been read; false with CC set when it fails.
bool EnsurePage(Source& S) {
  if (S.HavePage) return true;
  const SANE_Status St = ReadPage(S);
  if (St == SANE_STATUS_GOOD) return true;
  S.CC = ConditionOf(St);
  EndBatch(S);
  return false;
}

TW_UINT16 Fail(TW_UINT16& Slot, TW_UINT16 CC) {
  Slot = CC;
  return TWRC_FAILURE;
}

SourceSettings ReadSettings(const Source& S) {
  SourceSettings Set;
  Set.PixelTypes.clear();
  for (const TypeChoice& c : PixelTypes(S)) Set.PixelTypes.push_back(c.Type);
  Set.PixelType = CurrentPixelType(S);
  Set.Resolution = Resolution(S, false);
  std::vector<double> v;
  bool range = false;
  if (S.Opt.Allowed(ResolutionOption(S, false), v, range)) {
    if (range) {
      for (double r : {75.0, 100.0, 150.0, 200.0, 300.0, 600.0, 1200.0})
        if (r >= v[0] && r <= v[1]) Set.Resolutions.push_back(r);
      if (std::find(Set.Resolutions.begin(), Set.Resolutions.end(), Set.Resolution) == Set.Resolutions.end())
        Set.Resolutions.push_back(Set.Resolution);
      std::sort(Set.Resolutions.begin(), Set.Resolutions.end());
    } else {
      Set.Resolutions = v;
    }
  }
  Set.HasFeeder = HasFeeder(S);
  Set.Feeder = S.Feeder;
  return Set;
}

bool ApplyDialogSettings(Source& S, const SourceSettings& Set) {
  if (SetCapability(S, ICAP_PIXELTYPE, TWTY_UINT16, static_cast<TW_UINT32>(Set.PixelType)) == TWRC_FAILURE) return false;
  if (Set.Resolution > 0) {
    const TW_UINT32 r = Fix(Set.Resolution);
    if (SetCapability(S, ICAP_XRESOLUTION, TWTY_FIX32, r) == TWRC_FAILURE) return false;
    if (S.Opt.Find(SANE_NAME_SCAN_Y_RESOLUTION) != nullptr &&
        SetCapability(S, ICAP_YRESOLUTION, TWTY_FIX32, r) == TWRC_FAILURE)
      return false;
  }
  if (Set.HasFeeder && SetCapability(S, CAP_FEEDERENABLED, TWTY_BOOL, Set.Feeder ? 1 : 0) == TWRC_FAILURE)
    return false;
  return true;
}

// ---- Triplets addressed to a source -------------------------------------------------------------------

TW_UINT16 SourceEntry(Manager& m, Source& S, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  if (DG == DG_CONTROL && DAT == DAT_STATUS) {
    if (MSG != MSG_GET || Data == nullptr) return Fail(S.CC, TWCC_BADPROTOCOL);
    auto* St = static_cast<TW_STATUS*>(Data);
    St->ConditionCode = S.CC;
    St->Reserved = 0;
    S.CC = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (DG == DG_CONTROL && DAT == DAT_EVENT) {
    if (MSG != MSG_PROCESSEVENT || Data == nullptr) return Fail(S.CC, TWCC_BADPROTOCOL);
    if (S.State < 5) return Fail(S.CC, TWCC_SEQERROR);
    auto* E = static_cast<TW_EVENT*>(Data);
    E->TWMessage = MSG_NULL;
    if (S.Events.empty()) return TWRC_NOTDSEVENT;
    E->TWMessage = S.Events.front();
    S.Events.pop_front();
    if (E->TWMessage == MSG_XFERREADY) S.State = 6;
    return TWRC_DSEVENT;
  }
  if (Data == nullptr) return Fail(S.CC, TWCC_BADVALUE);

  if (DG == DG_CONTROL && DAT == DAT_CAPABILITY) {
    auto* C = static_cast<TW_CAPABILITY*>(Data);
    const TW_UINT16 Cap = C->Cap;
    switch (MSG) {
      case MSG_GET:
      case MSG_GETCURRENT:
      case MSG_GETDEFAULT: {
        TW_UINT16 Con = TWON_ONEVALUE;
        void* c = GetCapability(S, Cap, MSG != MSG_GET, Con);
        if (c == nullptr) return TWRC_FAILURE;
        C->ConType = Con;
        C->hContainer = c;
        return TWRC_SUCCESS;
      }
      case MSG_SET: {
        if (S.State != 4) return Fail(S.CC, TWCC_SEQERROR);
        if (C->ConType != TWON_ONEVALUE || C->hContainer == nullptr) return Fail(S.CC, TWCC_BADVALUE);
        const auto* V = static_cast<const TW_ONEVALUE*>(C->hContainer);
        return SetCapability(S, Cap, TW_UINT16{V->ItemType}, TW_UINT32{V->Item});
      }
      case MSG_QUERYSUPPORT: {
        TW_UINT16 Con = TWON_ONEVALUE;
        void* probe = GetCapability(S, Cap, true, Con);
        const bool known = probe != nullptr;
        std::free(probe);
        S.CC = TWCC_SUCCESS;
        C->ConType = TWON_ONEVALUE;
        C->hContainer = OneValue(TWTY_INT32, known ? 0x3f : 0);
        return TWRC_SUCCESS;
      }
      default: return Fail(S.CC, TWCC_CAPBADOPERATION);
    }
  }

  if (DG == DG_CONTROL && DAT == DAT_CUSTOMDSDATA) {
    auto* C = static_cast<TW_CUSTOMDSDATA*>(Data);
    if (MSG == MSG_GET) {
      void* block = std::calloc(1, S.CustomData.size() + 1);
      if (block == nullptr) return Fail(S.CC, TWCC_LOWMEMORY);
      std::memcpy(block, S.CustomData.data(), S.CustomData.size());
      C->InfoLength = static_cast<TW_UINT32>(S.CustomData.size());
      C->hData = block;
      return TWRC_SUCCESS;
    }
    if (MSG != MSG_SET) return Fail(S.CC, TWCC_BADPROTOCOL);
    if (S.State != 4) return Fail(S.CC, TWCC_SEQERROR);
    const TW_UINT32 Len = C->InfoLength;
    if (Len > (1u << 20) || (Len > 0 && C->hData == nullptr)) return Fail(S.CC, TWCC_BADVALUE);
    const std::string Text(static_cast<const char*>(C->hData), Len);
    if (!ApplySettings(S, Text)) return Fail(S.CC, TWCC_BADVALUE);
    S.CustomData = Text;
    return TWRC_SUCCESS;
  }

  if (DG == DG_CONTROL && DAT == DAT_USERINTERFACE) {
    auto* UI = static_cast<TW_USERINTERFACE*>(Data);
    if (MSG == MSG_ENABLEDS) {
      if (S.State != 4) return Fail(S.CC, TWCC_SEQERROR);
      S.State = 5;
      S.Events.clear();
      bool Go = true;
      if (UI->ShowUI != 0 && SettingsDialogAvailable()) {
        SourceSettings Set = ReadSettings(S);
        Go = RunSettingsDialog(CXTWName(S.Id.ProductName), Set);
        if (Go && !ApplyDialogSettings(S, Set)) {
          S.State = 4;
          return Fail(S.CC, TWCC_BADVALUE);
        }
      }
      S.Events.push_back(Go ? MSG_XFERREADY : MSG_CLOSEDSREQ);
      return TWRC_SUCCESS;
    }
    if (MSG == MSG_DISABLEDS) {
      if (S.State != 5) return Fail(S.CC, TWCC_SEQERROR);
      EndBatch(S);
      S.Events.clear();
      S.State = 4;
      return TWRC_SUCCESS;
    }
    return Fail(S.CC, TWCC_BADPROTOCOL);
  }

  if (DG == DG_CONTROL && DAT == DAT_PENDINGXFERS) {
    auto* P = static_cast<TW_PENDINGXFERS*>(Data);
    P->Reserved = 0;
    if (MSG == MSG_GET) {
      P->Count = S.State >= 6 ? 1 : 0;
      return TWRC_SUCCESS;
    }
    if (MSG == MSG_ENDXFER) {
      if (S.State != 6 && S.State != 7) return Fail(S.CC, TWCC_SEQERROR);
      S.HavePage = false;
      S.Current = Page();
      bool More = false;
      if (S.Feeder && S.Started) {
        // The next sheet: pending unless the feeder is empty. A sheet that cannot start (a jam)
        // is still pending, and fails when the application asks for it: the pages already
        // transferred stay the application's, and DAT_STATUS says why the batch ended.
        const SANE_Status St = sane_start(S.H);
        More = St != SANE_STATUS_NO_DOCS;
        if (St != SANE_STATUS_GOOD) S.StartError = St;
      }
      if (!More) EndBatch(S);
      P->Count = More ? 1 : 0;
      S.State = More ? 6 : 5;
      return TWRC_SUCCESS;
    }
    if (MSG == MSG_RESET) {
      if (S.State != 6) return Fail(S.CC, TWCC_SEQERROR);
      EndBatch(S);
      P->Count = 0;
      S.State = 5;
      return TWRC_SUCCESS;
    }
    return Fail(S.CC, TWCC_BADPROTOCOL);
  }

  if (DG == DG_CONTROL && DAT == DAT_SETUPMEMXFER) {
    if (MSG != MSG_GET) return Fail(S.CC, TWCC_BADPROTOCOL);
    auto* X = static_cast<TW_SETUPMEMXFER*>(Data);
    TW_UINT32 Row = 1;
    if (S.State >= 6) {
      if (!EnsurePage(S)) return TWRC_FAILURE;
      Row = static_cast<TW_UINT32>(S.Current.RowBytes());
    }
    X->MinBufSize = Row;
    X->MaxBufSize = std::max<TW_UINT32>(Row, 16u << 20);
    X->Preferred = std::max<TW_UINT32>(Row, (65536 / Row) * Row);
    return TWRC_SUCCESS;
  }

  if (DG == DG_IMAGE && DAT == DAT_IMAGEINFO) {
    if (MSG != MSG_GET) return Fail(S.CC, TWCC_BADPROTOCOL);
    if (S.State != 6 && S.State != 7) return Fail(S.CC, TWCC_SEQERROR);
    if (!EnsurePage(S)) return TWRC_FAILURE;
    auto* I = static_cast<TW_IMAGEINFO*>(Data);
    const Page& P = S.Current;
    *I = TW_IMAGEINFO{};
    I->XResolution = FloatToFIX32(Resolution(S, false));
    I->YResolution = FloatToFIX32(Resolution(S, true));
    I->ImageWidth = P.Width;
    I->ImageLength = P.Height;
    I->SamplesPerPixel = static_cast<TW_INT16>(P.Bpp == 24 ? 3 : 1);
    const TW_INT16 Bps = static_cast<TW_INT16>(P.Bpp == 1 ? 1 : 8);
    for (int i = 0; i < I->SamplesPerPixel; ++i) I->BitsPerSample[i] = Bps;
    I->BitsPerPixel = static_cast<TW_INT16>(P.Bpp);
    I->Planar = 0;
    I->PixelType = static_cast<TW_INT16>(P.PixelType);
    I->Compression = TWCP_NONE;
    return TWRC_SUCCESS;
  }

  if (DG == DG_IMAGE && DAT == DAT_IMAGELAYOUT) {
    auto* L = static_cast<TW_IMAGELAYOUT*>(Data);
    static const char* const kEdges[4] = {SANE_NAME_SCAN_TL_X, SANE_NAME_SCAN_TL_Y, SANE_NAME_SCAN_BR_X,
                                          SANE_NAME_SCAN_BR_Y};
    if (MSG == MSG_SET) {
      if (S.State != 4) return Fail(S.CC, TWCC_SEQERROR);
      const TW_FIX32 F[4] = {L->Frame.Left, L->Frame.Top, L->Frame.Right, L->Frame.Bottom};
      const double v[4] = {FIX32ToFloat(F[0]), FIX32ToFloat(F[1]), FIX32ToFloat(F[2]), FIX32ToFloat(F[3])};
      if (!(v[2] > v[0]) || !(v[3] > v[1])) return Fail(S.CC, TWCC_BADVALUE);
      bool Inexact = false;
      for (int i = 0; i < 4; ++i) {
        SANE_Int info = 0;
        const SANE_Status st = S.Opt.SetNumber(kEdges[i], ToMm(S, v[i], i % 2 == 1), &info);
        if (st != SANE_STATUS_GOOD) return Fail(S.CC, ConditionOf(st));
        Inexact |= (info & SANE_INFO_INEXACT) != 0;
      }
      return Inexact ? TWRC_CHECKSTATUS : TWRC_SUCCESS;
    }
    if (MSG == MSG_GET || MSG == MSG_GETDEFAULT) {
      double mm[4] = {0, 0, 0, 0};
      for (int i = 0; i < 4; ++i)
        if (!S.Opt.GetNumber(kEdges[i], mm[i])) return Fail(S.CC, TWCC_CAPUNSUPPORTED);
      *L = TW_IMAGELAYOUT{};
      L->Frame.Left = FloatToFIX32(FromMm(S, mm[0], false));
      L->Frame.Top = FloatToFIX32(FromMm(S, mm[1], true));
      L->Frame.Right = FloatToFIX32(FromMm(S, mm[2], false));
      L->Frame.Bottom = FloatToFIX32(FromMm(S, mm[3], true));
      L->DocumentNumber = L->PageNumber = L->FrameNumber = 1;
      return TWRC_SUCCESS;
    }
    return Fail(S.CC, TWCC_BADPROTOCOL);
  }

  if (DG == DG_IMAGE && DAT == DAT_IMAGEMEMXFER) {
    if (MSG != MSG_GET) return Fail(S.CC, TWCC_BADPROTOCOL);
    if (S.State != 6 && S.State != 7) return Fail(S.CC, TWCC_SEQERROR);
    if (!EnsurePage(S)) return TWRC_FAILURE;
    auto* X = static_cast<TW_IMAGEMEMXFER*>(Data);
    Page& P = S.Current;
    const size_t Row = P.RowBytes();
    const TW_UINT32 Length = X->Memory.Length;
    if (X->Memory.TheMem == nullptr || Length < Row) return Fail(S.CC, TWCC_BADVALUE);
    if (P.NextRow >= P.Height) return Fail(S.CC, TWCC_SEQERROR);
    const int Rows = static_cast<int>(std::min<size_t>(Length / Row, static_cast<size_t>(P.Height - P.NextRow)));
    std::memcpy(X->Memory.TheMem, P.Rows.data() + Row * P.NextRow, Row * Rows);
    X->Compression = TWCP_NONE;
    X->BytesPerRow = static_cast<TW_UINT32>(Row);
    X->Columns = static_cast<TW_UINT32>(P.Width);
    X->Rows = static_cast<TW_UINT32>(Rows);
    X->XOffset = 0;
    X->YOffset = static_cast<TW_UINT32>(P.NextRow);
    X->BytesWritten = static_cast<TW_UINT32>(Row * Rows);
    P.NextRow += Rows;
    S.State = 7;
    return P.NextRow >= P.Height ? TWRC_XFERDONE : TWRC_SUCCESS;
  }

  if (DG == DG_IMAGE && DAT == DAT_IMAGENATIVEXFER) {
    if (MSG != MSG_GET) return Fail(S.CC, TWCC_BADPROTOCOL);
    if (S.State != 6) return Fail(S.CC, TWCC_SEQERROR);
    if (!EnsurePage(S)) return TWRC_FAILURE;
    void* D = MakeDIB(S);
    if (D == nullptr) return Fail(S.CC, TWCC_LOWMEMORY);
    *static_cast<TW_HANDLE*>(Data) = D;
    S.State = 7;
    return TWRC_XFERDONE;
  }
  (void)m;
  return Fail(S.CC, TWCC_BADPROTOCOL);
}

void CloseSource(Source& S) {
  EndBatch(S);
  if (S.H != nullptr) sane_close(S.H);
  S.H = nullptr;
}

// ---- Triplets addressed to the manager --------------------------------------------------------------

TW_UINT16 ManagerEntry(Manager& m, pTW_IDENTITY Origin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  if (DG != DG_CONTROL) return Fail(m.CC, TWCC_BADPROTOCOL);
  if (DAT == DAT_STATUS) {
    if (MSG != MSG_GET || Data == nullptr) return Fail(m.CC, TWCC_BADPROTOCOL);
    auto* St = static_cast<TW_STATUS*>(Data);
    St->ConditionCode = m.CC;
    St->Reserved = 0;
    m.CC = TWCC_SUCCESS;
    return TWRC_SUCCESS;
  }
  if (DAT == DAT_PARENT) {
    if (MSG == MSG_OPENDSM) {
      if (m.Open) return Fail(m.CC, TWCC_SEQERROR);
      SANE_Int version = 0;
      if (sane_init(&version, nullptr) != SANE_STATUS_GOOD) return Fail(m.CC, TWCC_BUMMER);
      m.Open = true;
      m.App = *Origin;
      m.App.Id = 1;
      Origin->Id = 1;
      m.Devices.clear();
      m.Cursor = 0;
      ReadDevices(m);
      return TWRC_SUCCESS;
    }
    if (MSG == MSG_CLOSEDSM) {
      if (!m.Open) return Fail(m.CC, TWCC_SEQERROR);
      for (auto& [id, S] : m.Sources) CloseSource(S);
      m.Sources.clear();
      m.Devices.clear();
      sane_exit();
      m.Open = false;
      return TWRC_SUCCESS;
    }
    return Fail(m.CC, TWCC_BADPROTOCOL);
  }
  if (DAT != DAT_IDENTITY) return Fail(m.CC, TWCC_BADPROTOCOL);
  if (!m.Open) return Fail(m.CC, TWCC_SEQERROR);
  if (Data == nullptr) return Fail(m.CC, TWCC_BADVALUE);
  auto* Id = static_cast<TW_IDENTITY*>(Data);
  switch (MSG) {
    case MSG_GETFIRST:
      m.Cursor = 0;
      [[fallthrough]];
    case MSG_GETNEXT:
      if (m.Cursor >= m.Devices.size()) return TWRC_ENDOFLIST;
      *Id = m.Devices[m.Cursor++];
      return TWRC_SUCCESS;
    case MSG_GETDEFAULT:
      if (m.Devices.empty()) return Fail(m.CC, TWCC_NODS);
      *Id = m.Devices.front();
      return TWRC_SUCCESS;
    case MSG_USERSELECT: {
      if (m.Devices.empty()) return Fail(m.CC, TWCC_NODS);
      std::vector<std::string> Names;
      for (const TW_IDENTITY& d : m.Devices) Names.push_back(CXTWName(d.ProductName));
      int Pick = 0;
      if (SettingsDialogAvailable() && !RunSelectDialog(Names, Pick)) return TWRC_CANCEL;
      *Id = m.Devices[static_cast<size_t>(std::clamp<int>(Pick, 0, static_cast<int>(Names.size()) - 1))];
      return TWRC_SUCCESS;
    }
    case MSG_OPENDS: {
      // By product name; an empty name (or Id 0 with an empty name) asks for the default source.
      const std::string Want = CXTWName(Id->ProductName);
      const TW_IDENTITY* Found = nullptr;
      for (const TW_IDENTITY& d : m.Devices)
        if (Want.empty() || CXTWName(d.ProductName) == Want) {
          Found = &d;
          break;
        }
      if (Found == nullptr) return Fail(m.CC, TWCC_NODS);
      for (const auto& [sid, S] : m.Sources)
        if (CXTWName(S.Id.ProductName) == CXTWName(Found->ProductName)) return Fail(m.CC, TWCC_MAXCONNECTIONS);
      SANE_Handle H = nullptr;
      const SANE_Status St = sane_open(Found->ProductName, &H);
      if (St != SANE_STATUS_GOOD || H == nullptr) return Fail(m.CC, ConditionOf(St));
      const TW_UINT32 Sid = ++m.NextId + 1000;
      Source& S = m.Sources[Sid];
      S.H = H;
      S.Id = *Found;
      S.Id.Id = Sid;
      S.Opt.Load(H);
      S.Feeder = FeederSelected(S);
      *Id = S.Id;
      return TWRC_SUCCESS;
    }
    case MSG_CLOSEDS: {
      auto it = m.Sources.find(TW_UINT32{Id->Id});
      if (it == m.Sources.end()) return Fail(m.CC, TWCC_NODS);
      if (it->second.State > 4) return Fail(m.CC, TWCC_SEQERROR);
      CloseSource(it->second);
      m.Sources.erase(it);
      return TWRC_SUCCESS;
    }
    default: return Fail(m.CC, TWCC_BADPROTOCOL);
  }
}

}  // namespace

std::string CXTWName(const TW_STR32& Field) { return std::string(Field, strnlen(Field, sizeof(TW_STR32))); }

bool ParseNumber(const std::string& Text, double& Value) {
  // Digits, one point, an optional sign: no locale, no exponent, no trailing text.
  if (Text.empty() || Text.size() > 32) return false;
  size_t i = 0;
  bool neg = false;
  if (Text[0] == '-' || Text[0] == '+') {
    neg = Text[0] == '-';
    i = 1;
  }
  double v = 0, scale = 0;
  bool digits = false;
  for (; i < Text.size(); ++i) {
    const char c = Text[i];
    if (c >= '0' && c <= '9') {
      digits = true;
      if (scale == 0) v = v * 10 + (c - '0');
      else {
        v += (c - '0') * scale;
        scale /= 10;
      }
    } else if (c == '.' && scale == 0) {
      scale = 0.1;
    } else {
      return false;
    }
  }
  if (!digits) return false;
  Value = neg ? -v : v;
  return true;
}

TW_UINT16 Entry(pTW_IDENTITY Origin, pTW_IDENTITY Dest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF Data) {
  Manager& m = M();
  std::lock_guard<std::recursive_mutex> lock(m.Lock);
  if (Origin == nullptr) return Fail(m.CC, TWCC_BADPROTOCOL);
  if (Dest == nullptr) return ManagerEntry(m, Origin, DG, DAT, MSG, Data);
  if (!m.Open) return Fail(m.CC, TWCC_SEQERROR);
  auto it = m.Sources.find(TW_UINT32{Dest->Id});
  if (it == m.Sources.end()) return Fail(m.CC, TWCC_BADDEST);
  return SourceEntry(m, it->second, DG, DAT, MSG, Data);
}

}  // namespace corvex::sanedsm

extern "C" __attribute__((visibility("default"))) corvex::TW_UINT16 DSM_Entry(
    corvex::pTW_IDENTITY pOrigin, corvex::pTW_IDENTITY pDest, corvex::TW_UINT32 DG, corvex::TW_UINT16 DAT,
    corvex::TW_UINT16 MSG, corvex::TW_MEMREF pData) {
  return corvex::sanedsm::Entry(pOrigin, pDest, DG, DAT, MSG, pData);
}
