#pragma once

#include <cstdint>

// The kind of payload a TJsonDataValue holds.
enum TJsonDataType : uint8_t {
  jdtNone,
  jdtString,
  jdtInt,
  jdtLong,
  jdtULong,
  jdtFloat,
  jdtDateTime,
  jdtUtcDateTime,
  jdtBool,
  jdtArray,
  jdtObject,
};

// The name of a type in cast error messages ("String", "Integer", "UTC-DateTime", ...).
const char* JsonDataTypeName(TJsonDataType AType);
