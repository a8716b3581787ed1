#include "corvex/platform/avi/avi.h"

#include <algorithm>

namespace corvex {

namespace {
TAVISaveOptionsDialog gDialog = nullptr;
}  // namespace

void AVIFileInit() {}

void SetAVISaveOptionsDialog(TAVISaveOptionsDialog Dialog) { gDialog = Dialog; }
TAVISaveOptionsDialog GetAVISaveOptionsDialog() { return gDialog; }

bool AVISaveOptions(TAVISaveOptions& Options) {
  Options.Quality = std::clamp(Options.Quality, 1, 100);
  if (Options.AskUser && gDialog != nullptr) {
    TAVISaveOptions chosen = Options;
    if (!gDialog(chosen)) return false;
    chosen.Quality = std::clamp(chosen.Quality, 1, 100);
    Options = chosen;
  }
  return true;
}

struct TAVIReader::Impl {};
TAVIReader::TAVIReader() = default;
TAVIReader::~TAVIReader() = default;
bool TAVIReader::Open(const std::string&) {
  Error_ = "AVI reading is not available yet";
  return false;
}
void TAVIReader::Close() {}
bool TAVIReader::IsOpen() const { return false; }
const TBitmapInfoHeader* TAVIReader::GetFrame(int) { return nullptr; }
HGLOBAL TAVIReader::GetFrameDIB(int) { return 0; }

struct TAVIWriter::Impl {};
TAVIWriter::TAVIWriter() = default;
TAVIWriter::~TAVIWriter() = default;
bool TAVIWriter::Create(const std::string&) {
  Error_ = "AVI writing is not available yet";
  return false;
}
bool TAVIWriter::CreateStream(uint32_t, uint32_t) { return false; }
bool TAVIWriter::SetCompression(const TAVISaveOptions&) { return false; }
bool TAVIWriter::SetFormat(const TBitmapInfoHeader&) { return false; }
bool TAVIWriter::WriteFrame(const void*, size_t) { return false; }
bool TAVIWriter::Close() { return false; }
void TAVIWriter::Abort() {}

}  // namespace corvex
