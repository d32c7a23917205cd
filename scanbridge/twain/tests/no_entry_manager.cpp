// A TWAIN_32.DLL that is not a TWAIN manager: nothing at ordinal 1.

#include <windows.h>

extern "C" int PASCAL NotTheManagerEntry(void) { return 0; }
