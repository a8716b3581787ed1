// The library as a package: the table of its units (each with its start-up and clean-up work,
// run in table order and undone in reverse), the packages it requires, its description, and the
// entry points a loader calls (GetPackageInfoTable, Initialize, Finalize).
//
// A unit that several loaded packages contain starts once and ends once: every unit has a
// process-wide counter, keyed by its name, that Initialize takes down and Finalize brings back;
// the work runs on the first start and on the last end only.
#pragma once

#include <string>
#include <vector>

namespace corvex {

struct TPackageUnit {
  const char* Name;            // the unit's source module
  void (*Initialization)();    // nullptr: nothing to do
  void (*Finalization)();
};

struct TPackageInfo {
  const char* Name;
  const char* Description;
  std::vector<const char*> Requires;  // the packages this one needs loaded
  std::vector<TPackageUnit> Units;    // in table order
};

// Starts (or ends) every unit of a package, in table order (in reverse order), through the
// shared per-unit counters. Returns the number of units whose work ran.
int InitializePackage(const TPackageInfo& Package);
int FinalizePackage(const TPackageInfo& Package);
// The counter of a unit: 0 when not started; -n while n packages hold it.
int UnitCounter(const std::string& Unit);

// The runtime package's own table.
const TPackageInfo& CorvexCtrlPackage();

// The file the package's resources come from: a language resource module beside the library
// (the library's file name followed by "." and the language, e.g. "libcorvexctrl.so.de", from
// LANGUAGE, LC_ALL, LC_MESSAGES or LANG), or else the library itself. Empty when the library's
// file cannot be found.
std::string PackageResourceModule(const void* AddressInPackage);

}  // namespace corvex

// The loader's entry points of libcorvexctrl.so.
extern "C" {
const corvex::TPackageInfo* GetPackageInfoTable();
void Initialize();
void Finalize();
}
