#pragma once

// tessiva-match without its process: compares fingerprint reader templates as the bridge does, or
// writes one as an ISO/IEC 19794-2:2005 record. AArgs are the arguments after the program name.
// Exit status: 0 a match (or the record written, or help), 1 no match, 2 bad usage or input.

#include <ostream>
#include <span>
#include <string>

int RunMatchCommand(std::span<const std::string> AArgs, std::ostream& AOut, std::ostream& AErr);
