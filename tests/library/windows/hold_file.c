/* SPDX-License-Identifier: MIT */
/* Holds FILE open the way a spreadsheet program does, sharing reading only,
 * until STOP exists (or a minute has passed), so a test can try to save over
 * it. Prints "holding" once the file is open. */
#include <stdio.h>
#include <windows.h>

int main(int argc, char** argv) {
    if (argc != 3) {
        fprintf(stderr, "usage: hold_file FILE STOP\n");
        return 2;
    }
    HANDLE file = CreateFileA(argv[1], GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) {
        fprintf(stderr, "hold_file: cannot open %s: error %lu\n", argv[1], GetLastError());
        return 1;
    }
    printf("holding\n");
    fflush(stdout);
    for (int i = 0; i < 600 && GetFileAttributesA(argv[2]) == INVALID_FILE_ATTRIBUTES; ++i) {
        Sleep(100);
    }
    CloseHandle(file);
    return 0;
}
