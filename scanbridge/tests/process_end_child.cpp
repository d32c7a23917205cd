// Loads scanbridge.dll, which opens the TWAIN manager beside it, and then
// ends in the way its argument names: "unload" releases the library first,
// "exit" ends the process with the library still loaded.
#include <windows.h>

#include <cstring>

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    const HMODULE bridge = LoadLibraryA("scanbridge.dll");
    if (bridge == nullptr) return 3;
    if (std::strcmp(argv[1], "unload") == 0) FreeLibrary(bridge);
    ExitProcess(0);
}
