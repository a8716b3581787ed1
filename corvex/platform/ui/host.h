// The interface through which a desktop host shows top-level windows for real. Without a host
// (tests, command-line use) everything works headless: windows paint into their backing bitmaps,
// the clock is virtual and input comes from the code. A host (host/qt) implements this, registers
// it with Application.SetHost, and feeds real input and real time back through TApplication's
// input entry points.
#pragma once

#include <cstdint>

#include "corvex/platform/types.h"
#include "corvex/platform/ui/cursors.h"

namespace corvex {

class TWinControl;

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
};

}  // namespace corvex
