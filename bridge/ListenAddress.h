#pragma once

#include <string>

#include "IdSocketHandle.h"

// An address the server is told to listen on, at whatever port it uses.
struct TListenAddress {
  std::u16string IP;
  TIdIPVersion IPVersion = Id_IPv4;
  bool operator==(const TListenAddress&) const = default;
};
