// The parameter record, the JPEG marker list and the IPTC list, with their persisted layouts.
#include <algorithm>
#include <cstring>
#include <ctime>

#include "corvex/core/utils.h"
#include "corvex/io/CorvexIO.h"

namespace corvex {

TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC = nullptr;
TGIFLZWCompFunc DefGIF_LZWCOMPFUNC = nullptr;
TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC = nullptr;
TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC = nullptr;

namespace {

// Little-endian encodings of the persisted layouts.
void PutInt(TStream* s, int32_t v) {
  const uint32_t u = static_cast<uint32_t>(v);
  const uint8_t b[4] = {uint8_t(u), uint8_t(u >> 8), uint8_t(u >> 16), uint8_t(u >> 24)};
  s->WriteBuffer(b, 4);
}
void PutByte(TStream* s, uint8_t v) { s->WriteBuffer(&v, 1); }
void PutRGB(TStream* s, TRGB c) { s->WriteBuffer(&c, 3); }
void PutDbl(TStream* s, double v) { s->WriteBuffer(&v, 8); }
void PutStr(TStream* s, const std::string& t) { SaveStringToStream(s, t); }

int32_t GetInt(TStream* s) {
  uint8_t b[4];
  s->ReadBuffer(b, 4);
  return static_cast<int32_t>(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}
uint8_t GetByte(TStream* s) {
  uint8_t b;
  s->ReadBuffer(&b, 1);
  return b;
}
TRGB GetRGB(TStream* s) {
  TRGB c;
  s->ReadBuffer(&c, 3);
  return c;
}
double GetDbl(TStream* s) {
  double v;
  s->ReadBuffer(&v, 8);
  return v;
}
std::string GetStr(TStream* s) {
  std::string t;
  LoadStringFromStream(s, t);
  return t;
}
bool GetBool(TStream* s) { return GetByte(s) != 0; }

// A count or length read from a stream, refused when negative or larger than what is left in it
// (each item takes at least PerItem bytes), so that a damaged stream cannot make us allocate.
int32_t ReadCount(TStream* s, int64_t PerItem, const char* what) {
  const int32_t n = GetInt(s);
  const int64_t left = s->GetSize() - s->GetPosition();
  if (n < 0 || int64_t(n) * PerItem > left)
    throw EReadError(std::string("Invalid ") + what + " (" + std::to_string(n) + ") in " + s->Describe());
  return n;
}

template <class E>
E GetEnum(TStream* s) {
  return static_cast<E>(GetByte(s));
}

uint32_t BE32(const uint8_t* p) { return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | p[3]; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// TCXMarkerList

TCXMarkerList::Item TCXMarkerList::MakeItem(uint8_t Type, const void* Data, int Length) {
  Item it;
  it.type = Type;
  it.data = std::make_unique<TMemoryStream>();
  if (Data != nullptr && Length > 0) it.data->WriteBuffer(Data, Length);
  it.data->SetPosition(0);
  return it;
}

int TCXMarkerList::AddMarker(uint8_t Type, const void* Data, uint16_t Length) {
  Items_.push_back(MakeItem(Type, Data, Length));
  return GetCount() - 1;
}

void TCXMarkerList::InsertMarker(int Index, const void* Data, uint8_t Type, uint16_t Length) {
  Index = std::clamp(Index, 0, GetCount());
  Items_.insert(Items_.begin() + Index, MakeItem(Type, Data, Length));
}

void TCXMarkerList::SetMarker(int Index, uint8_t Type, const void* Data, uint16_t Length) {
  if (Valid(Index)) Items_[size_t(Index)] = MakeItem(Type, Data, Length);
}

void TCXMarkerList::DeleteMarker(int Index) {
  if (Valid(Index)) Items_.erase(Items_.begin() + Index);
}

void TCXMarkerList::Clear() { Items_.clear(); }

uint8_t TCXMarkerList::GetMarkerType(int Index) const { return Valid(Index) ? Items_[size_t(Index)].type : 0; }

int TCXMarkerList::GetMarkerLength(int Index) const {
  return Valid(Index) ? static_cast<int>(Items_[size_t(Index)].data->GetSize()) : 0;
}

const uint8_t* TCXMarkerList::GetMarkerData(int Index) const {
  return Valid(Index) ? Items_[size_t(Index)].data->Memory() : nullptr;
}

TMemoryStream* TCXMarkerList::GetMarkerStream(int Index) {
  if (!Valid(Index)) return nullptr;
  Items_[size_t(Index)].data->SetPosition(0);
  return Items_[size_t(Index)].data.get();
}

int TCXMarkerList::IndexOf(uint8_t Type) const {
  for (int i = 0; i < GetCount(); ++i)
    if (Items_[size_t(i)].type == Type) return i;
  return -1;
}

void TCXMarkerList::Assign(const TCXMarkerList* Source) {
  if (Source == nullptr || Source == this) return;
  std::vector<Item> copy;
  for (const Item& it : Source->Items_)
    copy.push_back(MakeItem(it.type, it.data->Memory(), static_cast<int>(it.data->GetSize())));
  Items_.swap(copy);
}

void TCXMarkerList::SaveToStream(TStream* Stream) const {
  PutByte(Stream, 0);
  PutInt(Stream, GetCount());
  for (const Item& it : Items_) {
    PutByte(Stream, it.type);
    PutInt(Stream, static_cast<int32_t>(it.data->GetSize()));
    Stream->WriteBuffer(it.data->Memory(), it.data->GetSize());
  }
}

void TCXMarkerList::LoadFromStream(TStream* Stream) {
  GetByte(Stream);  // not interpreted
  const int32_t n = ReadCount(Stream, 5, "marker count");
  std::vector<Item> items;
  for (int32_t i = 0; i < n; ++i) {
    const uint8_t type = GetByte(Stream);
    const int32_t len = ReadCount(Stream, 1, "marker length");
    std::vector<uint8_t> data(static_cast<size_t>(len));
    Stream->ReadBuffer(data.data(), len);
    items.push_back(MakeItem(type, data.data(), len));
  }
  Items_.swap(items);
}

// ---------------------------------------------------------------------------------------------
// TCXIPTCInfoList

int TCXIPTCInfoList::AddStringItem(int RecordNumber, int DataSet, const std::string& Text) {
  return AddBufferItem(RecordNumber, DataSet, Text.data(), static_cast<int>(Text.size()));
}

int TCXIPTCInfoList::AddBufferItem(int RecordNumber, int DataSet, const void* Buffer, int Length) {
  Item it{RecordNumber, DataSet, {}};
  if (Buffer != nullptr && Length > 0) {
    const auto* p = static_cast<const uint8_t*>(Buffer);
    it.data.assign(p, p + Length);
  }
  Items_.push_back(std::move(it));
  UserChanged = true;
  return GetCount() - 1;
}

void TCXIPTCInfoList::InsertStringItem(int Index, int RecordNumber, int DataSet, const std::string& Text) {
  Index = std::clamp(Index, 0, GetCount());
  Items_.insert(Items_.begin() + Index, Item{RecordNumber, DataSet, std::vector<uint8_t>(Text.begin(), Text.end())});
  UserChanged = true;
}

void TCXIPTCInfoList::DeleteItem(int Index) {
  if (!Valid(Index)) return;
  Items_.erase(Items_.begin() + Index);
  UserChanged = true;
}

void TCXIPTCInfoList::Clear() {
  Items_.clear();
  UserChanged = true;
}

int TCXIPTCInfoList::IndexOf(int RecordNumber, int DataSet) const {
  for (int i = 0; i < GetCount(); ++i)
    if (Items_[size_t(i)].record == RecordNumber && Items_[size_t(i)].dataset == DataSet) return i;
  return -1;
}

std::string TCXIPTCInfoList::GetStrings(int Index) const {
  if (!Valid(Index)) return {};
  const auto& d = Items_[size_t(Index)].data;
  const auto end = std::find(d.begin(), d.end(), uint8_t{0});
  return std::string(d.begin(), end);
}

void TCXIPTCInfoList::SetStrings(int Index, const std::string& Text) {
  if (!Valid(Index)) return;
  Items_[size_t(Index)].data.assign(Text.begin(), Text.end());
  UserChanged = true;
}

int TCXIPTCInfoList::GetRecordNumber(int Index) const { return Valid(Index) ? Items_[size_t(Index)].record : 0; }
void TCXIPTCInfoList::SetRecordNumber(int Index, int Value) {
  if (!Valid(Index)) return;
  Items_[size_t(Index)].record = Value;
  UserChanged = true;
}
int TCXIPTCInfoList::GetDataSet(int Index) const { return Valid(Index) ? Items_[size_t(Index)].dataset : 0; }
void TCXIPTCInfoList::SetDataSet(int Index, int Value) {
  if (!Valid(Index)) return;
  Items_[size_t(Index)].dataset = Value;
  UserChanged = true;
}

const std::vector<uint8_t>& TCXIPTCInfoList::GetBuffer(int Index) const {
  static const std::vector<uint8_t> kNone;
  return Valid(Index) ? Items_[size_t(Index)].data : kNone;
}

void TCXIPTCInfoList::Assign(const TCXIPTCInfoList* Source) {
  if (Source == nullptr) return;
  if (Source != this) Items_ = Source->Items_;
  UserChanged = true;
}

void TCXIPTCInfoList::SaveToStream(TStream* Stream) const {
  PutInt(Stream, 0);
  PutInt(Stream, GetCount());
  for (const Item& it : Items_) {
    PutInt(Stream, it.record);
    PutInt(Stream, it.dataset);
    PutInt(Stream, static_cast<int32_t>(it.data.size()));
    Stream->WriteBuffer(it.data.data(), static_cast<int64_t>(it.data.size()));
  }
}

void TCXIPTCInfoList::LoadFromStream(TStream* Stream) {
  GetInt(Stream);  // not interpreted
  const int32_t n = ReadCount(Stream, 12, "IPTC item count");
  std::vector<Item> items;
  for (int32_t i = 0; i < n; ++i) {
    Item it;
    it.record = GetInt(Stream);
    it.dataset = GetInt(Stream);
    const int32_t len = ReadCount(Stream, 1, "IPTC item length");
    it.data.resize(static_cast<size_t>(len));
    Stream->ReadBuffer(it.data.data(), len);
    items.push_back(std::move(it));
  }
  Items_.swap(items);
  UserChanged = true;
}

void TCXIPTCInfoList::SaveToStandardBuffer(std::vector<uint8_t>& Buffer) const {
  static const char kHead[] = "Photoshop 3.0";  // written with its zero byte
  Buffer.assign(kHead, kHead + sizeof kHead);
  const uint8_t resource[8] = {'8', 'B', 'I', 'M', 0x04, 0x04, 0, 0};
  Buffer.insert(Buffer.end(), resource, resource + 8);
  const size_t sizeAt = Buffer.size();
  Buffer.insert(Buffer.end(), 4, 0);
  uint32_t total = 0;
  for (const Item& it : Items_) {
    if (it.record == 2 && it.dataset == 0) continue;  // the record version is not written
    const uint32_t n = static_cast<uint32_t>(it.data.size());
    Buffer.push_back(0x1C);
    Buffer.push_back(static_cast<uint8_t>(it.record));
    Buffer.push_back(static_cast<uint8_t>(it.dataset));
    if (n < 32768) {
      Buffer.push_back(static_cast<uint8_t>(n >> 8));
      Buffer.push_back(static_cast<uint8_t>(n));
      total += 5 + n;
    } else {
      const uint8_t ext[6] = {0x80, 0x04, uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)};
      Buffer.insert(Buffer.end(), ext, ext + 6);
      total += 9 + n;
    }
    Buffer.insert(Buffer.end(), it.data.begin(), it.data.end());
  }
  Buffer[sizeAt] = static_cast<uint8_t>(total >> 24);
  Buffer[sizeAt + 1] = static_cast<uint8_t>(total >> 16);
  Buffer[sizeAt + 2] = static_cast<uint8_t>(total >> 8);
  Buffer[sizeAt + 3] = static_cast<uint8_t>(total);
}

void TCXIPTCInfoList::LoadFromStandardBuffer(const void* Buffer, int Length) {
  Items_.clear();
  const auto* p = static_cast<const uint8_t*>(Buffer);
  const int64_t len = (p != nullptr && Length > 0) ? Length : 0;
  int64_t pos = 0;
  while (pos < len && p[pos] != 0x1C) ++pos;
  while (pos + 5 <= len && p[pos] == 0x1C) {
    const int record = p[pos + 1], dataset = p[pos + 2];
    int64_t n, data;
    if (p[pos + 3] & 0x80) {
      if (pos + 9 > len) break;  // the extended length itself is cut off
      n = static_cast<int32_t>(BE32(p + pos + 5));
      data = pos + 9;
    } else {
      n = (int64_t(p[pos + 3]) << 8) | p[pos + 4];
      data = pos + 5;
    }
    if (n < 0) n = -n;
    if (data + n > len) break;
    Items_.push_back(Item{record, dataset, std::vector<uint8_t>(p + data, p + data + n)});
    pos = data + n;
  }
  UserChanged = false;
}

// ---------------------------------------------------------------------------------------------
// TIOParamsVals

double CXToday() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  // Days from 1899-12-30 to the local date, through the civil-from-days arithmetic.
  int y = local.tm_year + 1900, m = local.tm_mon + 1;
  const int d = local.tm_mday;
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t unixDays = int64_t(era) * 146097 + doe - 719468;
  return static_cast<double>(unixDays + 25569);
}

TIOParamsVals::TIOParamsVals(TCorvexIO* Owner) : Owner_(Owner) { SetDefaultParams(); }

void TIOParamsVals::SetDefaultParams() {
  BitsPerSample = 8;
  SamplesPerPixel = 3;
  // Width, Height, DpiX, DpiY: the owner's bitmap and view, when it has them (set by the owner);
  // otherwise unchanged.
  FileType = ioUnknown;
  TIFF_Compression = ioTIFF_UNCOMPRESSED;
  TIFF_ImageIndex = 0;
  TIFF_PhotometInterpret = ioTIFF_RGB;
  TIFF_PlanarConf = 1;
  TIFF_XPos = 0;
  TIFF_YPos = 0;
  TIFF_DocumentName.clear();
  TIFF_ImageDescription.clear();
  TIFF_PageName.clear();
  TIFF_PageNumber = 0;
  TIFF_PageCount = 0;
  TIFF_LZWDecompress = DefTIFF_LZWDECOMPFUNC;
  TIFF_LZWCompress = DefTIFF_LZWCOMPFUNC;
  TIFF_ImageCount = 0;
  GIF_Version = "GIF89a";
  GIF_ImageIndex = 0;
  GIF_XPos = 0;
  GIF_YPos = 0;
  GIF_DelayTime = 0;
  GIF_FlagTranspColor = false;
  GIF_TranspColor = CreateRGB(0, 0, 0);
  GIF_Interlaced = false;
  GIF_WinWidth = 0;
  GIF_WinHeight = 0;
  GIF_Background = CreateRGB(0, 0, 0);
  GIF_Ratio = 0;
  GIF_LZWDecompress = DefGIF_LZWDECOMPFUNC;
  GIF_LZWCompress = DefGIF_LZWCOMPFUNC;
  GIF_ImageCount = 0;
  JPEG_ColorSpace = ioJPEG_YCbCr;
  JPEG_Quality = 50;
  JPEG_DCTMethod = ioJPEG_ISLOW;
  JPEG_OptimalHuffman = false;
  JPEG_Smooth = 0;
  JPEG_Progressive = false;
  JPEG_Scale = ioJPEG_FULLSIZE;
  JPEG_MarkerList.Clear();
  PCX_Version = 5;
  PCX_Compression = ioPCX_RLE;
  BMP_Version = ioBMP_BM3;
  BMP_Compression = ioBMP_UNCOMPRESSED;
  ICO_ImageIndex = 0;
  ICO_Background = CreateRGB(255, 255, 255);
  CUR_ImageIndex = 0;
  CUR_XHotSpot = 0;
  CUR_YHotSpot = 0;
  CUR_Background = CreateRGB(255, 255, 255);
  PNG_Interlaced = false;
  PNG_Background = CreateRGB(0, 0, 0);
  PNG_Filter = ioPNG_FILTER_NONE;
  PNG_Compression = 5;
  TGA_XPos = 0;
  TGA_YPos = 0;
  TGA_Compressed = true;
  TGA_Description.clear();
  TGA_Author.clear();
  TGA_Date = CXToday();
  TGA_ImageName.clear();
  TGA_Background = CreateRGB(0, 0, 0);
  TGA_AspectRatio = 1.0;
  TGA_Gamma = 2.2;
  TGA_GrayLevel = false;
  IPTC_Info.Clear();
  FileName.clear();
  ColorMap.clear();
}

void TIOParamsVals::Assign(const TIOParamsVals* Source) {
  if (Source == nullptr || Source == this) return;
  const TIOParamsVals& s = *Source;
  BitsPerSample = s.BitsPerSample;
  SamplesPerPixel = s.SamplesPerPixel;
  Width = s.Width;
  Height = s.Height;
  DpiX = s.DpiX;
  DpiY = s.DpiY;
  FileType = s.FileType;
  TIFF_Compression = s.TIFF_Compression;
  TIFF_ImageIndex = s.TIFF_ImageIndex;
  TIFF_PhotometInterpret = s.TIFF_PhotometInterpret;
  TIFF_PlanarConf = s.TIFF_PlanarConf;
  TIFF_XPos = s.TIFF_XPos;
  TIFF_YPos = s.TIFF_YPos;
  TIFF_DocumentName = s.TIFF_DocumentName;
  TIFF_ImageDescription = s.TIFF_ImageDescription;
  TIFF_PageName = s.TIFF_PageName;
  TIFF_PageNumber = s.TIFF_PageNumber;
  TIFF_PageCount = s.TIFF_PageCount;
  TIFF_LZWDecompress = s.TIFF_LZWDecompress;
  TIFF_LZWCompress = s.TIFF_LZWCompress;
  TIFF_ImageCount = s.TIFF_ImageCount;
  GIF_Version = s.GIF_Version;
  GIF_ImageIndex = s.GIF_ImageIndex;
  GIF_XPos = s.GIF_XPos;
  GIF_YPos = s.GIF_YPos;
  GIF_DelayTime = s.GIF_DelayTime;
  GIF_FlagTranspColor = s.GIF_FlagTranspColor;
  GIF_TranspColor = s.GIF_TranspColor;
  GIF_Interlaced = s.GIF_Interlaced;
  GIF_WinWidth = s.GIF_WinWidth;
  GIF_WinHeight = s.GIF_WinHeight;
  GIF_Background = s.GIF_Background;
  GIF_Ratio = s.GIF_Ratio;
  GIF_LZWDecompress = s.GIF_LZWDecompress;
  GIF_LZWCompress = s.GIF_LZWCompress;
  GIF_ImageCount = s.GIF_ImageCount;
  JPEG_ColorSpace = s.JPEG_ColorSpace;
  JPEG_Quality = s.JPEG_Quality;
  JPEG_DCTMethod = s.JPEG_DCTMethod;
  JPEG_OptimalHuffman = s.JPEG_OptimalHuffman;
  JPEG_Smooth = s.JPEG_Smooth;
  JPEG_Progressive = s.JPEG_Progressive;
  JPEG_Scale = s.JPEG_Scale;
  JPEG_MarkerList.Assign(&s.JPEG_MarkerList);
  PCX_Version = s.PCX_Version;
  PCX_Compression = s.PCX_Compression;
  BMP_Version = s.BMP_Version;
  BMP_Compression = s.BMP_Compression;
  ICO_ImageIndex = s.ICO_ImageIndex;
  ICO_Background = s.ICO_Background;
  CUR_ImageIndex = s.CUR_ImageIndex;
  CUR_XHotSpot = s.CUR_XHotSpot;
  CUR_YHotSpot = s.CUR_YHotSpot;
  CUR_Background = s.CUR_Background;
  PNG_Interlaced = s.PNG_Interlaced;
  PNG_Background = s.PNG_Background;
  PNG_Filter = s.PNG_Filter;
  PNG_Compression = s.PNG_Compression;
  TGA_XPos = s.TGA_XPos;
  TGA_YPos = s.TGA_YPos;
  TGA_Compressed = s.TGA_Compressed;
  TGA_Description = s.TGA_Description;
  TGA_Author = s.TGA_Author;
  TGA_Date = s.TGA_Date;
  TGA_ImageName = s.TGA_ImageName;
  TGA_Background = s.TGA_Background;
  TGA_AspectRatio = s.TGA_AspectRatio;
  TGA_Gamma = s.TGA_Gamma;
  TGA_GrayLevel = s.TGA_GrayLevel;
  IPTC_Info.Assign(&s.IPTC_Info);
  FileName = s.FileName;
  ColorMap = s.ColorMap;
}

void TIOParamsVals::SaveToStream(TStream* S) const {
  PutInt(S, 4);
  PutStr(S, FileName);
  PutInt(S, FileType);
  for (int v : {BitsPerSample, SamplesPerPixel, Width, Height, DpiX, DpiY}) PutInt(S, v);
  PutInt(S, GetColorMapCount());
  if (!ColorMap.empty()) S->WriteBuffer(ColorMap.data(), int64_t(ColorMap.size()) * 3);
  PutByte(S, TIFF_Compression);
  PutInt(S, TIFF_ImageIndex);
  PutByte(S, TIFF_PhotometInterpret);
  for (int v : {TIFF_PlanarConf, TIFF_XPos, TIFF_YPos}) PutInt(S, v);
  PutStr(S, TIFF_DocumentName);
  PutStr(S, TIFF_ImageDescription);
  PutStr(S, TIFF_PageName);
  PutInt(S, TIFF_PageNumber);
  PutInt(S, TIFF_PageCount);
  PutInt(S, TIFF_ImageCount);
  PutStr(S, GIF_Version);
  for (int v : {GIF_ImageIndex, GIF_XPos, GIF_YPos, GIF_DelayTime}) PutInt(S, v);
  PutByte(S, GIF_FlagTranspColor);
  PutRGB(S, GIF_TranspColor);
  PutByte(S, GIF_Interlaced);
  PutInt(S, GIF_WinWidth);
  PutInt(S, GIF_WinHeight);
  PutRGB(S, GIF_Background);
  PutInt(S, GIF_Ratio);
  PutInt(S, GIF_ImageCount);
  PutByte(S, JPEG_ColorSpace);
  PutInt(S, JPEG_Quality);
  PutByte(S, JPEG_DCTMethod);
  PutByte(S, JPEG_OptimalHuffman);
  PutInt(S, JPEG_Smooth);
  PutByte(S, JPEG_Progressive);
  PutByte(S, JPEG_Scale);
  JPEG_MarkerList.SaveToStream(S);
  PutInt(S, PCX_Version);
  PutByte(S, PCX_Compression);
  PutByte(S, BMP_Version);
  PutByte(S, BMP_Compression);
  PutInt(S, ICO_ImageIndex);
  PutRGB(S, ICO_Background);
  for (int v : {CUR_ImageIndex, CUR_XHotSpot, CUR_YHotSpot}) PutInt(S, v);
  PutRGB(S, CUR_Background);
  PutByte(S, PNG_Interlaced);
  PutRGB(S, PNG_Background);
  PutByte(S, PNG_Filter);
  PutInt(S, PNG_Compression);
  PutInt(S, TGA_XPos);
  PutInt(S, TGA_YPos);
  PutByte(S, TGA_Compressed);
  PutStr(S, TGA_Description);
  PutStr(S, TGA_Author);
  PutDbl(S, TGA_Date);
  PutStr(S, TGA_ImageName);
  PutRGB(S, TGA_Background);
  PutDbl(S, TGA_AspectRatio);
  PutDbl(S, TGA_Gamma);
  PutByte(S, TGA_GrayLevel);
  IPTC_Info.SaveToStream(S);
}

void TIOParamsVals::LoadFromStream(TStream* S) {
  const int32_t version = GetInt(S);
  FileName = GetStr(S);
  FileType = version <= 1 ? GetByte(S) : GetInt(S);
  BitsPerSample = GetInt(S);
  SamplesPerPixel = GetInt(S);
  Width = GetInt(S);
  Height = GetInt(S);
  DpiX = GetInt(S);
  DpiY = GetInt(S);
  const int32_t colours = ReadCount(S, 3, "colour map size");
  std::vector<TRGB> map(static_cast<size_t>(colours));
  if (colours > 0) S->ReadBuffer(map.data(), int64_t(colours) * 3);
  ColorMap.swap(map);
  TIFF_Compression = GetEnum<TIOTIFFCompression>(S);
  TIFF_ImageIndex = GetInt(S);
  TIFF_PhotometInterpret = GetEnum<TIOTIFFPhotometInterpret>(S);
  TIFF_PlanarConf = GetInt(S);
  TIFF_XPos = GetInt(S);
  TIFF_YPos = GetInt(S);
  TIFF_DocumentName = GetStr(S);
  TIFF_ImageDescription = GetStr(S);
  TIFF_PageName = GetStr(S);
  TIFF_PageNumber = GetInt(S);
  TIFF_PageCount = GetInt(S);
  if (version >= 4) TIFF_ImageCount = GetInt(S);
  GIF_Version = GetStr(S);
  GIF_ImageIndex = GetInt(S);
  GIF_XPos = GetInt(S);
  GIF_YPos = GetInt(S);
  GIF_DelayTime = GetInt(S);
  GIF_FlagTranspColor = GetBool(S);
  GIF_TranspColor = GetRGB(S);
  GIF_Interlaced = GetBool(S);
  GIF_WinWidth = GetInt(S);
  GIF_WinHeight = GetInt(S);
  GIF_Background = GetRGB(S);
  GIF_Ratio = GetInt(S);
  if (version >= 4) GIF_ImageCount = GetInt(S);
  JPEG_ColorSpace = GetEnum<TIOJPEGColorspace>(S);
  JPEG_Quality = GetInt(S);
  JPEG_DCTMethod = GetEnum<TIOJPEGDctMethod>(S);
  JPEG_OptimalHuffman = GetBool(S);
  JPEG_Smooth = GetInt(S);
  JPEG_Progressive = GetBool(S);
  if (version >= 1) JPEG_Scale = GetEnum<TIOJPEGScale>(S);
  if (version >= 4) JPEG_MarkerList.LoadFromStream(S);
  PCX_Version = GetInt(S);
  PCX_Compression = GetEnum<TIOPCXCompression>(S);
  BMP_Version = GetEnum<TIOBMPVersion>(S);
  BMP_Compression = GetEnum<TIOBMPCompression>(S);
  if (version >= 1) {
    ICO_ImageIndex = GetInt(S);
  } else {
    GetInt(S);
    GetInt(S);
    ICO_ImageIndex = 0;
  }
  if (version >= 3) ICO_Background = GetRGB(S);
  if (version >= 1) {
    CUR_ImageIndex = GetInt(S);
    CUR_XHotSpot = GetInt(S);
    CUR_YHotSpot = GetInt(S);
  } else {
    GetInt(S);
    GetInt(S);
    CUR_ImageIndex = CUR_XHotSpot = CUR_YHotSpot = 0;
  }
  if (version >= 3) CUR_Background = GetRGB(S);
  PNG_Interlaced = GetBool(S);
  PNG_Background = GetRGB(S);
  PNG_Filter = GetEnum<TIOPNGFilter>(S);
  PNG_Compression = GetInt(S);
  if (version >= 3) {
    TGA_XPos = GetInt(S);
    TGA_YPos = GetInt(S);
    TGA_Compressed = GetBool(S);
    TGA_Description = GetStr(S);
    TGA_Author = GetStr(S);
    TGA_Date = GetDbl(S);
    TGA_ImageName = GetStr(S);
    TGA_Background = GetRGB(S);
    TGA_AspectRatio = GetDbl(S);
    TGA_Gamma = GetDbl(S);
    TGA_GrayLevel = GetBool(S);
  }
  if (version >= 4) IPTC_Info.LoadFromStream(S);
}

void TIOParamsVals::SaveToFile(const std::string& Name) const {
  TFileStream f(Name, fmCreate);
  SaveToStream(&f);
  f.Flush();
}

void TIOParamsVals::LoadFromFile(const std::string& Name) {
  TFileStream f(Name, fmOpenRead | fmShareDenyWrite);
  LoadFromStream(&f);
}

std::string TIOParamsVals::GetFileTypeStr() const {
  std::string s;
  if (const TCXFileFormatInfo* info = CXFileFormatGetInfo(FileType)) {
    std::string ext = CXFileFormatGetExt(FileType, 0);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::toupper(c); });
    s = info->FullName + " (" + ext + ")";
  }
  switch (FileType) {
    case ioTIFF: {
      static const char* const kTiff[] = {" Uncompressed", " Huffman", " Group 3 Fax", " Group 3 Fax 2D", " Group 4 Fax",
                                          " LZW", " Jpeg v.5", " Jpeg", " PackBits RLE"};
      if (TIFF_Compression < std::size(kTiff)) s += kTiff[TIFF_Compression];
      break;
    }
    case ioGIF:
      if (GIF_Interlaced) s += " Interlaced";
      break;
    case ioJPEG: {
      static const char* const kJpeg[] = {"", " Gray level", " YCbCr", " CMYK", " YCbCrK"};
      if (JPEG_ColorSpace < std::size(kJpeg)) s += kJpeg[JPEG_ColorSpace];
      break;
    }
    case ioPCX:
      if (PCX_Compression == ioPCX_UNCOMPRESSED) s += " Uncompressed";
      break;
    case ioBMP: {
      static const char* const kBmp[] = {" ver.1", " ver.3", " OS/2 v.1", " OS/2 v.2"};
      if (BMP_Version < std::size(kBmp)) s += kBmp[BMP_Version];
      break;
    }
    case ioPNG:
      if (PNG_Interlaced) s += " Interlaced";
      break;
    case ioTGA:
      s += TGA_Compressed ? " Compressed" : " Uncompressed";
      break;
    default:
      break;
  }
  return s;
}

}  // namespace corvex
