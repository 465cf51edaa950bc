#pragma once

#include <stdexcept>
#include <string>

#include "JsonDataType.h"

// Failures of the JSON documents. Messages are UTF-8.
class EJsonException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Bad JSON text. The message ends with " (line, column)"; LineNum and Column count from 1,
// Position is the offset in UTF-16 code units from the start of the text.
class EJsonParserException : public EJsonException {
 public:
  EJsonParserException(const std::string& AMessage, int ALineNum, int AColumn, int APosition);

  int LineNum() const { return FLineNum; }
  int Column() const { return FColumn; }
  int Position() const { return FPosition; }

 private:
  int FLineNum;
  int FColumn;
  int FPosition;
};

// A value read as a type it cannot be converted to.
class EJsonCastException : public EJsonException {
 public:
  EJsonCastException(TJsonDataType AFrom, TJsonDataType ATo);
};
