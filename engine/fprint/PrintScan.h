#pragma once

#include <fprint.h>

#include "ReaderScan.h"

// The image and minutiae of a print an image reader made from one press; a print without
// image or with unreadable minutiae gives a Failed scan.
TReaderScan ScanFromPrint(FpPrint* APrint);
