#include "JsonExceptions.h"

namespace {

std::string WithPosition(const std::string& AMessage, int ALineNum, int AColumn) {
  return AMessage + " (" + std::to_string(ALineNum) + ", " + std::to_string(AColumn) + ")";
}

std::string CastMessage(TJsonDataType AFrom, TJsonDataType ATo) {
  return std::string("Cannot cast ") + JsonDataTypeName(AFrom) + " into " + JsonDataTypeName(ATo);
}

}  // namespace

EJsonParserException::EJsonParserException(const std::string& AMessage, int ALineNum, int AColumn,
                                           int APosition)
    : EJsonException(WithPosition(AMessage, ALineNum, AColumn)),
      FLineNum(ALineNum),
      FColumn(AColumn),
      FPosition(APosition) {}

EJsonCastException::EJsonCastException(TJsonDataType AFrom, TJsonDataType ATo)
    : EJsonException(CastMessage(AFrom, ATo)) {}
