// TSafeFile: a file written beside its target (a temporary name in the same folder) and renamed
// over it only on Commit, so that a save that fails or is stopped leaves the file that was there.
// The new file takes the old one's permissions, or the usual ones for a new file.
#pragma once

#include <memory>
#include <string>

#include "corvex/platform/streams/streams.h"

namespace corvex {

class TSafeFile {
 public:
  // Raises EFCreateError naming the target when the temporary file cannot be made.
  explicit TSafeFile(const std::string& Target);
  // Without Commit the temporary file is removed.
  ~TSafeFile();
  TSafeFile(const TSafeFile&) = delete;
  TSafeFile& operator=(const TSafeFile&) = delete;

  TFileStream* Stream() { return Stream_.get(); }
  // Makes the written file the target; raises when it cannot be flushed or renamed.
  void Commit();

 private:
  std::string Target_, Temp_;
  std::unique_ptr<TFileStream> Stream_;
  bool Committed_ = false;
};

}  // namespace corvex
