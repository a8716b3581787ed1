// The fields of the parameter record by name, so that commands can print and set them:
// integers, Booleans (true/false), texts, colours (r,g,b), floating values and enumerations (by
// their value names).
#pragma once

#include <string>
#include <vector>

#include "corvex/io/CorvexIO.h"

namespace corvex::tool {

enum class FieldKind { Int, Bool, Text, Colour, Float, Enum, List };

struct Field {
  const char* name;
  FieldKind kind;
  std::vector<const char*> values;  // value names of an enumeration, in order
};

const std::vector<Field>& Fields();
// The field's value as text (colours "r,g,b"; lists as their count).
std::string FieldValue(const TIOParamsVals& p, const Field& f);
// Sets a field from text; false with a reason when the name or the value is not understood.
bool SetField(TIOParamsVals& p, const std::string& name, const std::string& value, std::string& error);

}  // namespace corvex::tool
