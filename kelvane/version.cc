#include "kelvane/version.h"

// The declarations in the header carry the export attribute; the definitions repeat none.
extern "C" {

const unsigned char KelvaneVersionString[] = "@(#)PROGRAM:Kelvane  PROJECT:Kelvane-1\n";

const double KelvaneVersionNumber = 1.0;

}  // extern "C"
