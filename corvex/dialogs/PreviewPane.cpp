// The preview pane of the file dialogs: one picture, its size line, or a message.
#include "corvex/dialogs/PreviewPane.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "corvex/io/CorvexIO.h"
#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/ui/forms.h"
#include "corvex/view/CorvexView.h"

namespace corvex {

namespace {

// An animation is played only while its frames stay within these bounds; a larger one shows its
// first image still.
constexpr int kMaxFrames = 500;
constexpr int64_t kMaxFrameBytes = 96ll << 20;
constexpr int kMaxScreenSide = 8192;
// Browsers' rule for GIF delays: 0 or 1 hundredth means "as fast as sensible", 100 ms.
int DelayMs(int Hundredths) { return Hundredths <= 1 ? 100 : Hundredths * 10; }

constexpr int kMargin = 4;

std::string Lower(std::string S) {
  std::transform(S.begin(), S.end(), S.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  return S;
}

}  // namespace

std::string CXPreviewInfoLine(int Width, int Height, int Bits, int64_t FileSize) {
  char size[48];
  if (FileSize < 1024)
    std::snprintf(size, sizeof size, "%lld bytes", static_cast<long long>(FileSize));
  else if (FileSize < 1024 * 1024)
    std::snprintf(size, sizeof size, "%.1f KB", double(FileSize) / 1024.0);
  else
    std::snprintf(size, sizeof size, "%.1f MB", double(FileSize) / (1024.0 * 1024.0));
  return std::to_string(Width) + " x " + std::to_string(Height) + ", " + std::to_string(Bits) +
         (Bits == 1 ? " bit, " : " bits, ") + size;
}

TCXPreviewPane::TCXPreviewPane(TComponent* AOwner) : TCustomControl(AOwner) {
  SetBorderStyle(bsSingle);
  SetColor(clBtnFace);
  SetBounds(0, 0, 200, 220);
  View_ = new TCorvexView(this);
  View_->SetParent(this);
  View_->SetScrollBars(ssNone);
  View_->SetCenter(true);
  View_->SetBackGround(clWhite);
  View_->SetCursor(crDefault);
  View_->SetZoomFilter(rfTriangle);
  View_->Hide();
  IO_ = std::make_unique<TCorvexIO>(nullptr);
  IO_->SetAttachedCorvex(View_);
  Timer_ = std::make_unique<TTimer>(nullptr);
  Timer_->SetEnabled(false);
  Timer_->OnTimer = TNotifyEvent(this, &TCXPreviewPane::NextFrame);
  Layout();
}

TCXPreviewPane::~TCXPreviewPane() {
  Timer_.reset();
  IO_.reset();  // detaches from the view while it still exists
}

int TCXPreviewPane::GetFrameDelay(int Index) const {
  return Index >= 0 && Index < GetFrameCount() ? Frames_[size_t(Index)].Delay : 0;
}

int TCXPreviewPane::LineHeight() const {
  TCanvas measure;
  measure.SetFont(const_cast<TCXPreviewPane*>(this)->GetFont());
  return measure.TextHeight("Xg") + 2 * kMargin;
}

TRect TCXPreviewPane::PictureArea() const {
  const TRect c = GetClientRect();
  TRect r = Rect(c.Left + kMargin, c.Top + kMargin, c.Right - kMargin, c.Bottom);
  r.Bottom -= LineHeight();
  if (r.Bottom < r.Top) r.Bottom = r.Top;
  if (r.Right < r.Left) r.Right = r.Left;
  return r;
}

void TCXPreviewPane::Layout() {
  if (View_ == nullptr) return;  // sized while being made
  View_->SetBoundsRect(PictureArea());
  FitView();
}

// The largest zoom at which the whole picture fits the view, at most 100%.
void TCXPreviewPane::FitView() {
  const TBitmap* b = View_->GetBitmap();
  const int w = b->GetWidth(), h = b->GetHeight();
  const int cw = View_->GetClientWidth(), ch = View_->GetClientHeight();
  if (w <= 0 || h <= 0 || cw <= 0 || ch <= 0) return;
  const int64_t zx = int64_t(cw) * 100 / w, zy = int64_t(ch) * 100 / h;
  const int z = int(std::clamp<int64_t>(std::min(zx, zy), 1, 100));
  View_->SetZoom(z);
  View_->Update();
}

void TCXPreviewPane::Resize() {
  TCustomControl::Resize();
  Layout();
}

void TCXPreviewPane::StopAnimation() {
  Timer_->SetEnabled(false);
  Frames_.clear();
  Frame_ = 0;
}

void TCXPreviewPane::Clear() {
  StopAnimation();
  FileName_.clear();
  Info_.clear();
  Message_.clear();
  View_->Hide();
  Invalidate();
}

void TCXPreviewPane::ShowMessage(const std::string& Text) {
  Clear();
  Message_ = Text;
}

bool TCXPreviewPane::ShowFile(const std::string& FileName) {
  Clear();
  std::error_code ec;
  if (FileName.empty() || std::filesystem::is_directory(FileName, ec)) return false;
  FileName_ = FileName;
  std::string error;
  if (!LoadPicture(FileName, error)) {
    Message_ = error;
    Invalidate();
    return false;
  }
  const TBitmap* b = View_->GetBitmap();
  int bits = IO_->GetParams().BitsPerSample * IO_->GetParams().SamplesPerPixel;
  if (bits <= 0) bits = b->GetBitCount();
  const auto size = std::filesystem::file_size(FileName, ec);
  Info_ = CXPreviewInfoLine(b->GetWidth(), b->GetHeight(), bits, ec ? 0 : int64_t(size));
  View_->Show();
  Layout();
  Invalidate();
  return true;
}

bool TCXPreviewPane::LoadPicture(const std::string& FileName, std::string& Error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(FileName, ec)) {
    Error = "Not a file";
    return false;
  }
  try {
    IO_->LoadFromFile(FileName);
    // A known extension on another format, or an unknown one: try the content.
    if (IO_->GetAborting()) {
      const int type = FindFileFormat(FileName, false);
      if (type != ioUnknown) IO_->LoadFromFileFormat(FileName, type);
    }
  } catch (const std::exception& e) {
    Error = std::string("Cannot open the file: ") + e.what();
    return false;
  } catch (...) {
    Error = "Cannot open the file";
    return false;
  }
  const TBitmap* b = View_->GetBitmap();
  if (IO_->GetAborting() || b->GetWidth() <= 0 || b->GetHeight() <= 0) {
    Error = "No preview: the file is not an image that can be read";
    return false;
  }
  const std::filesystem::path p(FileName);
  if (AlwaysAnimate_ && Lower(p.extension().string()) == ".gif" && IO_->GetParams().GIF_ImageCount > 1)
    LoadGifFrames(FileName);
  return true;
}

// Reads every image of the GIF and lays each on the logical screen over the previous one (the
// transparent colour lets the earlier frames show through).
bool TCXPreviewPane::LoadGifFrames(const std::string& FileName) {
  std::vector<Frame> frames;
  try {
    TFileStream f(FileName, fmOpenRead | fmShareDenyWrite);
    TIOParamsVals params;
    int count = 0;
    bool aborting = false;
    TProgressRec pr;
    pr.Aborting = &aborting;
    TBitmap untouched;
    ReadGifStream(&f, &untouched, count, params, pr, true);
    int sw = params.GIF_WinWidth, sh = params.GIF_WinHeight;
    if (aborting || count < 2 || count > kMaxFrames) return false;
    if (sw <= 0 || sh <= 0 || sw > kMaxScreenSide || sh > kMaxScreenSide) return false;
    if (int64_t(sw) * sh * 3 * count > kMaxFrameBytes) return false;
    TBitmap screen(sw, sh, pf24bit);
    for (int y = 0; y < sh; ++y) std::fill_n(screen.ScanLine(y), size_t(sw) * 3, uint8_t(255));
    for (int i = 0; i < count; ++i) {
      TBitmap image;
      params.SetDefaultParams();
      params.GIF_ImageIndex = i;
      aborting = false;
      f.Seek(0, soBeginning);
      int n = 0;
      ReadGifStream(&f, &image, n, params, pr, false);
      if (aborting || image.GetWidth() <= 0 || image.GetHeight() <= 0) return false;
      image.SetPixelFormat(pf24bit);
      const bool transparent = params.GIF_FlagTranspColor;
      const TRGB key = params.GIF_TranspColor;
      for (int y = 0; y < image.GetHeight(); ++y) {
        const int sy = params.GIF_YPos + y;
        if (sy < 0 || sy >= sh) continue;
        const auto* src = reinterpret_cast<const TRGB*>(image.ScanLine(y));
        auto* dst = reinterpret_cast<TRGB*>(screen.ScanLine(sy));
        for (int x = 0; x < image.GetWidth(); ++x) {
          const int sx = params.GIF_XPos + x;
          if (sx < 0 || sx >= sw) continue;
          if (transparent && src[x].r == key.r && src[x].g == key.g && src[x].b == key.b) continue;
          dst[sx] = src[x];
        }
      }
      Frame fr;
      fr.Bitmap = std::make_unique<TBitmap>();
      fr.Bitmap->Assign(&screen);
      fr.Delay = DelayMs(params.GIF_DelayTime);
      frames.push_back(std::move(fr));
    }
  } catch (...) {
    return false;  // a damaged animation shows its first image still
  }
  Frames_ = std::move(frames);
  ShowFrame(0);
  return true;
}

void TCXPreviewPane::ShowFrame(int Index) {
  if (Index < 0 || Index >= GetFrameCount()) return;
  Frame_ = Index;
  View_->GetBitmap()->Assign(Frames_[size_t(Index)].Bitmap.get());
  View_->Update();
  Timer_->SetInterval(unsigned(Frames_[size_t(Index)].Delay));
  Timer_->SetEnabled(true);
}

void TCXPreviewPane::NextFrame(TObject*) {
  if (Frames_.empty()) {
    Timer_->SetEnabled(false);
    return;
  }
  ShowFrame((Frame_ + 1) % GetFrameCount());
}

void TCXPreviewPane::Paint() {
  TCanvas* c = GetCanvas();
  const TRect all = GetClientRect();
  c->GetBrush()->SetStyle(bsSolid);
  c->GetBrush()->SetColor(GetColor());
  c->FillRect(all);
  c->GetFont()->Assign(GetFont());
  c->GetBrush()->SetStyle(bsClear);
  if (!Message_.empty()) {
    // The message where the picture would be, wrapped to the pane.
    TRect r = Rect(all.Left + 2 * kMargin, all.Top + 2 * kMargin, all.Right - 2 * kMargin, all.Bottom - 2 * kMargin);
    std::string text = Message_;
    c->GetFont()->SetColor(clGrayText);
    c->TextRect(r, text, TTextFormat{tfCenter, tfVerticalCenter, tfWordBreak, tfNoPrefix});
    return;
  }
  if (!Info_.empty()) {
    const TRect pic = PictureArea();
    TRect r = Rect(all.Left + kMargin, pic.Bottom, all.Right - kMargin, all.Bottom);
    std::string text = Info_;
    c->GetFont()->SetColor(clWindowText);
    c->TextRect(r, text, TTextFormat{tfCenter, tfVerticalCenter, tfSingleLine, tfEndEllipsis, tfNoPrefix});
  }
}

}  // namespace corvex
