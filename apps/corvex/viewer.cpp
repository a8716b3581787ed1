#include "apps/corvex/viewer.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <filesystem>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/graphics/canvas.h"
#include "corvex/platform/numbers.h"
#include "corvex/platform/streams/streams.h"
#include "corvex/platform/ui/dialogs.h"
#include "corvex/platform/ui/stdctrls.h"
#include "corvex/view/Corvex.h"

namespace corvex::tool {
namespace {

constexpr int kToolBarHeight = 30;
constexpr int kStatusHeight = 22;

std::string Folder(const std::string& File) {
  if (File.empty()) return std::filesystem::current_path().string();
  return std::filesystem::absolute(File).parent_path().string();
}

}  // namespace

ViewerForm::ViewerForm(int ViewWidth, int ViewHeight) : TForm(nullptr) {
  SetCaption("Corvex");
  SetBounds(40, 40, ViewWidth, ViewHeight + kToolBarHeight + kStatusHeight);
  SetClientWidth(ViewWidth);
  SetClientHeight(ViewHeight + kToolBarHeight + kStatusHeight);
  OnClose = TCloseEvent(this, &ViewerForm::FormClose);

  ToolBar_ = new TPanel(this);
  ToolBar_->SetParent(this);
  ToolBar_->SetAlign(alTop);
  ToolBar_->SetHeight(kToolBarHeight);
  ToolBar_->SetBevelOuter(bvNone);
  Status_ = new TPanel(this);
  Status_->SetParent(this);
  Status_->SetAlign(alBottom);
  Status_->SetHeight(kStatusHeight);
  Status_->SetBevelOuter(bvLowered);
  Status_->SetAlignment(taLeftJustify);

  View_ = new TCorvex(this);
  View_->SetParent(this);
  View_->SetBounds(0, kToolBarHeight, ViewWidth, ViewHeight);
  View_->SetAlign(alClient);
  View_->SetScrollBars(ssBoth);
  View_->SetTabStop(true);
  View_->OnKeyDown = TKeyEvent(this, &ViewerForm::KeyDownView);
  View_->OnKeyPress = TKeyPressEvent(this, &ViewerForm::KeyPressView);
  View_->OnViewChange = TViewChangeEvent(this, &ViewerForm::ViewChanged);
  SetActiveControl(View_);

  AddButton("Open", "Open a file (Ctrl+O)", &ViewerForm::OpenFile);
  AddButton("Save As", "Save under another name or format (Ctrl+S)", &ViewerForm::SaveAs);
  AddButton("Undo", "Undo the last operation (Ctrl+Z)", &ViewerForm::Undo);
  Gap();
  AddButton("+", "Zoom in (+)", &ViewerForm::ZoomIn);
  AddButton("\u2212", "Zoom out (-)", &ViewerForm::ZoomOut);
  AddButton("Fit", "Fit the image to the window (F)", &ViewerForm::FitView);
  Gap();
  AddButton("Negative", "The negative of the image or selection", &ViewerForm::Negative);
  AddButton("Grey", "Convert to grey", &ViewerForm::Grey);
  AddButton("Equalize", "Stretch the histogram", &ViewerForm::Equalize);
  AddButton("Blur", "Blur filter", &ViewerForm::Blur);
  AddButton("Sharpen", "Sharpening filter", &ViewerForm::Sharpen);
  Gap();
  AddButton("\u27F2 90\u00B0", "Rotate 90 degrees to the left", &ViewerForm::RotateLeft);
  AddButton("\u27F3 90\u00B0", "Rotate 90 degrees to the right", &ViewerForm::RotateRight);
  AddButton("Mirror", "Mirror left to right", &ViewerForm::Mirror);
  AddButton("Flip", "Flip top to bottom", &ViewerForm::Flip);
  ShowStatus();
}

ViewerForm::~ViewerForm() = default;

TSpeedButton* ViewerForm::AddButton(const std::string& Caption, const std::string& Hint, void (ViewerForm::*Action)()) {
  auto* b = new TSpeedButton(this);
  b->SetParent(ToolBar_);
  b->SetFlat(true);
  b->SetCaption(Caption);
  b->SetHint(Hint);
  b->SetShowHint(true);
  const int w = std::max(30, GetCanvas()->TextWidth(Caption) + 14);
  b->SetBounds(NextX_, 3, w, kToolBarHeight - 6);
  NextX_ += w + 2;
  b->OnClick = TNotifyEvent(this, &ViewerForm::ButtonClick);
  Buttons_.push_back(b);
  Actions_.push_back(Action);
  return b;
}

void ViewerForm::Gap() { NextX_ += 10; }

TSpeedButton* ViewerForm::Button(const std::string& Caption) const {
  for (TSpeedButton* b : Buttons_)
    if (b->GetCaption() == Caption) return b;
  return nullptr;
}

void ViewerForm::ButtonClick(TObject* Sender) {
  for (size_t i = 0; i < Buttons_.size(); ++i)
    if (Buttons_[i] == Sender) {
      (this->*Actions_[i])();
      break;
    }
  if (View_->CanFocus()) View_->SetFocus();
}

bool ViewerForm::Open(const std::string& File, std::string& Error) {
  try {
    View_->LoadFromFile(File);
    if (View_->GetAborting()) {  // an unknown extension: by content
      TFileStream f(File, fmOpenRead | fmShareDenyWrite);
      View_->LoadFromStream(&f);
    }
  } catch (const std::exception& e) {
    Error = e.what();
    return false;
  }
  if (View_->GetAborting() || View_->GetBitmap()->GetEmpty()) {
    Error = "cannot load it (not an image this library reads, or damaged)";
    return false;
  }
  File_ = File;
  ShowStatus();
  return true;
}

void ViewerForm::SetFile(const std::string& File) {
  File_ = File;
  ShowStatus();
}

void ViewerForm::ShowStatus() {
  const TBitmap* b = View_->GetBitmap();
  std::string s = File_.empty() ? std::string("(no file)") : std::filesystem::path(File_).filename().string();
  if (b != nullptr && !b->GetEmpty()) {
    s += "   " + std::to_string(b->GetWidth()) + " x " + std::to_string(b->GetHeight()) + ", " +
         std::to_string(b->GetPixelFormat() == pf1bit ? 1 : 24) + " bits";
  }
  s += "   " + std::to_string(View_->GetZoom()) + " %";
  if (View_->GetCanUndo()) s += "   (Undo available)";
  Status_->SetCaption("  " + s);
  SetCaption(File_.empty() ? std::string("Corvex") : File_ + " - Corvex");
}

void ViewerForm::ViewChanged(TObject*, int) { ShowStatus(); }

void ViewerForm::FormClose(TObject*, TCloseAction&) { OnClosed(this); }

void ViewerForm::KeyDownView(TObject*, uint16_t& Key, TShiftState Shift) {
  const int step = 64;
  if (Shift.Contains(ssCtrl)) {
    switch (Key) {
      case 'O': OpenFile(); break;
      case 'S': SaveAs(); break;
      case 'Z': Undo(); break;
      default: return;
    }
    Key = 0;
    return;
  }
  switch (Key) {
    case VK_LEFT: View_->SetViewXY(View_->GetViewX() - step, View_->GetViewY()); break;
    case VK_RIGHT: View_->SetViewXY(View_->GetViewX() + step, View_->GetViewY()); break;
    case VK_UP: View_->SetViewXY(View_->GetViewX(), View_->GetViewY() - step); break;
    case VK_DOWN: View_->SetViewXY(View_->GetViewX(), View_->GetViewY() + step); break;
    case VK_ESCAPE: Close(); break;
    default: return;
  }
  Key = 0;
}

void ViewerForm::KeyPressView(TObject*, char32_t& Key) {
  static const TCXMouseInteractItem kModes[] = {miZoom,         miScroll,     miSelect,         miSelectPolygon,
                                                miSelectCircle, miSelectZoom, miSelectMagicWand};
  if (Key == U'+' || Key == U'=') ZoomIn();
  else if (Key == U'-') ZoomOut();
  else if (Key == U'f' || Key == U'F') FitView();
  else if (Key >= U'1' && Key <= U'7') View_->SetMouseInteract(TCXMouseInteractItems{kModes[Key - U'1']});
  else return;
  Key = 0;
}

// --- Actions

void ViewerForm::OpenFile() {
  const std::string name = View_->ExecuteOpenDialog(Folder(File_), "", true);
  if (name.empty()) return;
  std::string error;
  if (!Open(name, error)) {
    MessageDlg(name + "\n" + error, mtError, {mbOK}, 0);
    return;
  }
  FitView();
}

void ViewerForm::SaveAs() {
  const std::string name = View_->ExecuteSaveDialog(Folder(File_), std::filesystem::path(File_).filename().string());
  if (name.empty()) return;
  std::string error;
  try {
    View_->SaveToFile(name);
    if (View_->GetAborting()) error = "it could not be written in this format";
  } catch (const std::exception& e) {
    error = e.what();
  }
  if (!error.empty()) {
    MessageDlg(name + "\n" + error, mtError, {mbOK}, 0);
    return;
  }
  File_ = name;
  ShowStatus();
}

void ViewerForm::Undo() {
  if (!View_->GetCanUndo()) return;
  View_->Undo();
  ShowStatus();
}

void ViewerForm::ZoomIn() {
  const int z = View_->GetZoom();
  View_->SetZoom(std::max(z + 1, Round(z * 1.25)));
  ShowStatus();
}

void ViewerForm::ZoomOut() {
  const int z = View_->GetZoom();
  View_->SetZoom(std::max(1, std::min(z - 1, Round(z / 1.25))));
  ShowStatus();
}

void ViewerForm::FitView() {
  View_->Fit();
  ShowStatus();
}

// The operations work on 24-bit images: a 1-bit image is widened first.
template <class Op>
void RunOp(TCorvex* v, Op op) {
  if (v->GetBitmap()->GetEmpty()) return;
  if (v->GetBitmap()->GetPixelFormat() != pf24bit) v->ConvertTo24Bit();
  op(v);
}

void ViewerForm::Negative() {
  RunOp(View_, [](TCorvex* v) { v->Negative(); });
  ShowStatus();
}
void ViewerForm::Grey() {
  RunOp(View_, [](TCorvex* v) { v->ConvertToGray(); });
  ShowStatus();
}
void ViewerForm::Equalize() {
  RunOp(View_, [](TCorvex* v) { v->HistAutoEqualize(); });
  ShowStatus();
}
void ViewerForm::Blur() {
  RunOp(View_, [](TCorvex* v) { v->ApplyFilterPreset(fpBlur); });
  ShowStatus();
}
void ViewerForm::Sharpen() {
  RunOp(View_, [](TCorvex* v) { v->ApplyFilterPreset(fpHighPass1); });
  ShowStatus();
}
void ViewerForm::RotateLeft() {
  RunOp(View_, [](TCorvex* v) { v->Rotate(90, false); });
  ShowStatus();
}
void ViewerForm::RotateRight() {
  RunOp(View_, [](TCorvex* v) { v->Rotate(270, false); });
  ShowStatus();
}
void ViewerForm::Mirror() {
  RunOp(View_, [](TCorvex* v) { v->Flip(fdHorizontal); });
  ShowStatus();
}
void ViewerForm::Flip() {
  RunOp(View_, [](TCorvex* v) { v->Flip(fdVertical); });
  ShowStatus();
}

}  // namespace corvex::tool
