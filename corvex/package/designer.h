// A form designer's component palette, as a registry of our own: pages of component classes,
// each class with the factory that creates it on a form and its 24×24 palette bitmap. Design-time
// plug-ins add to it with RegisterComponents; a designer (or a test) reads it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvex {

class TBitmap;
class TComponent;

// A component class as the designer knows it.
struct TComponentClass {
  std::string ClassName;
  std::function<TComponent*(TComponent* Owner)> Create;
  // Draws the palette bitmap into a 24×24 24-bit bitmap; nullptr gives a plain one.
  std::function<void(TBitmap& Bitmap)> DrawPaletteBitmap;
};

class TDesignerRegistry {
 public:
  struct Entry {
    std::string Page;
    TComponentClass Class;
    std::shared_ptr<TBitmap> PaletteBitmap;  // 24×24, 24-bit
  };

  // Adds the classes to Page (created when new), in order. A class name registered before moves
  // to its new page and replaces the old entry.
  void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes);
  // The registrations in the order they were made.
  const std::vector<Entry>& Entries() const { return Entries_; }
  // The pages in the order of their first registration.
  std::vector<std::string> Pages() const;
  const Entry* Find(const std::string& ClassName) const;
  // Creates a component of a registered class; nullptr for an unknown name.
  TComponent* Create(const std::string& ClassName, TComponent* Owner) const;
  void Clear() { Entries_.clear(); }

 private:
  std::vector<Entry> Entries_;
};

// The process's designer registry, and RegisterComponents into it.
TDesignerRegistry& DesignerRegistry();
void RegisterComponents(const std::string& Page, const std::vector<TComponentClass>& Classes);

}  // namespace corvex
