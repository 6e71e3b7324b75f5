/* A stand-in for quake3.exe in the Windows window tests: writes the working directory and
 * then each word it was given (argv[1] on, as the C runtime split the command line), one a
 * line in UTF-8, to "started.txt" in the working directory, and ends. */
#include <stdio.h>
#include <windows.h>

static void WriteUtf8(FILE* out, const wchar_t* text) {
    char buffer[4096];
    const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, buffer, sizeof buffer, NULL, NULL);
    if (n > 0)
        fputs(buffer, out);
    fputc('\n', out);
}

int wmain(int argc, wchar_t** argv) {
    wchar_t folder[MAX_PATH];
    if (GetCurrentDirectoryW(MAX_PATH, folder) == 0)
        return 1;
    FILE* out = _wfopen(L"started.txt.part", L"wb");
    if (out == NULL)
        return 1;
    WriteUtf8(out, folder);
    for (int i = 1; i < argc; ++i)
        WriteUtf8(out, argv[i]);
    fclose(out);
    /* Whole or not at all: the test waits for the final name. */
    return MoveFileW(L"started.txt.part", L"started.txt") ? 0 : 1;
}
