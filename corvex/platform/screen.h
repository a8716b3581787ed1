// Facts about the screen and the processor, set once when the library is loaded. Without a
// screen (headless) they describe a 96-dpi, 24-bit display; a host with a real window may set
// them before it creates views.
#pragma once

namespace corvex {

extern int gSystemDPIX;     // logical pixels per inch, horizontally
extern int gSystemDPIY;     // and vertically
extern int gSystemColors;   // bits per pixel of the screen
extern int gAnimDim;        // step of the animated selection outline (7; 9 on the old 9x family)
extern bool gMMX;           // the processor has the MMX instructions

// True when the processor has the CPUID instruction and leaf 1 reports MMX (EDX bit 23);
// false on processors without CPUID (and on other architectures).
bool CpuHasMMX();

}  // namespace corvex
