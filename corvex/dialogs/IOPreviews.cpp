#include "corvex/dialogs/IOPreviews.h"

#include <algorithm>
#include <cstdio>
#include <exception>

#include "corvex/core/cxwords.h"
#include "corvex/dialogs/ColorBox.h"
#include "corvex/dialogs/PaletteDialog.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/graphics/font.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/comctrls.h"
#include "corvex/platform/ui/edit.h"
#include "corvex/platform/ui/lists.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/CorvexView.h"

namespace corvex {
namespace {

// Lengths are given at 96 dpi and scaled to the screen.
int S(int v) { return ScaleToScreen(v); }

std::string SizeText(int64_t bytes) {
  char buf[48];
  if (bytes < 1024) std::snprintf(buf, sizeof buf, "%lld bytes", static_cast<long long>(bytes));
  else if (bytes < 1024 * 1024) std::snprintf(buf, sizeof buf, "%.1f KB", double(bytes) / 1024.0);
  else std::snprintf(buf, sizeof buf, "%.2f MB", double(bytes) / (1024.0 * 1024.0));
  return buf;
}

TPreviewPagesItem PageOf(int FileType) {
  switch (FileType) {
    case ioJPEG: return ppJPEG;
    case ioTIFF: return ppTIFF;
    case ioGIF: return ppGIF;
    case ioBMP: return ppBMP;
    case ioPCX: return ppPCX;
    case ioPNG: return ppPNG;
    case ioTGA: return ppTGA;
    default: return ppALL;
  }
}

// Depth choices of the BMP, PCX and TGA pages, as (BitsPerSample, SamplesPerPixel).
struct Depth {
  const char* name;
  int bits, samples;
};
constexpr Depth kDepths[] = {{"1 bit (2 colours)", 1, 1}, {"4 bits (16 colours)", 4, 1},
                             {"8 bits (256 colours)", 8, 1}, {"24 bits (true colour)", 8, 3}};

int DepthIndex(const TIOParamsVals& p) {
  if (p.SamplesPerPixel == 1 && p.BitsPerSample == 1) return 0;
  if (p.SamplesPerPixel == 1 && p.BitsPerSample == 4) return 1;
  if (p.SamplesPerPixel == 1 && p.BitsPerSample == 8) return 2;
  return 3;
}

// The three writable-by-this-library TIFF compressions and the rest, in the enum's order.
const std::vector<std::string> kTiffCompressions = {"Uncompressed", "CCITT Huffman (1D)", "Group 3 fax 1D",
                                                    "Group 3 fax 2D", "Group 4 fax", "LZW", "Old-style JPEG",
                                                    "JPEG", "PackBits"};
const std::vector<std::string> kTiffPhotometric = {"White is zero", "Black is zero", "RGB", "RGB palette",
                                                   "Transparency mask", "CMYK", "YCbCr", "CIE L*a*b*"};

// Creates the dialog for TCorvexIO::DoPreviews.
TForm* MakeIOPreviews(TCorvexIO& IO, TIOParamsVals& Params, TPreviewPages Pages) {
  auto* f = new TfIOPreviews(&IO, Params, Pages, IO.GetAttachedBitmap());
  if (!f->HasPages()) {
    delete f;
    return nullptr;
  }
  return f;
}

const bool kRegistered = (SetIOPreviewsMaker(&MakeIOPreviews), true);

}  // namespace

// ---------------------------------------------------------------------------------------------
// Construction

TfIOPreviews::TfIOPreviews(TComponent* AOwner, TIOParamsVals& Params, TPreviewPages Pages, const TBitmap* Source)
    : TForm(AOwner), Params_(Params), Edited_(std::make_unique<TIOParamsVals>(Params.GetOwner())) {
  (void)kRegistered;
  Edited_->Assign(&Params);
  bool locked = false;
  if (auto* io = dynamic_cast<TCorvexIO*>(AOwner)) {
    Language_ = io->GetMsgLanguage();
    locked = io->GetPreviewsParams().Contains(ioppDefaultLockPreview);
    GetFont()->Assign(io->GetPreviewFont());
  }
  SetCaption(cxmsg(CXMSG_PARAMETERSPREVIEW, Language_));
  SetFormBorderStyle(bsDialog);
  SetPosition(poMainFormCenter);
  SetClientWidth(S(664));
  SetClientHeight(S(420));

  SourceView_ = new TCorvexView(this);
  ResultView_ = new TCorvexView(this);
  int y = S(8);
  for (auto [view, word] : {std::pair{SourceView_, CXMSG_SOURCE}, std::pair{ResultView_, CXMSG_RESULT}}) {
    auto* l = new TLabel(this);
    l->SetParent(this);
    l->SetCaption(cxmsg(word, Language_));
    l->SetBounds(S(364), y, S(290), S(18));
    view->SetParent(this);
    view->SetBounds(S(364), y + S(20), S(290), S(140));
    view->SetAutoFit(true);
    view->SetCenter(true);
    y += S(186);
  }
  SourceSize_ = new TLabel(this);
  SourceSize_->SetParent(this);
  SourceSize_->SetBounds(S(364), S(170), S(290), S(18));
  ResultSizeLabel_ = new TLabel(this);
  ResultSizeLabel_->SetParent(this);
  ResultSizeLabel_->SetBounds(S(364), S(356), S(290), S(18));
  if (Source != nullptr && !Source->GetEmpty()) SourceView_->Assign(Source);

  Pages_ = new TPageControl(this);
  Pages_->SetParent(this);
  Pages_->SetBounds(S(8), S(8), S(344), S(366));
  Build(Pages);
  Pages_->OnChange = TNotifyEvent(this, &TfIOPreviews::PageChanged);

  Lock_ = new TCheckBox(this);
  Lock_->SetParent(this);
  Lock_->SetCaption(cxmsg(CXMSG_LOCKPREVIEW, Language_));
  Lock_->SetBounds(S(8), S(386), S(150), S(24));
  Lock_->SetChecked(locked);
  Lock_->OnClick = TNotifyEvent(this, &TfIOPreviews::LockClicked);
  Preview_ = new TButton(this);
  Preview_->SetParent(this);
  Preview_->SetCaption(cxmsg(CXMSG_PREVIEW, Language_));
  Preview_->SetBounds(S(164), S(384), S(90), S(28));
  Preview_->OnClick = TNotifyEvent(this, &TfIOPreviews::PreviewClicked);
  Ok_ = new TButton(this);
  Ok_->SetParent(this);
  Ok_->SetCaption(cxmsg(CXMSG_OK, Language_));
  Ok_->SetBounds(S(480), S(384), S(84), S(28));
  Ok_->SetDefault(true);
  Ok_->SetModalResult(mrOk);
  Cancel_ = new TButton(this);
  Cancel_->SetParent(this);
  Cancel_->SetCaption(cxmsg(CXMSG_CANCEL, Language_));
  Cancel_->SetBounds(S(572), S(384), S(84), S(28));
  Cancel_->SetCancel(true);
  Cancel_->SetModalResult(mrCancel);

  // The page of the record's own format first, when it is offered.
  SetFileType(Edited_->FileType);
  ShowFields();
  if (!Sheets_.empty()) SetActiveControl(Pages_);
  ShowSizes();
  if (!locked) UpdatePreview();
}

TfIOPreviews::~TfIOPreviews() = default;

TTabSheet* TfIOPreviews::AddPage(int FileType, const std::string& Caption) {
  auto* sheet = new TTabSheet(this);
  sheet->SetPageControl(Pages_);
  sheet->SetCaption(Caption);
  Types_.push_back(FileType);
  Sheets_.push_back(sheet);
  return sheet;
}

void TfIOPreviews::Build(TPreviewPages Pages) {
  const bool all = Pages.Contains(ppALL);
  const TPreviewPagesItem autoPage = Pages.Contains(ppAUTO) ? PageOf(Params_.FileType) : ppALL;
  auto wanted = [&](TPreviewPagesItem p) { return all || Pages.Contains(p) || autoPage == p; };
  if (wanted(ppJPEG)) BuildJpeg(AddPage(ioJPEG, "JPEG"));
  if (wanted(ppTIFF)) BuildTiff(AddPage(ioTIFF, "TIFF"));
  if (wanted(ppGIF)) BuildGif(AddPage(ioGIF, "GIF"));
  if (wanted(ppBMP)) BuildBmp(AddPage(ioBMP, "BMP"));
  if (wanted(ppPCX)) BuildPcx(AddPage(ioPCX, "PCX"));
  if (wanted(ppPNG)) BuildPng(AddPage(ioPNG, "PNG"));
  if (wanted(ppTGA)) BuildTga(AddPage(ioTGA, "TGA"));
}

// --- Page builders: a label column and a field column.

namespace {

struct Placer {
  TWinControl* page;
  TComponent* owner;
  int y = 12;
  TLabel* Label(const std::string& text) {
    auto* l = new TLabel(owner);
    l->SetParent(page);
    l->SetCaption(text);
    l->SetBounds(S(10), S(y + 4), S(120), S(18));
    return l;
  }
  template <class C>
  C* Field(const std::string& label, int width = 180, int height = 24) {
    if (!label.empty()) Label(label);
    auto* c = new C(owner);
    c->SetParent(page);
    c->SetBounds(S(label.empty() ? 10 : 136), S(y), S(width), S(height));
    y += height + 10;
    return c;
  }
};

TTrackBar* Track(Placer& pl, const std::string& label, int lo, int hi, int freq) {
  auto* t = pl.Field<TTrackBar>(label, 190, 32);
  t->SetRange(lo, hi);
  t->SetFrequency(freq);
  t->SetPageSize(std::max(1, (hi - lo) / 10));
  return t;
}

TCheckBox* Check(Placer& pl, const std::string& caption) {
  auto* c = pl.Field<TCheckBox>("", 300, 22);
  c->SetCaption(caption);
  return c;
}

TComboBox* Combo(Placer& pl, const std::string& label, const std::vector<std::string>& items) {
  auto* c = pl.Field<TComboBox>(label, 180, 24);
  c->SetStyle(csDropDownList);
  c->SetItems(items);
  return c;
}

TPanel* Swatch(Placer& pl, const std::string& label) {
  auto* p = pl.Field<TPanel>(label, 60, 22);
  p->SetBevelOuter(bvLowered);
  p->SetCursor(crHandPoint);
  return p;
}

TRadioGroup* Depths(Placer& pl, int count) {
  auto* r = pl.Field<TRadioGroup>("", 310, 28 + 22 * count);
  std::vector<std::string> names;
  for (int i = 0; i < count; ++i) names.push_back(kDepths[i == count - 1 ? 3 : i].name);
  r->SetItems(names);
  return r;
}

}  // namespace

void TfIOPreviews::BuildJpeg(TTabSheet* p) {
  Placer pl{p, this};
  JpegQuality = Track(pl, cxmsg(CXMSG_QUALITY, Language_), 1, 100, 10);
  pl.y -= 6;
  JpegQualityEdit = pl.Field<TSpinEdit>("", 70, 24);
  JpegQualityEdit->SetLeft(S(136));
  JpegQualityEdit->SetMinValue(1);
  JpegQualityEdit->SetMaxValue(100);
  JpegDct = Combo(pl, cxmsg(CXMSG_DCTMETHOD, Language_), {"Integer, accurate", "Integer, fast", "Floating point"});
  JpegSmooth = Track(pl, cxmsg(CXMSG_SMOOTHINGFACTOR, Language_), 0, 100, 10);
  JpegProgressive = Check(pl, cxmsg(CXMSG_PROGRESSIVE, Language_));
  JpegOptimal = Check(pl, cxmsg(CXMSG_OPTIMALHUFFMAN, Language_));
  JpegGray = Check(pl, cxmsg(CXMSG_GRAYSCALE, Language_));
  JpegQuality->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  JpegQualityEdit->OnChange = TNotifyEvent(this, &TfIOPreviews::QualityEdited);
  for (TComboBox* c : {JpegDct}) c->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  JpegSmooth->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  for (TCheckBox* c : {JpegProgressive, JpegOptimal, JpegGray}) c->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
}

void TfIOPreviews::BuildTiff(TTabSheet* p) {
  Placer pl{p, this};
  TiffCompression = Combo(pl, cxmsg(CXMSG_COMPRESSION, Language_), kTiffCompressions);
  TiffPhotometric = Combo(pl, cxmsg(CXMSG_PHOTOMETRIC, Language_), kTiffPhotometric);
  TiffPageName = pl.Field<TEdit>(cxmsg(CXMSG_PAGENAME, Language_));
  TiffDescription = pl.Field<TEdit>(cxmsg(CXMSG_DESCRIPTION, Language_));
  TiffDocument = pl.Field<TEdit>(cxmsg(CXMSG_NAME, Language_));
  for (TComboBox* c : {TiffCompression, TiffPhotometric}) c->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  for (TEdit* e : {TiffPageName, TiffDescription, TiffDocument}) e->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
}

void TfIOPreviews::BuildGif(TTabSheet* p) {
  Placer pl{p, this};
  GifInterlaced = Check(pl, cxmsg(CXMSG_INTERLACED, Language_));
  GifBackground = Swatch(pl, cxmsg(CXMSG_BACKGROUND, Language_));
  GifTransparent = Check(pl, cxmsg(CXMSG_TRANSPARENT, Language_));
  GifTranspColor = Swatch(pl, cxmsg(CXMSG_TRANSPARENTCOLOR, Language_));
  for (TCheckBox* c : {GifInterlaced, GifTransparent}) c->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  for (TPanel* s : {GifBackground, GifTranspColor}) s->OnClick = TNotifyEvent(this, &TfIOPreviews::ColorClicked);
}

void TfIOPreviews::BuildBmp(TTabSheet* p) {
  Placer pl{p, this};
  BmpDepth = Depths(pl, 4);
  BmpDepth->SetCaption(cxmsg(CXMSG_COLORS, Language_));
  BmpRle = Check(pl, cxmsg(CXMSG_COMPRESSION, Language_) + " (RLE)");
  BmpDepth->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  BmpRle->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
}

void TfIOPreviews::BuildPcx(TTabSheet* p) {
  Placer pl{p, this};
  PcxDepth = Depths(pl, 4);
  PcxDepth->SetCaption(cxmsg(CXMSG_COLORS, Language_));
  PcxRle = Check(pl, cxmsg(CXMSG_COMPRESSION, Language_) + " (RLE)");
  PcxDepth->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  PcxRle->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
}

void TfIOPreviews::BuildPng(TTabSheet* p) {
  Placer pl{p, this};
  PngFilter = Combo(pl, cxmsg(CXMSG_FILTER, Language_), {"None", "Sub", "Paeth"});
  PngCompression = Track(pl, cxmsg(CXMSG_COMPRESSION, Language_), 0, 9, 1);
  PngInterlaced = Check(pl, cxmsg(CXMSG_INTERLACED, Language_));
  PngBackground = Swatch(pl, cxmsg(CXMSG_BACKGROUND, Language_));
  PngFilter->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  PngCompression->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  PngInterlaced->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  PngBackground->OnClick = TNotifyEvent(this, &TfIOPreviews::ColorClicked);
}

void TfIOPreviews::BuildTga(TTabSheet* p) {
  Placer pl{p, this};
  TgaDepth = Depths(pl, 4);
  TgaDepth->SetCaption(cxmsg(CXMSG_COLORS, Language_));
  TgaCompressed = Check(pl, cxmsg(CXMSG_COMPRESSION, Language_) + " (RLE)");
  TgaDescription = pl.Field<TEdit>(cxmsg(CXMSG_DESCRIPTION, Language_));
  TgaAuthor = pl.Field<TEdit>(cxmsg(CXMSG_NAME, Language_));
  TgaDepth->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  TgaCompressed->OnClick = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
  for (TEdit* e : {TgaDescription, TgaAuthor}) e->OnChange = TNotifyEvent(this, &TfIOPreviews::FieldChanged);
}

// ---------------------------------------------------------------------------------------------
// Fields and controls

void TfIOPreviews::ShowFields() {
  const TIOParamsVals& e = *Edited_;
  Showing_ = true;
  if (JpegQuality != nullptr) {
    JpegQuality->SetPosition(e.JPEG_Quality);
    JpegQualityEdit->SetValue(e.JPEG_Quality);
    JpegDct->SetItemIndex(int(e.JPEG_DCTMethod));
    JpegSmooth->SetPosition(e.JPEG_Smooth);
    JpegProgressive->SetChecked(e.JPEG_Progressive);
    JpegOptimal->SetChecked(e.JPEG_OptimalHuffman);
    JpegGray->SetChecked(e.JPEG_ColorSpace == ioJPEG_GRAYLEV);
  }
  if (TiffCompression != nullptr) {
    TiffCompression->SetItemIndex(int(e.TIFF_Compression));
    TiffPhotometric->SetItemIndex(int(e.TIFF_PhotometInterpret));
    TiffPageName->SetText(e.TIFF_PageName);
    TiffDescription->SetText(e.TIFF_ImageDescription);
    TiffDocument->SetText(e.TIFF_DocumentName);
  }
  if (GifInterlaced != nullptr) {
    GifInterlaced->SetChecked(e.GIF_Interlaced);
    GifTransparent->SetChecked(e.GIF_FlagTranspColor);
    GifBackground->SetColor(TRGB2TColor(e.GIF_Background));
    GifTranspColor->SetColor(TRGB2TColor(e.GIF_TranspColor));
  }
  if (BmpDepth != nullptr) {
    BmpDepth->SetItemIndex(DepthIndex(e));
    BmpRle->SetChecked(e.BMP_Compression == ioBMP_RLE);
  }
  if (PcxDepth != nullptr) {
    PcxDepth->SetItemIndex(DepthIndex(e));
    PcxRle->SetChecked(e.PCX_Compression == ioPCX_RLE);
  }
  if (PngFilter != nullptr) {
    PngFilter->SetItemIndex(int(e.PNG_Filter));
    PngCompression->SetPosition(e.PNG_Compression);
    PngInterlaced->SetChecked(e.PNG_Interlaced);
    PngBackground->SetColor(TRGB2TColor(e.PNG_Background));
  }
  if (TgaDepth != nullptr) {
    TgaDepth->SetItemIndex(DepthIndex(e));
    TgaCompressed->SetChecked(e.TGA_Compressed);
    TgaDescription->SetText(e.TGA_Description);
    TgaAuthor->SetText(e.TGA_Author);
  }
  Showing_ = false;
}

void TfIOPreviews::FieldChanged(TObject* Sender) {
  if (Showing_) return;
  TIOParamsVals& e = *Edited_;
  auto depth = [&](TRadioGroup* r) {
    const int i = r->GetItemIndex() < 0 ? 3 : std::min(r->GetItemIndex(), 3);
    e.BitsPerSample = kDepths[i].bits;
    e.SamplesPerPixel = kDepths[i].samples;
  };
  if (Sender == JpegQuality) {
    e.JPEG_Quality = JpegQuality->GetPosition();
    Showing_ = true;
    JpegQualityEdit->SetValue(e.JPEG_Quality);
    Showing_ = false;
  } else if (Sender == JpegDct) {
    if (JpegDct->GetItemIndex() >= 0) e.JPEG_DCTMethod = TIOJPEGDctMethod(JpegDct->GetItemIndex());
  } else if (Sender == JpegSmooth) {
    e.JPEG_Smooth = JpegSmooth->GetPosition();
  } else if (Sender == JpegProgressive) {
    e.JPEG_Progressive = JpegProgressive->GetChecked();
  } else if (Sender == JpegOptimal) {
    e.JPEG_OptimalHuffman = JpegOptimal->GetChecked();
  } else if (Sender == JpegGray) {
    e.JPEG_ColorSpace = JpegGray->GetChecked() ? ioJPEG_GRAYLEV : ioJPEG_YCbCr;
  } else if (Sender == TiffCompression) {
    if (TiffCompression->GetItemIndex() >= 0) e.TIFF_Compression = TIOTIFFCompression(TiffCompression->GetItemIndex());
  } else if (Sender == TiffPhotometric) {
    if (TiffPhotometric->GetItemIndex() >= 0)
      e.TIFF_PhotometInterpret = TIOTIFFPhotometInterpret(TiffPhotometric->GetItemIndex());
  } else if (Sender == TiffPageName) {
    e.TIFF_PageName = TiffPageName->GetText();
  } else if (Sender == TiffDescription) {
    e.TIFF_ImageDescription = TiffDescription->GetText();
  } else if (Sender == TiffDocument) {
    e.TIFF_DocumentName = TiffDocument->GetText();
  } else if (Sender == GifInterlaced) {
    e.GIF_Interlaced = GifInterlaced->GetChecked();
  } else if (Sender == GifTransparent) {
    e.GIF_FlagTranspColor = GifTransparent->GetChecked();
  } else if (Sender == BmpDepth) {
    depth(BmpDepth);
  } else if (Sender == BmpRle) {
    e.BMP_Compression = BmpRle->GetChecked() ? ioBMP_RLE : ioBMP_UNCOMPRESSED;
  } else if (Sender == PcxDepth) {
    depth(PcxDepth);
  } else if (Sender == PcxRle) {
    e.PCX_Compression = PcxRle->GetChecked() ? ioPCX_RLE : ioPCX_UNCOMPRESSED;
  } else if (Sender == PngFilter) {
    if (PngFilter->GetItemIndex() >= 0) e.PNG_Filter = TIOPNGFilter(PngFilter->GetItemIndex());
  } else if (Sender == PngCompression) {
    e.PNG_Compression = PngCompression->GetPosition();
  } else if (Sender == PngInterlaced) {
    e.PNG_Interlaced = PngInterlaced->GetChecked();
  } else if (Sender == TgaDepth) {
    depth(TgaDepth);
  } else if (Sender == TgaCompressed) {
    e.TGA_Compressed = TgaCompressed->GetChecked();
  } else if (Sender == TgaDescription) {
    e.TGA_Description = TgaDescription->GetText();
  } else if (Sender == TgaAuthor) {
    e.TGA_Author = TgaAuthor->GetText();
  }
  // The depth pages share one pair of fields: keep the others showing it.
  if (Sender == BmpDepth || Sender == PcxDepth || Sender == TgaDepth) {
    Showing_ = true;
    for (TRadioGroup* r : {BmpDepth, PcxDepth, TgaDepth})
      if (r != nullptr && r != Sender) r->SetItemIndex(DepthIndex(e));
    Showing_ = false;
  }
  if (!GetLockPreview()) UpdatePreview();
}

void TfIOPreviews::QualityEdited(TObject*) {
  if (Showing_) return;
  // The track bar's change carries the value into the record.
  JpegQuality->SetPosition(JpegQualityEdit->GetValue());
}

void TfIOPreviews::ColorClicked(TObject* Sender) {
  TRGB* field = nullptr;
  if (Sender == GifBackground) field = &Edited_->GIF_Background;
  else if (Sender == GifTranspColor) field = &Edited_->GIF_TranspColor;
  else if (Sender == PngBackground) field = &Edited_->PNG_Background;
  if (field == nullptr) return;
  TRGB c = *field;
  if (!Edited_->ColorMap.empty()) {
    // A palette image: one of its own colours, from the palette dialog.
    TCorvexPaletteDialog dlg(this);
    dlg.SetPalette(Edited_->ColorMap.data(), Edited_->GetColorMapCount());
    if (!dlg.Execute()) return;
    c = TColor2TRGB(dlg.GetSelectedColor());
  } else if (!CXPickColor(c, Language_, GetFont())) {
    return;
  }
  *field = c;
  static_cast<TPanel*>(Sender)->SetColor(TRGB2TColor(c));
  if (!GetLockPreview()) UpdatePreview();
}

void TfIOPreviews::PageChanged(TObject*) {
  if (!GetLockPreview()) UpdatePreview();
  else ShowSizes();
}

void TfIOPreviews::LockClicked(TObject*) {
  if (!GetLockPreview()) UpdatePreview();
}

void TfIOPreviews::PreviewClicked(TObject*) { UpdatePreview(); }

TModalResult TfIOPreviews::ShowModal() {
  const TModalResult r = TForm::ShowModal();
  if (r == mrOk) Params_.Assign(Edited_.get());  // however OK came (button, Enter, code)
  return r;
}

// ---------------------------------------------------------------------------------------------
// Pages and the preview

int TfIOPreviews::GetFileType() const {
  const int i = Pages_->GetActivePageIndex();
  return i >= 0 && i < int(Types_.size()) ? Types_[size_t(i)] : ioUnknown;
}

void TfIOPreviews::SetFileType(int FileType) {
  for (size_t i = 0; i < Types_.size(); ++i)
    if (Types_[i] == FileType) {
      Pages_->SetActivePageIndex(int(i));
      return;
    }
  if (Pages_->GetActivePageIndex() < 0 && !Types_.empty()) Pages_->SetActivePageIndex(0);
}

bool TfIOPreviews::GetLockPreview() const { return Lock_ != nullptr && Lock_->GetChecked(); }
void TfIOPreviews::SetLockPreview(bool Value) { Lock_->SetChecked(Value); }

int64_t TfIOPreviews::GetSourceSize() const {
  const TBitmap* b = SourceView_->GetBitmap();
  if (b == nullptr || b->GetEmpty()) return 0;
  const int bits = b->GetPixelFormat() == pf1bit ? 1 : 24;
  return 54 + int64_t((int64_t(b->GetWidth()) * bits + 31) / 32 * 4) * b->GetHeight();
}

void TfIOPreviews::UpdatePreview() {
  const int type = GetFileType();
  const TBitmap* src = SourceView_->GetBitmap();
  ResultSize_ = 0;
  PreviewError_.clear();
  if (type == ioUnknown || src == nullptr || src->GetEmpty()) {
    ResultView_->Blank();
    ShowSizes();
    return;
  }
  TMemoryStream bytes;
  try {
    TBitmap work;
    work.Assign(src);
    TCorvexIO writer;
    writer.SetAttachedBitmap(&work);
    writer.GetParams().Assign(Edited_.get());
    writer.SaveToStream(&bytes, type);
    if (writer.GetAborting() || bytes.GetSize() == 0) {
      PreviewError_ = "these settings cannot be written";
    } else {
      ResultSize_ = bytes.GetSize();
      bytes.SetPosition(0);
      TCorvexIO reader;
      reader.SetAttachedCorvex(ResultView_);
      reader.LoadFromStreamFormat(&bytes, type);
      if (reader.GetAborting()) PreviewError_ = "the written image cannot be read back";
    }
  } catch (const std::exception& ex) {
    PreviewError_ = ex.what();
  }
  if (!PreviewError_.empty()) ResultView_->Blank();
  ShowSizes();
}

void TfIOPreviews::ShowSizes() {
  SourceSize_->SetCaption(cxmsg(CXMSG_ORIGINALSIZE, Language_) + ": " + SizeText(GetSourceSize()));
  if (!PreviewError_.empty()) ResultSizeLabel_->SetCaption(PreviewError_);
  else if (ResultSize_ > 0)
    ResultSizeLabel_->SetCaption(cxmsg(CXMSG_COMPRESSEDSIZE, Language_) + ": " + SizeText(ResultSize_));
  else ResultSizeLabel_->SetCaption(cxmsg(CXMSG_COMPRESSEDSIZE, Language_) + ": -");
}

}  // namespace corvex
