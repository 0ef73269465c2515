/* A planted DLL without exports, for names that a system DLL loads as its
 * own dependency at run time (the crypto DLLs behind CryptoAPI, wininet
 * behind urlmon): it only logs its loading (see planted_common.h).
 * PLANTED_NAME comes from the build. */
#include "planted_common.h"

PLANTED_DLLMAIN
