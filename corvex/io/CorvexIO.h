// Image file I/O: the parameter record that carries what a file format knows about an image
// beyond its pixels (TIOParamsVals, with the JPEG marker list and the IPTC list it owns), the
// calling shape of codecs, the LZW hooks through which an application supplies LZW coding, and
// the registry of file formats.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/core/cxwords.h"
#include "corvex/core/defs.h"
#include "corvex/platform/component.h"
#include "corvex/platform/sets.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/view/base/CXAttach.h"

namespace corvex {

class TCorvexIO;
class TCXTWainParams;
class TIOParamsVals;

// ---------------------------------------------------------------------------------------------
// File types (the registry uses the same numbers)

constexpr int ioUnknown = 0;
constexpr int ioTIFF = 1;
constexpr int ioGIF = 2;
constexpr int ioJPEG = 3;
constexpr int ioPCX = 4;
constexpr int ioBMP = 5;
constexpr int ioICO = 6;
constexpr int ioCUR = 7;
constexpr int ioPNG = 8;
constexpr int ioWMF = 9;
constexpr int ioEMF = 10;
constexpr int ioTGA = 11;

enum TIOTIFFCompression : uint8_t {
  ioTIFF_UNCOMPRESSED, ioTIFF_CCITT1D, ioTIFF_G3FAX1D, ioTIFF_G3FAX2D, ioTIFF_G4FAX, ioTIFF_LZW,
  ioTIFF_OLDJPEG, ioTIFF_JPEG, ioTIFF_PACKBITS
};
enum TIOTIFFPhotometInterpret : uint8_t {
  ioTIFF_WHITEISZERO, ioTIFF_BLACKISZERO, ioTIFF_RGB, ioTIFF_RGBPALETTE, ioTIFF_TRANSPMASK,
  ioTIFF_CMYK, ioTIFF_YCBCR, ioTIFF_CIELAB
};
enum TIOJPEGColorspace : uint8_t { ioJPEG_RGB, ioJPEG_GRAYLEV, ioJPEG_YCbCr, ioJPEG_CMYK, ioJPEG_YCbCrK };
enum TIOJPEGDctMethod : uint8_t { ioJPEG_ISLOW, ioJPEG_IFAST, ioJPEG_FLOAT };
enum TIOJPEGScale : uint8_t { ioJPEG_AUTOCALC, ioJPEG_FULLSIZE, ioJPEG_HALF, ioJPEG_QUARTER, ioJPEG_EIGHTH };
enum TIOBMPVersion : uint8_t { ioBMP_BM, ioBMP_BM3, ioBMP_BMOS2V1, ioBMP_BMOS2V2 };
enum TIOBMPCompression : uint8_t { ioBMP_UNCOMPRESSED, ioBMP_RLE };
enum TIOPCXCompression : uint8_t { ioPCX_UNCOMPRESSED, ioPCX_RLE };
enum TIOPNGFilter : uint8_t { ioPNG_FILTER_NONE, ioPNG_FILTER_SUB, ioPNG_FILTER_PAETH };

// ---------------------------------------------------------------------------------------------
// LZW hooks. The library has no LZW coder of its own: an application assigns coders to the
// global hooks (the project's own are in corvex/lzw), and each parameter record takes a copy
// when it is reset. A codec uses the record's hook when set, else the global one, and fails with
// the abort flag when neither is set.

// GIF decoder: Stream is on the LZW minimum code size byte; consumes it and every data sub-block
// up to and including the terminator, and writes Height x Width indices (display order, row 0
// first, interlace undone) into Buffer. Success is judged by the stream position having moved.
using TGIFLZWDecompFunc = int (*)(TStream* Stream, int Height, int Width, uint8_t* Buffer, bool Interlaced);
// GIF encoder: writes the minimum code size byte, the data sub-blocks and the terminator for
// Height x Width indices in display order (interlacing the rows itself when asked).
using TGIFLZWCompFunc = int (*)(TStream* Stream, int Height, int Width, int BitsPerPixel,
                                const uint8_t* Buffer, bool Interlaced);
// TIFF decoder: the first call of a strip passes the strip's data (SourceLength bytes, which the
// decoder never reads past) and State = nullptr; each call returns the next RowBytes decoded bytes
// (nullptr on failure); a final call with Source = nullptr and RowBytes = 0 releases State.
using TTIFFLZWDecompFunc = uint8_t* (*)(const uint8_t* Source, int64_t SourceLength, int RowBytes, void*& State);
// TIFF encoder: appends one coded row to Stream; a final call with Row = nullptr and RowBytes = 0
// flushes the strip and releases State.
using TTIFFLZWCompFunc = void (*)(const uint8_t* Row, int RowBytes, TStream* Stream, void*& State);

extern TGIFLZWDecompFunc DefGIF_LZWDECOMPFUNC;
extern TGIFLZWCompFunc DefGIF_LZWCOMPFUNC;
extern TTIFFLZWDecompFunc DefTIFF_LZWDECOMPFUNC;
extern TTIFFLZWCompFunc DefTIFF_LZWCOMPFUNC;

// ---------------------------------------------------------------------------------------------
// JPEG markers kept from a file: an ordered list of (marker code, data) items. Data is always
// copied in; the list owns it.

class TCXMarkerList : public TObject {
 public:
  int AddMarker(uint8_t Type, const void* Data, uint16_t Length);
  // Index at or beyond the count appends.
  void InsertMarker(int Index, const void* Data, uint8_t Type, uint16_t Length);
  void SetMarker(int Index, uint8_t Type, const void* Data, uint16_t Length);
  void DeleteMarker(int Index);
  void Clear();
  int GetCount() const { return static_cast<int>(Items_.size()); }
  // Accessors of one item; outside the list they give 0 / nullptr.
  uint8_t GetMarkerType(int Index) const;
  int GetMarkerLength(int Index) const;
  const uint8_t* GetMarkerData(int Index) const;
  // The item's data as a stream, positioned at 0.
  TMemoryStream* GetMarkerStream(int Index);
  int IndexOf(uint8_t Type) const;
  void Assign(const TCXMarkerList* Source);
  // 1 byte (0), a count, then per marker its type byte, length and data. Loading raises
  // EReadError when a count or length does not fit in what the stream holds.
  void SaveToStream(TStream* Stream) const;
  void LoadFromStream(TStream* Stream);

