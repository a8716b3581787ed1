#include "corvex/platform/screen.h"

#if defined(__i386__) || defined(__x86_64__)
#include <cpuid.h>
#endif

namespace corvex {

bool CpuHasMMX() {
#if defined(__i386__) || defined(__x86_64__)
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  // __get_cpuid checks that CPUID exists and that leaf 1 is supported.
  if (__get_cpuid(1, &eax, &ebx, &ecx, &edx) == 0) return false;
  return (edx & (1u << 23)) != 0;
#else
  return false;
#endif
}

int gSystemDPIX = 96;
int gSystemDPIY = 96;
int gSystemColors = 24;
int gAnimDim = 7;
bool gMMX = CpuHasMMX();

}  // namespace corvex
