// The interface through which a desktop host shows top-level windows for real. Without a host
// (tests, command-line use) everything works headless: windows paint into their backing bitmaps,
// the clock is virtual and input comes from the code. A host (host/qt) implements this, registers
// it with Application.SetHost, and feeds real input and real time back through TApplication's
// input entry points.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "corvex/platform/types.h"
#include "corvex/platform/ui/cursors.h"

namespace corvex {

class TWinControl;

// An open or save dialog that a host may show with the desktop's own file dialog. The dialog
// component fills it in, hands it to THost::RunFileDialog, and learns through the virtual calls
// what the user does while the dialog is up.
class TFileDialogRequest {
 public:
  virtual ~TFileDialogRequest() = default;

  enum TMode { fdOpen, fdSave };
  // One entry of the type list: its caption ("JPEG Bitmap (*.jpg;*.jpeg)") and its patterns
  // ("*.jpg", "*.jpeg"; "*" or "*.*" for every file).
  struct TFilterItem {
    std::string Caption;
    std::vector<std::string> Patterns;
  };

  TMode Mode = fdOpen;
  std::string Title;
  std::string Directory;  // the folder shown first
  // In: the name proposed (a bare name or a path). Out: the absolute path that was accepted.
  std::string FileName;
  std::vector<TFilterItem> Filters;
  int FilterIndex = 0;  // 0-based, in and out
  // A parentless windowed control the host shows beside the file list (nullptr: none).
  TWinControl* PreviewPane = nullptr;
  // A button under the type list that calls OptionsClicked (empty caption: no button).
  std::string OptionsCaption;

  // The dialog is on screen, or was closed (Accepted: a file was chosen).
  virtual void Shown() {}
  virtual void Closed(bool /*Accepted*/) {}
  // The file under the cursor changed (empty: none, or a folder).
  virtual void CurrentChanged(const std::string& /*Path*/) {}
  // The user chose another entry of the type list.
  virtual void FilterChanged(int /*Index*/) {}
  virtual void OptionsClicked() {}
  // The user accepted Path (absolute, not a folder) with the type list at FilterIndex. The
  // request may change the name (add an extension) or refuse it (false: the dialog stays open),
  // and asks its own questions (replace an existing file?) here.
  virtual bool Accept(std::string& /*Path*/) { return true; }
};

class THost {
 public:
  virtual ~THost() = default;

  // A top-level window (a form, a hint window, or a control embedded by the host) was shown or
  // hidden, moved or resized, or its caption changed.
  virtual void WindowShown(TWinControl* Window, bool Shown) = 0;
  virtual void WindowBoundsChanged(TWinControl* Window) = 0;
  virtual void WindowCaptionChanged(TWinControl* Window) = 0;
  // A top-level window is being destroyed.
  virtual void WindowDestroyed(TWinControl* Window) = 0;
  // Pixels of a top-level window's surface changed within R (window coordinates).
  virtual void WindowSurfaceChanged(TWinControl* Window, const TRect& R) = 0;
  // The cursor over a top-level window changed.
  virtual void WindowCursorChanged(TWinControl* Window, HCURSOR Cursor) = 0;

  // Milliseconds of a monotonic clock.
  virtual int64_t Now() = 0;
  // The next timer is due at this time (Now's scale), or never (-1): the host calls
  // Application.RunTimers() then.
  virtual void ScheduleTimers(int64_t DueAt) = 0;
  // A message was posted: the host calls Application.ProcessMessages() soon, from its event loop.
  virtual void Wake() = 0;
  // Runs a nested event loop until Application.ModalDone() is true for Window.
  virtual void RunModal(TWinControl* Window) = 0;
  // The mouse capture moved to (true) or away from (false) a window of Window's top level.
  virtual void CaptureChanged(TWinControl* /*Window*/, bool /*Captured*/) {}
  // Runs Request with the desktop's file dialog, modally. True when the host handled it (the
  // outcome is then in Request: FileName not empty when a file was chosen); false when the host
  // has no file dialog of its own, and the caller shows its own.
  virtual bool RunFileDialog(TFileDialogRequest& /*Request*/) { return false; }
};

}  // namespace corvex
