// The colour quantizers live below the codecs and the image operations now; this header keeps
// the path that applications include.
#pragma once
#include "corvex/color/stdquant.h"
