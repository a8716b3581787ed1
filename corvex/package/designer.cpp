#include "corvex/package/designer.h"

#include <algorithm>

#include "corvex/platform/graphics/bitmap.h"
#include "corvex/platform/component.h"

namespace corvex {

void TDesignerRegistry::RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes) {
  for (const TComponentClass& c : Classes) {
    Entries_.erase(std::remove_if(Entries_.begin(), Entries_.end(),
                                  [&](const Entry& e) { return e.Class.ClassName == c.ClassName; }),
                   Entries_.end());
    auto bmp = std::make_shared<TBitmap>();
    bmp->Allocate(24, 24, pf24bit);
    for (int y = 0; y < 24; ++y) std::fill_n(bmp->ScanLine(y), 24 * 3, uint8_t{0xc0});
    if (c.DrawPaletteBitmap) c.DrawPaletteBitmap(*bmp);
    Entries_.push_back({Page, c, bmp});
  }
}

std::vector<std::string> TDesignerRegistry::Pages() const {
  std::vector<std::string> pages;
  for (const Entry& e : Entries_)
    if (std::find(pages.begin(), pages.end(), e.Page) == pages.end()) pages.push_back(e.Page);
  return pages;
}

const TDesignerRegistry::Entry* TDesignerRegistry::Find(const std::string& ClassName) const {
  for (const Entry& e : Entries_)
    if (e.Class.ClassName == ClassName) return &e;
  return nullptr;
}

TComponent* TDesignerRegistry::Create(const std::string& ClassName, TComponent* Owner) const {
  const Entry* e = Find(ClassName);
  return e != nullptr && e->Class.Create ? e->Class.Create(Owner) : nullptr;
}

TDesignerRegistry& DesignerRegistry() {
  static TDesignerRegistry r;
  return r;
}

void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes) {
  DesignerRegistry().RegisterComponents(Page, Classes);
}

}  // namespace corvex