 private:
  struct Item {
    uint8_t type = 0;
    std::unique_ptr<TMemoryStream> data;
  };
  static Item MakeItem(uint8_t Type, const void* Data, int Length);
  bool Valid(int Index) const { return Index >= 0 && Index < GetCount(); }
  std::vector<Item> Items_;
};

// ---------------------------------------------------------------------------------------------
// IPTC datasets (record number, dataset number, data), and their standard buffer: the Photoshop
// image-resource block that JPEG (APP13) and TIFF files embed.

class TCXIPTCInfoList : public TObject {
 public:
  int AddStringItem(int RecordNumber, int DataSet, const std::string& Text);
  int AddBufferItem(int RecordNumber, int DataSet, const void* Buffer, int Length);
  void InsertStringItem(int Index, int RecordNumber, int DataSet, const std::string& Text);
  void DeleteItem(int Index);
  void Clear();
  int GetCount() const { return static_cast<int>(Items_.size()); }
  int IndexOf(int RecordNumber, int DataSet) const;

  // The data as text: at most its length, ending early at a zero byte.
  std::string GetStrings(int Index) const;
  void SetStrings(int Index, const std::string& Text);
  int GetRecordNumber(int Index) const;
  void SetRecordNumber(int Index, int Value);
  int GetDataSet(int Index) const;
  void SetDataSet(int Index, int Value);
  const std::vector<uint8_t>& GetBuffer(int Index) const;

  void Assign(const TCXIPTCInfoList* Source);
  void SaveToStream(TStream* Stream) const;
  // Raises EReadError when a count or length does not fit in what the stream holds.
  void LoadFromStream(TStream* Stream);
  // The standard buffer of the datasets (records 2, dataset 0 left out).
  void SaveToStandardBuffer(std::vector<uint8_t>& Buffer) const;
  // Replaces the list with the datasets of a standard buffer (or of bare IPTC data).
  void LoadFromStandardBuffer(const void* Buffer, int Length);

  // Set by every change, Clear, Assign and LoadFromStream; cleared by LoadFromStandardBuffer.
  bool UserChanged = false;

