/* A long-running Windows program for the interoperability tests: says "ready" on standard
 * output once it runs (so its wineserver serves the prefix), then waits until its standard
 * input is closed, as a launcher keeps a prefix's server running for hours. */
#include <windows.h>

int main(void)
{
    char buffer[256];
    DWORD count = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), "ready\n", 6, &count, NULL);
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &count, NULL) &&
           count > 0) {
    }
    return 0;
}
