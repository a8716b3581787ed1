#include "corvex/platform/object.h"

#include <cxxabi.h>

#include <cstdlib>
#include <typeinfo>

namespace corvex {

std::string TObject::ClassName() const {
  const char* mangled = typeid(*this).name();
  int status = 0;
  char* plain = abi::__cxa_demangle(mangled, nullptr, nullptr, &status);
  std::string name = (status == 0 && plain != nullptr) ? plain : mangled;
  std::free(plain);
  if (auto colon = name.rfind("::"); colon != std::string::npos) name.erase(0, colon + 2);
  return name;
}

void TPersistent::Assign(const TPersistent* Source) {
  if (Source == nullptr) throw EConvertError("Cannot assign nil to a " + ClassName());
  Source->AssignTo(this);
}

void TPersistent::AssignTo(TPersistent* Dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " +
                      (Dest != nullptr ? Dest->ClassName() : std::string("nil")));
}

}  // namespace corvex