 private:
  struct Item {
    int record = 0;
    int dataset = 0;
    std::vector<uint8_t> data;
  };
  bool Valid(int Index) const { return Index >= 0 && Index < GetCount(); }
  std::vector<Item> Items_;
};

// ---------------------------------------------------------------------------------------------
// The parameter record. A codec fills it when reading (also in parameters-only mode) and reads it
// when writing, so that loading a file and saving it again keeps its settings.

class TIOParamsVals : public TObject {
 public:
  explicit TIOParamsVals(TCorvexIO* Owner = nullptr);
  ~TIOParamsVals() override = default;

  TCorvexIO* GetOwner() const { return Owner_; }

  // Sets every field to its default; the owner's bitmap size and view resolution are taken when
  // the owner has them.
  void SetDefaultParams();
  // Copies every field except the owner.
  void Assign(const TIOParamsVals* Source);
  // The versioned binary layout (version 4 written; 0 to 4 read). Loading takes values as they
  // come, but raises EReadError rather than allocate for counts the stream cannot hold.
  void SaveToStream(TStream* Stream) const;
  void LoadFromStream(TStream* Stream);
  void SaveToFile(const std::string& FileName) const;
  void LoadFromFile(const std::string& FileName);
  // "TIFF Bitmap (TIF) LZW": the registered description and first extension, then the variant.
  std::string GetFileTypeStr() const;

  int GetColorMapCount() const { return static_cast<int>(ColorMap.size()); }

  // The fields; SetDefaultParams (called by the constructor) gives each its default.
  // Common fields
  int BitsPerSample{};
  int SamplesPerPixel{};
  int Width{};
  int Height{};
  int DpiX{};
  int DpiY{};
  int FileType{};
  // TIFF
  TIOTIFFCompression TIFF_Compression{};
  int TIFF_ImageIndex{};
  TIOTIFFPhotometInterpret TIFF_PhotometInterpret{};
  int TIFF_PlanarConf{};
  int TIFF_XPos{};
  int TIFF_YPos{};
  std::string TIFF_DocumentName;
  std::string TIFF_ImageDescription;
  std::string TIFF_PageName;
  int TIFF_PageNumber{};
  int TIFF_PageCount{};
  TTIFFLZWDecompFunc TIFF_LZWDecompress{};
  TTIFFLZWCompFunc TIFF_LZWCompress{};
  int TIFF_ImageCount{};
  // GIF
  std::string GIF_Version{};
  int GIF_ImageIndex{};
  int GIF_XPos{};
  int GIF_YPos{};
  int GIF_DelayTime{};
  bool GIF_FlagTranspColor{};
  TRGB GIF_TranspColor{};
  bool GIF_Interlaced{};
  int GIF_WinWidth{};
  int GIF_WinHeight{};
  TRGB GIF_Background{};
  int GIF_Ratio{};
  TGIFLZWDecompFunc GIF_LZWDecompress{};
  TGIFLZWCompFunc GIF_LZWCompress{};
  int GIF_ImageCount{};
  // JPEG
  TIOJPEGColorspace JPEG_ColorSpace{};
  int JPEG_Quality{};
  TIOJPEGDctMethod JPEG_DCTMethod{};
  bool JPEG_OptimalHuffman{};
  int JPEG_Smooth{};
  bool JPEG_Progressive{};
  TIOJPEGScale JPEG_Scale{};
  TCXMarkerList JPEG_MarkerList;
  // PCX
  int PCX_Version{};
  TIOPCXCompression PCX_Compression{};
  // BMP, ICO, CUR
  TIOBMPVersion BMP_Version{};
  TIOBMPCompression BMP_Compression{};
  int ICO_ImageIndex{};
  TRGB ICO_Background{};
  int CUR_ImageIndex{};
  int CUR_XHotSpot{};
  int CUR_YHotSpot{};
  TRGB CUR_Background{};
  // PNG
  bool PNG_Interlaced{};
  TRGB PNG_Background{};
  TIOPNGFilter PNG_Filter{};
  int PNG_Compression{};
  // TGA
  int TGA_XPos{};
  int TGA_YPos{};
  bool TGA_Compressed{};
  std::string TGA_Description;
  std::string TGA_Author;
  double TGA_Date{};  // days since 1899-12-30, as the toolkit's date-time
  std::string TGA_ImageName;
  TRGB TGA_Background{};
  double TGA_AspectRatio{};
  double TGA_Gamma{};
  bool TGA_GrayLevel{};
  // IPTC datasets of the file
  TCXIPTCInfoList IPTC_Info;
  // The file last loaded (empty after a stream load) and its palette
  std::string FileName;
  std::vector<TRGB> ColorMap;

