#include "JsonDataType.h"

const char* JsonDataTypeName(TJsonDataType AType) {
  switch (AType) {
    case jdtNone:
      return "null";
    case jdtString:
      return "String";
    case jdtInt:
      return "Integer";
    case jdtLong:
      return "Long";
    case jdtULong:
      return "ULong";
    case jdtFloat:
      return "Float";
    case jdtDateTime:
      return "DateTime";
    case jdtUtcDateTime:
      return "UTC-DateTime";
    case jdtBool:
      return "Bool";
    case jdtArray:
      return "Array";
    case jdtObject:
      return "Object";
  }
  return "null";
}
