// A small program that only waits to be ended. The end-to-end tests copy it
// under chosen names into chosen folders and start it, so that Vardion sees a
// new program appear.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::Sleep(INFINITE);
    return 0;
}