 private:
  TCorvexIO* Owner_;
};

// Today's date as the toolkit's date-time value (whole days since 1899-12-30, local time).
double CXToday();

// ---------------------------------------------------------------------------------------------
// Codec calling shape, and the registry of file formats

using TCXReadFunction = void (*)(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params,
                                 TProgressRec& Progress, bool Preview);
using TCXWriteFunction = void (*)(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params,
                                  TProgressRec& Progress);
// Must leave the stream position as it found it.
using TCXTryFunction = bool (*)(TStream* Stream);

struct TCXFileFormatInfo {
  int32_t FileType = 0;
  std::string FullName;   // at most 80 characters
  std::string Extension;  // extensions without dots, separated by ";" (at most 80 characters)
  TCXReadFunction ReadFunction = nullptr;
  TCXWriteFunction WriteFunction = nullptr;
  TCXTryFunction TryFunction = nullptr;
};

// The registry, in list order; the built-in formats first. The registry owns the entries.
extern std::vector<std::unique_ptr<TCXFileFormatInfo>> cxgFileFormats;

// The first entry with this type, or nullptr.
TCXFileFormatInfo* CXFileFormatGetInfo(int FileType);
int CXFileFormatGetExtCount(int FileType);
// The Index-th extension of the type (0-based, as stored); empty when there is none.
std::string CXFileFormatGetExt(int FileType, int Index);
// The first entry one of whose extensions equals Ext (without the dot), ignoring case.
TCXFileFormatInfo* CXFileFormatGetInfo2(const std::string& Ext);
// Appends a copy of Info (names cut to 80 characters).
void CXFileFormatAdd(const TCXFileFormatInfo& Info);
// Removes the first entry with this type; nothing happens when there is none.
void CXFileFormatRemove(int FileType);

// ---------------------------------------------------------------------------------------------
// Format detection

// The file type of the data at the stream's position, 0 when unknown: first the content tests
// of added formats, then the probes of the built-in ones. The position is kept; an error while
// probing ends the probing with what was found so far.
int FindStreamFormat(TStream* Stream);
// The file type of a file's content (0 when it cannot be opened). With VerifyExtension, 0 unless
// the file's extension is registered for the detected type.
int FindFileFormat(const std::string& FileName, bool VerifyExtension);

// ---------------------------------------------------------------------------------------------
// The I/O component: loads and saves images for the bitmap it is attached to, through the codecs
// by format, by file extension or by detected content, and keeps the parameter record the codecs
// fill. It owns no image: the target is the bitmap of an attached view (AttachedCorvex), the
// picture bitmap of an attached TImage (AttachedTImage) or a bare bitmap (SetAttachedBitmap);
// attaching one kind detaches the others. After a load into a view the view takes the file's
// resolution (SetDPI) and is refreshed (Update, then ImageChange). An attached view is told
// through its bitmap-change list and free notification, so freeing the view or the component
// first is safe either way.

enum TIOPreviewsParamsItems { ioppDefaultLockPreview };
using TIOPreviewsParams = TSet<TIOPreviewsParamsItems>;
// The pages of the format-parameters dialog: every format, the one of Params.FileType, or single
// formats.
enum TPreviewPagesItem { ppALL, ppAUTO, ppJPEG, ppTIFF, ppGIF, ppBMP, ppPCX, ppPNG, ppTGA };
using TPreviewPages = TSet<TPreviewPagesItem>;

class TFont;
class TForm;
using TCXIOPreviewEvent = TEvent<void(TObject* Sender, TForm* Form)>;

// The format-parameters dialog lives in a layer above this one and registers its maker here. The
// maker creates the dialog owned by IO, set up from IO (lock flag, language, font, a copy of the
// target image in its source view) to edit Params, and returns it; nullptr when it offers none
// of Pages. The dialog edits a copy of Params and writes it back only when closed with OK.
using TIOPreviewsMaker = TForm* (*)(TCorvexIO& IO, TIOParamsVals& Params, TPreviewPages Pages);
void SetIOPreviewsMaker(TIOPreviewsMaker Maker);
TIOPreviewsMaker GetIOPreviewsMaker();

// Scanning lives in a layer above this one (corvex/acquire) and registers its entry points here:
// the TWAIN parameters a component owns are made and freed by it, and it runs the acquisitions.
// Without them a component has no TWAIN parameters and its acquisitions fail.
using TAcquirePageEvent = TEvent<void(TBitmap* Bitmap, TIOParamsVals*& Params)>;
struct TAcquireHooks {
  TCXTWainParams* (*Create)(TComponent* Owner) = nullptr;
  void (*Destroy)(TCXTWainParams* Params) = nullptr;
  // One image into Bitmap and Params; true when it arrived.
  bool (*Acquire)(TCXTWainParams* Params, TBitmap* Bitmap, TIOParamsVals* Params2, TProgressRec& Progress) = nullptr;
  // Every page the source delivers, each handed to Page; true when at least one arrived.
  bool (*AcquirePages)(TCXTWainParams* Params, TAcquirePageEvent Page, TProgressRec& Progress) = nullptr;
  // The source manager's selection, selected in Params; true when the user chose one.
  bool (*Select)(TCXTWainParams* Params) = nullptr;
};
void SetAcquireHooks(const TAcquireHooks& Hooks);
const TAcquireHooks& GetAcquireHooks();
// The TWAIN parameters a component owns, freed through the hooks.
struct TTWainParamsDeleter {
  void operator()(TCXTWainParams* p) const;
};
using TTWainParamsPtr = std::unique_ptr<TCXTWainParams, TTWainParamsDeleter>;
TTWainParamsPtr MakeTWainParams(TComponent* Owner);

class TCorvexIO : public TCXAttachedComponent {
 public:
  explicit TCorvexIO(TComponent* AOwner = nullptr);
  ~TCorvexIO() override;

