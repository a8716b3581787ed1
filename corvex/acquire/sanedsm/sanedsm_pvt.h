// What the SANE source manager's protocol code and its dialogs share.
#pragma once

#include <string>
#include <vector>

#include "corvex/acquire/twain.h"

namespace corvex::sanedsm {

// The settings the source's own dialog shows and edits.
struct SourceSettings {
  std::vector<int> PixelTypes;      // TWPT_ values the device offers
  int PixelType = TWPT_RGB;
  std::vector<double> Resolutions;  // dots per inch to choose from
  double Resolution = 0;
  bool HasFeeder = false;
  bool Feeder = false;
};

// True when the dialogs can be shown: a window system host is running.
bool SettingsDialogAvailable();
// The source's dialog: true with "Scan", Set then holding the choice.
bool RunSettingsDialog(const std::string& SourceName, SourceSettings& Set);
// The manager's source selection: true with a choice (Pick, an index into Names).
bool RunSelectDialog(const std::vector<std::string>& Names, int& Pick);

// A product name read no further than its field.
std::string CXTWName(const TW_STR32& Field);
// A decimal number without the locale ("300", "12.5", "-3"); false for anything else.
bool ParseNumber(const std::string& Text, double& Value);

}  // namespace corvex::sanedsm
