// TMetafile: a vector picture in the Windows metafile formats, played onto a canvas.
//
// Two formats are read: Windows metafiles (WMF, with or without the 22-byte placeable header that
// gives the picture's bounds and units per inch) and enhanced metafiles (EMF). Loading keeps the
// file's bytes and reads its header; playing interprets the records (mapping modes, pens, brushes,
// fonts, lines, curves, shapes, paths, text, device-independent bitmaps, clipping, saved states)
// and draws them with the canvas, stretched so that the picture's frame fills the destination
// rectangle. Records the player does not know are skipped.
//
// Nothing in the file is trusted: every record is read through bounds checks, object indices are
// checked against the object table, saved states are nested to a limit, and the work one play may
// do (records, points, pixels, characters) is capped, so a hostile file draws garbage or nothing
// but never crashes or hangs. Drawing stays inside the destination rectangle and the canvas clip.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/types.h"

namespace corvex {

class TCanvas;
class TStream;
namespace metafile {
struct THeaderInfo;
}

class TMetafile : public TGraphic {
 public:
  TMetafile();
  ~TMetafile() override;

  // Reads a WMF or EMF file. Raises EFOpenError when the file cannot be opened and
  // EInvalidGraphic (naming the problem) when it is not a metafile; the picture is then empty.
  void LoadFromFile(const std::string& FileName);
  // Reads a metafile from the stream's position: as many bytes as its header says (or the rest of
  // the stream when that is less, or when the header gives no usable size). The stream is left
  // after the bytes read.
  void LoadFromStream(TStream* Stream);
  // Writes the metafile's bytes as they were loaded.
  void SaveToFile(const std::string& FileName) const;
  void SaveToStream(TStream* Stream) const;
  // Empties the picture.
  void Clear();

  // The picture's size in screen pixels (at gSystemDPIX x gSystemDPIY): the placeable header's
  // bounds over its units per inch, the enhanced header's frame (hundredths of a millimetre), or
  // for a plain WMF the extent its first records give the window (see the implementation).
  // Setting a size changes what the picture reports (and so its scale when drawn at its size).
  int GetWidth() const override { return Width_; }
  int GetHeight() const override { return Height_; }
  void SetWidth(int Value) override;
  void SetHeight(int Value) override;
  // True when no metafile is loaded.
  bool GetEmpty() const override { return Data_.empty(); }
  // True for an enhanced metafile (EMF), false for a Windows metafile (WMF).
  bool GetEnhanced() const { return Enhanced_; }
  // The picture's size in hundredths of a millimetre.
  int GetMMWidth() const { return MMWidth_; }
  int GetMMHeight() const { return MMHeight_; }
  // Units per inch of a placeable WMF (0 for the others).
  int GetInch() const { return Inch_; }

  // Copies another metafile (nullptr empties this one).
  void Assign(const TPersistent* Source) override;

  // Plays the picture onto the canvas, its frame stretched to Dest (a rectangle with Right < Left
  // or Bottom < Top mirrors it). The canvas's pen, brush, font, fill mode, copy mode and clip
  // region are the same afterwards. Does nothing when empty.
  void Play(TCanvas* Canvas, const TRect& Dest) const;

  // The bytes as loaded.
  const std::vector<uint8_t>& GetData() const { return Data_; }

  // What TCanvas::StretchDraw calls: plays the picture into the rectangle.
  void Draw(TCanvas* Canvas, const TRect& Rect) const override;

 private:
  void LoadFromBytes(std::vector<uint8_t> Bytes);

  std::vector<uint8_t> Data_;
  std::shared_ptr<const metafile::THeaderInfo> Info_;
  bool Enhanced_ = false;
  int Width_ = 0, Height_ = 0;
  int MMWidth_ = 0, MMHeight_ = 0;
  int Inch_ = 0;
};

}  // namespace corvex
