// Helpers shared by the GIF reader, writer and editors: bounded sub-block walking, colour tables,
// the graphic control extension, and the safe replacement of a file.
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "corvex/io/codecs/GIFFilter.h"
#include "corvex/io/codecs/GIFFilter_pvt.h"

namespace corvex::gif {

bool Input::SkipSubBlocks() {
  for (;;) {
    uint8_t n = 0;
    if (!Byte(n)) return false;
    if (n == 0) return true;
    const int64_t pos = s_->GetPosition();
    if (pos + n > size_) {
      s_->SetPosition(size_);
      return false;
    }
    s_->SetPosition(pos + n);
  }
}

bool Input::Copy(TStream* Out, int64_t N) {
  uint8_t buf[4096];
  while (N > 0) {
    const int64_t want = N < int64_t(sizeof buf) ? N : int64_t(sizeof buf);
    const int64_t got = s_->Read(buf, want);
    if (got > 0) Out->WriteBuffer(buf, got);
    if (got < want) return false;
    N -= got;
  }
  return true;
}

bool Input::CopySubBlocks(TStream* Out) {
  uint8_t block[256];
  for (;;) {
    if (!Byte(block[0])) return false;
    const int n = block[0];
    if (n == 0) {
      Out->WriteBuffer(block, 1);
      return true;
    }
    const int64_t got = s_->Read(block + 1, n);
    Out->WriteBuffer(block, 1 + (got > 0 ? got : 0));
    if (got < n) return false;
  }
}

bool ReadColorTable(Input& In, int Count, std::vector<TRGB>& Table) {
  std::vector<uint8_t> raw(static_cast<size_t>(Count) * 3, 0);
  const bool whole = In.Bytes(raw.data(), static_cast<int64_t>(raw.size()));
  Table.assign(static_cast<size_t>(Count), TRGB{0, 0, 0});
  for (int i = 0; i < Count; ++i)
    Table[size_t(i)] = CreateRGB(raw[3 * size_t(i)], raw[3 * size_t(i) + 1], raw[3 * size_t(i) + 2]);
  return whole;
}

void WriteColorTable(TStream* Out, const std::vector<TRGB>& Table) {
  std::vector<uint8_t> raw;
  raw.reserve(Table.size() * 3);
  for (const TRGB& c : Table) {
    raw.push_back(c.r);
    raw.push_back(c.g);
    raw.push_back(c.b);
  }
  if (!raw.empty()) Out->WriteBuffer(raw.data(), static_cast<int64_t>(raw.size()));
}

void WriteGraphicControl(TStream* Out, const TIOParamsVals& Params, uint8_t TransparentIndex) {
  uint8_t gce[8] = {kExtension, kGraphicControl, 4, 0, 0, 0, 0, 0};
  gce[3] = static_cast<uint8_t>((Params.GIF_FlagTranspColor ? 1 : 0) | 8);  // disposal 2
  Put16(gce + 4, Params.GIF_DelayTime);
  gce[6] = TransparentIndex;
  Out->WriteBuffer(gce, sizeof gce);
}

std::string VersionToWrite(const std::string& Version) {
  if (Version.size() >= 6 && Version.compare(0, 3, "GIF") == 0) return Version.substr(0, 6);
  return "GIF89a";
}

std::string TempNameBeside(const std::string& FileName) {
  static std::atomic<unsigned> counter{0};
  return FileName + ".~" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".tmp";
}

std::unique_ptr<TFileStream> CreateTempBeside(const std::string& FileName, std::string& TempName) {
  TempName = TempNameBeside(FileName);
  try {
    return std::make_unique<TFileStream>(TempName, fmCreate);
  } catch (const EFCreateError& e) {
    throw EFCreateError("Cannot create file \"" + FileName + "\" (" + e.what() + ")");
  }
}

void CommitTempFile(const std::string& TempName, const std::string& FileName) {
  struct stat st {};
  if (::stat(FileName.c_str(), &st) == 0) ::chmod(TempName.c_str(), st.st_mode & 07777);
  if (std::rename(TempName.c_str(), FileName.c_str()) != 0) {
    const int err = errno;
    std::remove(TempName.c_str());
    throw EFCreateError("Cannot replace file \"" + FileName + "\". " + std::strerror(err));
  }
}

void ReplaceFile(const std::string& FileName, const TMemoryStream& Data) {
  std::string tmp;
  std::unique_ptr<TFileStream> f = CreateTempBeside(FileName, tmp);
  try {
    Data.SaveToStream(f.get());
    f->Flush();
    f.reset();
  } catch (...) {
    f.reset();
    std::remove(tmp.c_str());
    throw;
  }
  CommitTempFile(tmp, FileName);
}

}  // namespace corvex::gif
