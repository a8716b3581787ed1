#include "corvex/platform/streams/safefile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

namespace corvex {

TSafeFile::TSafeFile(const std::string& Target) : Target_(Target) {
  std::string tmpl = Target + ".corvex-XXXXXX";
  std::vector<char> name(tmpl.begin(), tmpl.end());
  name.push_back('\0');
  const int fd = ::mkstemp(name.data());
  if (fd < 0) throw EFCreateError("Cannot create file \"" + Target + "\". " + std::strerror(errno));
  struct stat st {};
  mode_t mode = 0666;
  if (::stat(Target.c_str(), &st) == 0) {
    mode = st.st_mode & 07777;
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode &= ~mask;
  }
  ::fchmod(fd, mode);
  ::close(fd);
  Temp_.assign(name.data());
  Stream_ = std::make_unique<TFileStream>(Temp_, fmOpenReadWrite);
}

TSafeFile::~TSafeFile() {
  Stream_.reset();
  if (!Committed_) ::unlink(Temp_.c_str());
}

void TSafeFile::Commit() {
  Stream_->Flush();
  Stream_.reset();
  if (::rename(Temp_.c_str(), Target_.c_str()) != 0)
    throw EFCreateError("Cannot replace file \"" + Target_ + "\". " + std::strerror(errno));
  Committed_ = true;
}

}  // namespace corvex
