// TCorvexVect drawing: objects over the view's rendering, grips, merging into the bitmap.
#include "corvex/view/CXVect.h"

namespace corvex {

void TCorvexVect::Update() { TCorvexView::Update(); }
void TCorvexVect::PaintTo(TCanvas* Canvas) { TCorvexView::PaintTo(Canvas); }
void TCorvexVect::Paint() { TCorvexView::Paint(); }
void TCorvexVect::DrawObjects(TCanvas*, bool) {}
void TCorvexVect::DrawObject(TCanvas*, const TCXVObject&, bool) {}
void TCorvexVect::DrawGrips(TCanvas*) {}
void TCorvexVect::CopyObjectsToBack() { Update(); }

}  // namespace corvex