  TIOParamsVals& GetParams() { return Params_; }
  const TIOParamsVals& GetParams() const { return Params_; }
  // True when the last load or save failed or was stopped.
  bool GetAborting() const { return Aborting_; }
  // Set from an OnProgress handler to stop the running load or save.
  void SetAborting(bool Value) { Aborting_ = Value; }

  TMsgLanguage GetMsgLanguage() const { return MsgLanguage_; }
  void SetMsgLanguage(TMsgLanguage Value) { MsgLanguage_ = Value; }
  TIOPreviewsParams GetPreviewsParams() const { return PreviewsParams_; }
  void SetPreviewsParams(TIOPreviewsParams Value) { PreviewsParams_ = Value; }
  // Frame TIFF, PCX and JPEG stream data with a 12-byte header.
  bool GetStreamHeaders() const { return StreamHeaders_; }
  void SetStreamHeaders(bool Value) { StreamHeaders_ = Value; }

  // The font of the format-parameters dialog (assigned by value).
  TFont* GetPreviewFont() const { return PreviewFont_.get(); }
  void SetPreviewFont(const TFont* Value);

  TCXProgressEvent OnProgress;
  // Called with the format-parameters dialog just before it is shown.
  TCXIOPreviewEvent OnIOPreview;

  // Refreshes whoever shows the bitmap: the view's Update, then its ImageChange; a TImage's
  // PictureChanged; a bare bitmap is marked modified.
  void Update();

  // The format-parameters dialog on Params, with a preview of the target saved with them. The
  // target becomes 24-bit first unless it is 1 or 24 bits. True when closed with OK (Params then
  // hold the edited fields); Cancel leaves Params as they were. False without a target, or when
  // no dialog is available for Pages.
  bool DoPreviews(TPreviewPages Pages);

  // Scanner acquisition into the target through the TWAIN layer (one image, its record filled
  // from the scanner's image information): false with Aborting set when nothing arrived. The
  // choice of the scanner with the source manager's selection, which selects it in TWainParams.
  bool Acquire();
  bool SelectAcquireSource();
  // The scanner settings: the source, whether its dialog is shown, the capabilities to negotiate
  // (nullptr when the scanning layer is not part of the program).
  TCXTWainParams* GetTWainParams() const { return TWainParams_.get(); }

