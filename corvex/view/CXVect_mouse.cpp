// TCorvexVect: mouse modes, hit testing, grips, text editing and the measure hint.
#include "corvex/view/CXVect.h"

#include "corvex/platform/ui/edit.h"

namespace corvex {

void TCorvexVect::SetMouseInteractVt(TCXMouseInteractVt Value) { MouseInteractVt_ = Value; }
void TCorvexVect::SetMouseInteract(TCXMouseInteractItems Value) { TCorvexView::SetMouseInteract(Value); }
int TCorvexVect::FindNearObj(int, int, double& Distance) const {
  Distance = 1000000000.0;
  return kVectAll;
}
double TCorvexVect::CalcDistPtObj(int, int, int) const { return -1; }
int TCorvexVect::FindSelGrip(int, int, int& Grip) const {
  Grip = 0;
  return kVectNone;
}
void TCorvexVect::ActiveTextEdit() {}
void TCorvexVect::RemoveTextEdit() {}
void TCorvexVect::TextEditKeyDown(TObject*, uint16_t&, TShiftState) {}
void TCorvexVect::CancelInteracts() {}
void TCorvexVect::Select(int x1, int y1, int x2, int y2, TCXSelOp Op) { TCorvexView::Select(x1, y1, x2, y2, Op); }
void TCorvexVect::AddSelPoint(int x, int y) { TCorvexView::AddSelPoint(x, y); }
void TCorvexVect::ViewChange(int Change) { TCorvexView::ViewChange(Change); }
void TCorvexVect::SubMouseMoveScroll(int dx, int dy) { TCorvexView::SubMouseMoveScroll(dx, dy); }
void TCorvexVect::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCorvexView::MouseDown(Button, Shift, X, Y);
}
void TCorvexVect::MouseMove(TShiftState Shift, int X, int Y) { TCorvexView::MouseMove(Shift, X, Y); }
void TCorvexVect::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  TCorvexView::MouseUp(Button, Shift, X, Y);
}
void TCorvexVect::KeyDown(uint16_t& Key, TShiftState Shift) { TCorvexView::KeyDown(Key, Shift); }
void TCorvexVect::WMSize(TMessage& Message) { TCorvexView::WMSize(Message); }
void TCorvexVect::ShowMeasureHint(int, int) {}

}  // namespace corvex
