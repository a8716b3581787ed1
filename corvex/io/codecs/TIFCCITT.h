// CCITT fax coding of bilevel rows (ITU-T T.4 and T.6), as TIFF compressions 2 (modified
// Huffman), 3 (Group 3, 1-D or 2-D) and 4 (Group 4) use it. The TIFF codec calls one function per
// row and keeps the running state (bit position, reference line, partly filled byte) between calls.
//
// Decoded rows: one bit per pixel, first pixel in the most significant bit, 1 = white, 0 = black.
// Rows given to the encoders: 0 = white, 1 = black. Rows are (Width + 7) / 8 bytes.
//
// The decoders never read past SourceBytes bytes of Source: bits beyond the data end the row,
// which is then filled with the colour in effect. Runs that go past the row are clipped to it.
#pragma once

#include <cstdint>
#include <vector>

#include "corvex/platform/streams/streams.h"

namespace corvex {

// ---------------------------------------------------------------------------------------------
// Decoding. FillOrder 1 takes each byte's bits most significant first, 2 least significant first.

// One 1-D row (modified Huffman codes) starting at bit StartBit; returns the bit position after
// it. EOL codes (with any fill zeros before them) at the start of the row are skipped; an EOL
// inside the row ends it early and is left for the next row.
int64_t _CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Source, int64_t SourceBytes, int Width, int FillOrder,
                             int64_t StartBit);
// One modified-Huffman row from bit 0; returns the bytes used (bits rounded up to whole bytes),
// so that every row starts on a byte.
int64_t CCITTHuffmanGetLine(uint8_t* Row, const uint8_t* Source, int64_t SourceBytes, int Width, int FillOrder);
// One 2-D row (Group 3 2-D or Group 4) against RefLine, the previous decoded row (all white, 255,
// before the first row of a strip); returns the bit position after it and copies the decoded row
// into RefLine. A row announced by EOL and tag bit 1 is decoded 1-D.
int64_t CCITT3_2D_GetLine(uint8_t* Row, const uint8_t* Source, int64_t SourceBytes, int Width, int FillOrder,
                          int64_t StartBit, uint8_t* RefLine);

// ---------------------------------------------------------------------------------------------
// Encoding. Bits are packed most significant first.

// Appends the 1-D codes of one row to a bit buffer (grown as needed), BitPos bits already used.
void _CCITTHuffmanPutLine(const uint8_t* Row, int Width, std::vector<uint8_t>& Buffer, int64_t& BitPos);
// One modified-Huffman row, padded with zero bits to a whole byte and written.
void CCITTHuffmanPutLine(const uint8_t* Row, int Width, TStream* Stream);
// One Group 3 1-D row: EOL, then the row's codes; whole bytes are written and the remaining 0-7
// bits carried to the next row in PendingBits / PendingByte.
void CCITTHuffmanPutLineG3(const uint8_t* Row, int Width, TStream* Stream, int& PendingBits, uint8_t& PendingByte);
// One Group 3 2-D row: EOL and a tag bit, then the first row (RefLine empty) 1-D, the others 2-D
// against RefLine, which receives the row.
void CCITTHuffmanPutLineG32D(const uint8_t* Row, int Width, TStream* Stream, std::vector<uint8_t>& RefLine,
                             int& PendingBits, uint8_t& PendingByte);
// One Group 4 row, 2-D against RefLine (empty = all white before the first row).
void CCITTHuffmanPutLineG4(const uint8_t* Row, int Width, TStream* Stream, std::vector<uint8_t>& RefLine,
                           int& PendingBits, uint8_t& PendingByte);
// Called with Row = nullptr and Width = 0, the last three end the image: Group 3 2-D adds one
// EOL, Group 4 two (end of facsimile block); then the partial byte is padded and written.

}  // namespace corvex
