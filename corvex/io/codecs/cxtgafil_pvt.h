// The on-disk layout of TGA files and the date arithmetic of the extension area, shared by the
// reader and the writer.
#pragma once

#include <cstdint>

namespace corvex::tga {

constexpr int kHeaderSize = 18;
constexpr int kFooterSize = 26;
constexpr int kExtensionSize = 495;
constexpr char kSignature[] = "TRUEVISION-XFILE.";  // 17 characters and the zero that follows

// Header field offsets (little-endian).
enum : int {
  kOffIdLength = 0,
  kOffColorMapType = 1,
  kOffImageType = 2,
  kOffMapFirst = 3,
  kOffMapLength = 5,
  kOffMapEntrySize = 7,
  kOffXOrigin = 8,
  kOffYOrigin = 10,
  kOffWidth = 12,
  kOffHeight = 14,
  kOffPixelDepth = 16,
  kOffDescriptor = 17,
};
constexpr uint8_t kDescTopFirst = 0x20;
constexpr uint8_t kDescRightToLeft = 0x10;

// Extension area offsets.
enum : int {
  kExtSize = 0,
  kExtAuthor = 2,        // 41 bytes, zero-terminated
  kExtComments = 43,     // 324 bytes
  kExtDate = 367,        // month, day, year, hour, minute, second (16 bits each)
  kExtJobName = 379,     // 41 bytes
  kExtJobTime = 420,
  kExtSoftwareId = 426,
  kExtSoftwareVersion = 467,
  kExtKeyColor = 470,    // 0, red, green, blue
  kExtAspect = 474,      // numerator, denominator
  kExtGamma = 478,       // numerator, denominator
};
constexpr int kExtTextSize = 41;

// Image types.
constexpr int kColorMapped = 1, kTrueColor = 2, kGrey = 3, kRle = 8;

inline bool ValidImageType(int t) { return (t >= 1 && t <= 3) || (t >= 9 && t <= 11); }
inline bool ValidPixelDepth(int d) { return d == 1 || d == 4 || d == 8 || d == 16 || d == 24 || d == 32; }

inline uint16_t Get16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }
inline uint32_t Get32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void Put16(uint8_t* p, unsigned v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

// The toolkit's date-time (days since 1899-12-30, the time of day as the fraction) from its
// parts; false for a date or time that does not exist (years 1 to 9999).
bool EncodeDateTime(int Year, int Month, int Day, int Hour, int Minute, int Second, double& Result);
// The parts of a date-time, seconds rounded to the nearest millisecond and then cut.
void DecodeDateTime(double Value, int& Year, int& Month, int& Day, int& Hour, int& Minute, int& Second);

}  // namespace corvex::tga