  // Loads by format (the file's name is kept in Params.FileName; stream loads clear it).
  void LoadFromFileBMP(const std::string& FileName);
  void LoadFromFileCUR(const std::string& FileName);
  void LoadFromFileGif(const std::string& FileName);
  void LoadFromFileICO(const std::string& FileName);
  void LoadFromFileJpeg(const std::string& FileName);
  void LoadFromFilePCX(const std::string& FileName);
  void LoadFromFilePNG(const std::string& FileName);
  void LoadFromFileTGA(const std::string& FileName);
  void LoadFromFileTIFF(const std::string& FileName);
  void LoadFromStreamBMP(TStream* Stream);
  void LoadFromStreamCUR(TStream* Stream);
  void LoadFromStreamGif(TStream* Stream);
  void LoadFromStreamICO(TStream* Stream);
  void LoadFromStreamJpeg(TStream* Stream);
  void LoadFromStreamPCX(TStream* Stream);
  void LoadFromStreamPNG(TStream* Stream);
  void LoadFromStreamTGA(TStream* Stream);
  void LoadFromStreamTIFF(TStream* Stream);
  // Saves by format. A file is written beside the target and renamed over it only when the
  // writer finished: a failed save leaves the file that was there.
  void SaveToFileBMP(const std::string& FileName);
  void SaveToFileGif(const std::string& FileName);
  void SaveToFileJpeg(const std::string& FileName);
  void SaveToFilePCX(const std::string& FileName);
  void SaveToFilePNG(const std::string& FileName);
  void SaveToFileTGA(const std::string& FileName);
  void SaveToFileTIFF(const std::string& FileName);
  void SaveToStreamBMP(TStream* Stream);
  void SaveToStreamGif(TStream* Stream);
  void SaveToStreamJpeg(TStream* Stream);
  void SaveToStreamPCX(TStream* Stream);
  void SaveToStreamPNG(TStream* Stream);
  void SaveToStreamTGA(TStream* Stream);
  void SaveToStreamTIFF(TStream* Stream);

  // Dispatch by extension (files) or by content / type (streams).
  virtual void LoadFromFile(const std::string& FileName);
  virtual void LoadFromStream(TStream* Stream);
  virtual void LoadFromFileFormat(const std::string& FileName, int FileType);
  virtual void LoadFromStreamFormat(TStream* Stream, int FileType);
  virtual void SaveToFile(const std::string& FileName);
  virtual void SaveToStream(TStream* Stream, int FileType);
  // The parameters of a file or stream only; the bitmap is not touched. Errors give FileType 0.
  virtual void ParamsFromFile(const std::string& FileName);
  virtual void ParamsFromStream(TStream* Stream);

  // Draws a Windows metafile or enhanced metafile into the bitmap at Width x Height (a negative
  // side follows the other proportionally; both negative: the metafile's own size), the larger
  // side limited to 2800.
  void ImportMetafile(const std::string& FileName, int Width, int Height);

  // Multi-image files: inserts the bitmap into a GIF at GIF_ImageIndex (and marks the file as a
  // looping animation), or appends it to a TIFF as a new page. Return the writer's result.
  int InsertToFileGif(const std::string& FileName);
  int InsertToFileTIFF(const std::string& FileName);

  // Copies the parameters of another TCorvexIO or of a TIOParamsVals; anything else is ignored.
  void AssignParams(const TObject* Source);
  // Fills the bitmap with Background.
  void Clear();

 private:
  void LoadFile(const std::string& FileName, int FileType);
  void LoadStream(TStream* Stream, int FileType, const std::string& FileName);
  void SaveFile(const std::string& FileName, int FileType);
  void SaveStream(TStream* Stream, int FileType);
  bool ReadWithRegistry(TStream* Stream, int FileType, bool Preview);
  void ReadParams(TStream* Stream, int FileType);
  TProgressRec StartProgress(bool WithEvent = true);
  void AfterLoad(int FileType, const std::string& FileName);
  // The view takes the loaded file's resolution, then Update.
  void UpdateAfterLoad();
  bool PrepareSave();

  TIOParamsVals Params_;
  bool Aborting_ = false;
  TMsgLanguage MsgLanguage_ = msSystem;
  TIOPreviewsParams PreviewsParams_;
  bool StreamHeaders_ = false;
  std::unique_ptr<TFont> PreviewFont_;
  TTWainParamsPtr TWainParams_;
};

// Multi-image helpers on files.
int DeleteGifIm(const std::string& FileName, int Index);
int DeleteTIFFIm(const std::string& FileName, int Index);
// The number of images (0 on any error for GIF; a TIFF that cannot be opened raises).
int EnumGifIm(const std::string& FileName);
int EnumTIFFIm(const std::string& FileName);
// True when the GIF has the looping extension (false on any error).
bool CheckAniGif(const std::string& FileName);


}  // namespace corvex
