#include "corvex/package/package.h"

#include <dlfcn.h>

#include <cstdlib>
#include <map>
#include <mutex>
#include <sys/stat.h>

#include "corvex/platform/ui/cursors.h"

namespace corvex {

namespace {

std::mutex gUnitsMutex;

std::map<std::string, int>& Counters() {
  static std::map<std::string, int> m;
  return m;
}

// The image view's unit puts the library's cursors into the screen's cursor table.
void CorvexViewInit() { RegisterCorvexCursors(); }

}  // namespace

int UnitCounter(const std::string& Unit) {
  std::lock_guard<std::mutex> lock(gUnitsMutex);
  auto it = Counters().find(Unit);
  return it == Counters().end() ? 0 : it->second;
}

int InitializePackage(const TPackageInfo& Package) {
  int ran = 0;
  for (const TPackageUnit& u : Package.Units) {
    bool first;
    {
      std::lock_guard<std::mutex> lock(gUnitsMutex);
      first = Counters()[u.Name]-- == 0;
    }
    if (first && u.Initialization != nullptr) u.Initialization();
    ran += first ? 1 : 0;
  }
  return ran;
}

int FinalizePackage(const TPackageInfo& Package) {
  int ran = 0;
  for (auto it = Package.Units.rbegin(); it != Package.Units.rend(); ++it) {
    bool last;
    {
      std::lock_guard<std::mutex> lock(gUnitsMutex);
      int& c = Counters()[it->Name];
      if (c == 0) continue;  // never started by anyone: nothing to end
      last = ++c == 0;
    }
    if (last && it->Finalization != nullptr) it->Finalization();
    ran += last ? 1 : 0;
  }
  return ran;
}

const TPackageInfo& CorvexCtrlPackage() {
  static const TPackageInfo info{
      "corvexctrl",
      "Corvex Controls",
      {"vcl40", "Vclx40"},
      {{"corvexctrl", nullptr, nullptr}, {"Previews", nullptr, nullptr},     {"utils", nullptr, nullptr},
       {"CorvexProc", nullptr, nullptr}, {"Corvex", nullptr, nullptr},       {"CXOpenSaveDlg", nullptr, nullptr},
       {"CXMIO", nullptr, nullptr},      {"IOPreviews", nullptr, nullptr},   {"defs", nullptr, nullptr},
       {"CorvexIO", nullptr, nullptr},   {"cxtgafil", nullptr, nullptr},     {"CorvexView", &CorvexViewInit, nullptr},
       {"NeurQuant", nullptr, nullptr},  {"stdquant", nullptr, nullptr},     {"cxtwain", nullptr, nullptr},
       {"pngfiltw", nullptr, nullptr},   {"pngfilt", nullptr, nullptr},      {"BMPFilt", nullptr, nullptr},
       {"jpegfilt", nullptr, nullptr},   {"TIFFilt", nullptr, nullptr},      {"TIFCCITT", nullptr, nullptr},
       {"GIFFilter", nullptr, nullptr},  {"imscan", nullptr, nullptr},       {"PCXFilter", nullptr, nullptr},
       {"CXVFW", nullptr, nullptr},      {"CXMView", nullptr, nullptr},      {"cxfft", nullptr, nullptr},
       {"cxwords", nullptr, nullptr},    {"RulerBox", nullptr, nullptr},     {"HistogramBox", nullptr, nullptr},
       {"HSVBox", nullptr, nullptr},     {"hvideocap", nullptr, nullptr},    {"VideoCap", nullptr, nullptr},
       {"CXVect", nullptr, nullptr},     {"CXGradientBar", nullptr, nullptr}}};
  return info;
}

std::string PackageResourceModule(const void* AddressInPackage) {
  Dl_info info{};
  if (dladdr(AddressInPackage, &info) == 0 || info.dli_fname == nullptr) return {};
  const std::string self = info.dli_fname;
  for (const char* var : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v == nullptr || *v == 0) continue;
    std::string lang(v);
    lang = lang.substr(0, lang.find_first_of(":.@"));  // "de_DE.UTF-8" -> "de_DE"
    for (const std::string& cand : {lang, lang.substr(0, lang.find('_'))}) {
      struct stat st{};
      if (!cand.empty() && ::stat((self + "." + cand).c_str(), &st) == 0 && S_ISREG(st.st_mode)) return self + "." + cand;
    }
    break;  // the first variable that is set decides the language
  }
  return self;
}

}  // namespace corvex

extern "C" {
const corvex::TPackageInfo* GetPackageInfoTable() { return &corvex::CorvexCtrlPackage(); }
void Initialize() { corvex::InitializePackage(corvex::CorvexCtrlPackage()); }
void Finalize() { corvex::FinalizePackage(corvex::CorvexCtrlPackage()); }
}
