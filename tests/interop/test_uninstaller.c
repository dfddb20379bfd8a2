/* A Windows uninstaller for the interoperability tests:
 *   test-uninstaller.exe <entry key name> <exit code> [keep]
 * deletes its own Add/Remove Programs entry (unless "keep") and exits with the code. */
#include <windows.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>

int main(int argc, char** argv)
{
    char path[1024];
    if (argc < 3)
        return 100;
    snprintf(path, sizeof path, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\%s",
             argv[1]);
    if (argc < 4 || strcmp(argv[3], "keep") != 0) {
        if (RegDeleteKeyA(HKEY_LOCAL_MACHINE, path) != ERROR_SUCCESS)
            return 101;
    }
    return atoi(argv[2]);
}
