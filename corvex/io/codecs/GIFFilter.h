// GIF files: reads image n of a single or multi-image file, writes a single-image file, and
// edits multi-image files in place (insert an image at a position, delete one, count them, test
// for and add the NETSCAPE2.0 looping extension that marks an animation).
//
// The LZW coding of the pixel data is not done here: the reader calls the record's
// GIF_LZWDecompress hook (else DefGIF_LZWDECOMPFUNC), the writers GIF_LZWCompress (else
// DefGIF_LZWCOMPFUNC). Without a coder, reading and writing end with the abort flag set.
//
// Images are read as they are stored, without composing them on the logical screen: a bitmap of
// the image's own size, 1-bit when its table is exactly black then white, 24-bit otherwise;
// transparency is reported in the record (GIF_FlagTranspColor, GIF_TranspColor), not applied.
// Progress: 0 at the start, 30 before the pixel data is coded, 70 after, 100 at the end.
#pragma once

#include <cstdint>
#include <string>

#include "corvex/io/CorvexIO.h"

namespace corvex {

// Reads the image whose zero-based index is Params.GIF_ImageIndex; ImageCount (and
// GIF_ImageCount) receive the number of images in the file. With Preview only the parameters are
// filled. An index past the last image decodes nothing and leaves the bitmap as it was, without
// an error. Bad data sets the abort flag; nothing is raised.
void ReadGifStream(TStream* Stream, TBitmap* Bitmap, int& ImageCount, TIOParamsVals& Params, TProgressRec& Progress,
                   bool Preview);
// Opens the file for reading (an open error propagates) and reads with Preview false.
void ReadGif(const std::string& FileName, TBitmap* Bitmap, int& ImageCount, TIOParamsVals& Params,
             TProgressRec& Progress);

// Writes a complete single-image GIF at the stream's position, with 2^BitsPerSample colours
// (1 to 8 bits; other values write 8), a global table, and always a graphic control extension
// (transparency, delay, disposal "restore to background").
void WriteGifStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
// Writes the file through a temporary file beside it, which replaces the file only when the
// writer finished without the abort flag: a failed save leaves the old file as it was.
void WriteGif(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Inserts the bitmap as image number Params.GIF_ImageIndex (an index at or past the image count,
// or a negative one, appends) with its own graphic control extension and local colour table, and
// rewrites the stream from its position, which must be the start of a GIF; the header becomes
// GIF89a. With BitsPerSample 1 an image of more than two colours is stored at 8 bits. Returns
// the number of images in the result. A stream that is not a GIF gives 0 and is left untouched;
// so does a failure (a damaged file, no encoder: abort flag set, 0 returned).
int _InsertGifImStream(TStream* Stream, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);
// As _InsertGifImStream on a file (which must exist and be writable); the file is replaced only
// when the insertion succeeded.
int _InsertGifIm(const std::string& FileName, TBitmap* Bitmap, TIOParamsVals& Params, TProgressRec& Progress);

// Copies the file without image Index and the graphic control extension before it; with Save
// the copy replaces the file. Returns the number of images copied (so Index -1 with Save false
// counts the images). A file that is not a GIF gives 0; a damaged one ends the copy where the
// damage starts and is not saved. An open error propagates.
int _DeleteGifIm(const std::string& FileName, int Index, bool Save);

// True when the first block after the global colour table is the NETSCAPE2.0 application
// extension. An open error propagates.
bool _CheckGifAnimate(const std::string& FileName);
// Rewrites the file as GIF89a with the given logical screen size and a NETSCAPE2.0 extension
// with LoopCount (0 = loop for ever) right after the global colour table, replacing one that
// was there. A file that is not a GIF is left unchanged.
void _GifMakeAnimate(const std::string& FileName, uint16_t LoopCount, int ScreenWidth, int ScreenHeight);

}  // namespace corvex
