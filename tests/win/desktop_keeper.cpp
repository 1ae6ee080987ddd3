// Holds the Wine virtual desktop open between test programs: Wine starts the
// desktop for its first program and closes it some time after the last one
// ends. Prints "ready" once the desktop exists.
#include <windows.h>

#include <cstdio>

int main() {
    if (!GetDesktopWindow()) return 1;
    std::puts("ready");
    std::fflush(stdout);
    Sleep(INFINITE);
}
