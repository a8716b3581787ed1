// The project's LZW coders, a library of their own (corvexlzw) that an application plugs into the
// image library's LZW hooks. The image library contains no LZW coder: without these (or coders
// of the application's own) GIF files and LZW-compressed TIFF pages cannot be read.
//
//   corvex::CXInstallLZW();   // once, before loading or saving GIF or LZW TIFF
#pragma once

#include <cstdint>

#include "corvex/io/CorvexIO.h"

namespace corvex {

// GIF: the decoder and encoder with the contracts of TGIFLZWDecompFunc and TGIFLZWCompFunc.
int GIFLZWDecompress(TStream* Stream, int Height, int Width, uint8_t* Buffer, bool Interlaced);
int GIFLZWCompress(TStream* Stream, int Height, int Width, int BitsPerPixel, const uint8_t* Buffer,
                   bool Interlaced);

// TIFF: the decoder and encoder with the contracts of TTIFFLZWDecompFunc and TTIFFLZWCompFunc
// (the TIFF variant of LZW, with its early change of code width).
// The decoder recognises strips of the old variant that early encoders wrote (codes least
// significant bit first) by their first two bytes and decodes them with TIFFLZWDecompressOld.
uint8_t* TIFFLZWDecompress(const uint8_t* Source, int64_t SourceLength, int RowBytes, void*& State);
uint8_t* TIFFLZWDecompressOld(const uint8_t* Source, int64_t SourceLength, int RowBytes, void*& State);
void TIFFLZWCompress(const uint8_t* Row, int RowBytes, TStream* Stream, void*& State);

// Sets the four global hooks (DefGIF_LZWDECOMPFUNC, DefGIF_LZWCOMPFUNC, DefTIFF_LZWDECOMPFUNC,
// DefTIFF_LZWCOMPFUNC) to the coders above. Parameter records created afterwards take them.
void CXInstallLZW();

}  // namespace corvex
