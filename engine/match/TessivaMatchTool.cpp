// tessiva-match: compares fingerprint reader templates on a server as the bridge does, and writes
// them as ISO/IEC 19794-2:2005 records (MatchCommand.h).

#include <iostream>
#include <string>
#include <vector>

#include "MatchCommand.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return RunMatchCommand(args, std::cout, std::cerr);
}
