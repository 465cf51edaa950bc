#pragma once

// The five classes of the Henry system the generator draws from.
enum class TFingerPattern { Arch, TentedArch, LeftLoop, RightLoop, Whorl };
