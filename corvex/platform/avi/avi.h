// The AVI file service: reads the first video stream of a video file frame by frame as packed
// device-independent bitmaps, and writes AVI files of one video stream from packed DIBs. The
// multi-image I/O component loads and saves image sequences through it.
//
// Reading takes any container and codec that the installed FFmpeg libraries decode (AVI with
// uncompressed DIBs, MJPEG, MPEG-4, H.264 ...). Writing makes AVI files with one of three codecs:
// uncompressed DIB (24-bit, bottom-up rows padded to 4 bytes, exactly the bytes given), Motion
// JPEG with a quality, or FFV1 (lossless). Nothing of FFmpeg shows in this header.
//
// Frames are packed DIBs: a 40-byte TBitmapInfoHeader followed by the pixel rows, bottom row
// first, each padded to a multiple of 4 bytes (the layout the clipboard's CF_DIB uses, which
// _CopyDIB2Bitmap reads and _CopyBitmaptoDIB makes).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "corvex/platform/globalmem.h"
#include "corvex/platform/graphics/dib.h"

namespace corvex {

// Prepares the service (quietens the libraries' console messages unless the application chose a
// level of its own). Calling it again does nothing; the reader and writer call it themselves.
void AVIFileInit();

// ---------------------------------------------------------------------------------------------
// Stream information

struct TAVIStreamInfo {
  // Frames per second = Rate / Scale, reduced to lowest terms. Rate is 0 (and Scale 1) when the
  // file states no usable rate: none, zero, negative, or more than 1000 frames per second or
  // fewer than one frame an hour. Callers then choose a delay of their own.
  uint32_t Rate = 0;
  uint32_t Scale = 1;
  // Number of frames: the stream's stated length, or the frames counted when the container does
  // not state it.
  int32_t Length = 0;
  // The frame size in pixels; every frame returned has this size.
  int32_t Width = 0;
  int32_t Height = 0;
};

// True when Info's rate is usable; the delay between frames is then Trunc(1000 * Scale / Rate)
// milliseconds.
inline bool AVIRateKnown(const TAVIStreamInfo& Info) { return Info.Rate > 0 && Info.Scale > 0; }

// ---------------------------------------------------------------------------------------------
// Reading

class TAVIReader {
 public:
  TAVIReader();
  ~TAVIReader();
  TAVIReader(const TAVIReader&) = delete;
  TAVIReader& operator=(const TAVIReader&) = delete;

  // Opens the file and its first video stream, ready to decode. False when the file cannot be
  // opened, holds no video stream, its codec is not available, or its frame size is zero or
  // larger than 1 GiB of 24-bit rows; GetError says why. Opening again closes the previous file.
  bool Open(const std::string& FileName);
  void Close();
  bool IsOpen() const;
  const TAVIStreamInfo& GetInfo() const { return Info_; }

  // Frame Index (0 .. Length - 1) as a packed 24-bit DIB: a pointer to the header, followed by
  // the rows; GetFrameSize() bytes in all. The pointer stays valid until the next GetFrame,
  // Close or the reader's end. nullptr when the frame cannot be had (index out of range, the
  // file ends before it, no pixels can be made of it); GetError says why, and other frames may
  // still be asked for. Frames are fastest in increasing order; going back decodes again from the start.
  // Frames are placed by their time stamps: a frame the file leaves out (an AVI's empty chunk
  // for a dropped frame) or whose data does not decode repeats the frame before it.
  const TBitmapInfoHeader* GetFrame(int Index);
  size_t GetFrameSize() const { return Frame_.size(); }
  // The same frame copied into a new global memory block that the caller frees; 0 on failure.
  HGLOBAL GetFrameDIB(int Index);

  const std::string& GetError() const { return Error_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> I_;
  TAVIStreamInfo Info_;
  std::vector<uint8_t> Frame_;
  std::string Error_;
};

// ---------------------------------------------------------------------------------------------
// Save options and the options dialog

enum TAVICodec { avcUncompressed, avcMJPEG, avcFFV1 };

struct TAVISaveOptions {
  TAVICodec Codec = avcUncompressed;
  int Quality = 75;       // Motion JPEG quality, 1 (smallest) .. 100 (best); clamped
  bool AskUser = false;   // true: the registered dialog lets the user choose, starting from these
};

// The save-options dialog: shows Options, lets the user change them and returns true with OK,
// false when the user cancels (Options then unchanged). The dialogs layer registers one.
using TAVISaveOptionsDialog = bool (*)(TAVISaveOptions& Options);
void SetAVISaveOptionsDialog(TAVISaveOptionsDialog Dialog);
TAVISaveOptionsDialog GetAVISaveOptionsDialog();

// Decides the compression before the first frame: with AskUser set and a dialog registered, the
// user chooses (false: cancelled, the save ends); otherwise Options stand as given. Quality is
// clamped to 1..100.
bool AVISaveOptions(TAVISaveOptions& Options);

// ---------------------------------------------------------------------------------------------
// Writing

class TAVIWriter {
 public:
  TAVIWriter();
  // Without a successful Close the file is abandoned as by Abort.
  ~TAVIWriter();
  TAVIWriter(const TAVIWriter&) = delete;
  TAVIWriter& operator=(const TAVIWriter&) = delete;

  // Starts the file FileName. The data goes to a new temporary file beside it, which Close
  // renames over FileName; an existing FileName is untouched until then. False when the
  // temporary file cannot be created (no such folder, no permission): the caller reports
  // "unable to create AVI file".
  bool Create(const std::string& FileName);
  // The stream header: Rate / Scale frames per second (both above 0), reduced to lowest terms in
  // the file. The frame size comes with SetFormat. False before Create, after SetFormat, or with
  // a zero Rate or Scale.
  bool CreateStream(uint32_t Rate, uint32_t Scale = 1);
  // The compression, decided by AVISaveOptions. Before SetFormat; uncompressed by default.
  bool SetCompression(const TAVISaveOptions& Options);
  // The frame format: Header's width and height (positive, within 1 GiB of 24-bit rows) become
  // the stream's frame rectangle, and the codec is opened. Frames of any bit count may follow.
  // False on a bad size, when the codec cannot be opened, or when the file header cannot be
  // written (GetError says why).
  bool SetFormat(const TBitmapInfoHeader& Header);
  // Appends one frame, as a key frame, from a packed DIB of Size bytes: 40-byte (or longer)
  // header, colour table, rows. Reads 1, 4, 8 bits with a colour table, 24 bits, and 32 bits
  // (the fourth byte ignored), uncompressed (BI_RGB), bottom-up or top-down. The frame must have
  // the size given to SetFormat. False, writing nothing, on a frame of another size or format or
  // data shorter than its rows; false also when the file cannot be written.
  bool WriteFrame(const void* PackedDIB, size_t Size);
  int GetFrameCount() const { return Frames_; }
  // Finishes the file and renames it over FileName. False (and no file left behind) when
  // anything failed; a file with no frames is still a valid AVI when SetFormat succeeded.
  bool Close();
  // Abandons the file: the temporary file is removed and FileName stays as it was.
  void Abort();

  const std::string& GetError() const { return Error_; }

 private:
  struct Impl;
  std::unique_ptr<Impl> I_;
  int Frames_ = 0;
  std::string Error_;
};

}  // namespace corvex
