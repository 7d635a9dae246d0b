/* SPDX-License-Identifier: MIT */
/* Loads quendle_d.dll as a Windows program would, by name and by ordinal,
 * and converts through both exports, with texts in the ANSI code page
 * (Windows-1252 here), a non-ASCII file name among them. The workbooks it
 * leaves in FOLDER are read back by scripts/windows.sh on the Linux side. */
#include <stdint.h>
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "library/quendle_d.h"

typedef int32_t(QUENDLE_D_CALL* ConverterFn)(int32_t, int32_t, char**);
typedef int32_t(QUENDLE_D_CALL* ConverterStrFn)(int32_t, const char*);

static int failures = 0;

static void expect(int condition, const char* what) {
    if (!condition) {
        ++failures;
        fprintf(stderr, "FAILED: %s\n", what);
    }
}

/* GetProcAddress gives a generic function pointer; "void (*)(void)" is the
 * type C lets stand for any function until it is cast to the real one. */
typedef void (*AnyFunction)(void);

static AnyFunction lookup(HMODULE library, const char* name) {
    return (AnyFunction)GetProcAddress(library, name);
}

static int exists(const char* path) {
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

int main(int argc, char** argv) {
    if (argc != 2) {
        fprintf(stderr, "usage: loader_test FOLDER (holding caf\\xE9.csv)\n");
        return 2;
    }
    const char* folder = argv[1];
    HMODULE library = LoadLibraryA("quendle_d.dll");
    if (library == NULL) {
        fprintf(stderr, "FAILED: LoadLibrary(quendle_d.dll): error %lu\n", GetLastError());
        return 1;
    }
    ConverterFn byName = (ConverterFn)lookup(library, "Quendle_Converter");
    ConverterFn byOrdinal = (ConverterFn)lookup(library, MAKEINTRESOURCEA(1));
    ConverterStrFn strByName = (ConverterStrFn)lookup(library, "Quendle_ConverterStr");
    ConverterStrFn strByOrdinal = (ConverterStrFn)lookup(library, MAKEINTRESOURCEA(2));
    expect(byName != NULL && byName == byOrdinal, "Quendle_Converter is ordinal 1");
    expect(strByName != NULL && strByName == strByOrdinal, "Quendle_ConverterStr is ordinal 2");
    expect(lookup(library, MAKEINTRESOURCEA(3)) == NULL, "no third export");
    expect(lookup(library, "_Quendle_Converter@12") == NULL, "no decorated name");
    if (byName == NULL || strByName == NULL) {
        return 1;
    }

    /* "café.csv" and "résumé" in Windows-1252. */
    char input[MAX_PATH];
    char xlsx[MAX_PATH];
    char xls[MAX_PATH];
    char text[3 * MAX_PATH];
    snprintf(input, sizeof input, "%s\\caf\xE9.csv", folder);
    snprintf(xlsx, sizeof xlsx, "%s\\r\xE9sum\xE9-vector.xlsx", folder);
    snprintf(xls, sizeof xls, "%s\\r\xE9sum\xE9-text.xls", folder);

    char* placeholder_only[] = {"caller"};
    expect(byOrdinal(0, 1, placeholder_only) == QUENDLE_D_NO_INPUT, "placeholder only gives 1");
    char* no_output[] = {"caller", input};
    expect(byOrdinal(0, 2, no_output) == QUENDLE_D_NO_OUTPUT, "no output gives 2");

    char* vector[] = {"caller", input, xlsx, "/ALLCHAR=0", "/OVERWRITE=1", "/TABLENAME=Vector"};
    expect(byName(0, 6, vector) == QUENDLE_D_OK, "conversion through Quendle_Converter");
    expect(exists(xlsx), "the .xlsx with a non-ASCII name exists");

    snprintf(text, sizeof text, "caller#%s#%s#/ALLCHAR=0#/OVERWRITE=1#/TABLENAME=Text", input, xls);
    expect(strByOrdinal(0, text) == QUENDLE_D_OK, "conversion through Quendle_ConverterStr");
    expect(exists(xls), "the .xls with a non-ASCII name exists");

    snprintf(text, sizeof text, "caller#%s\\missing*.csv#%s", folder, xls);
    expect(strByName(0, text) == QUENDLE_D_OK, "a pattern that matches nothing gives 0");

    FreeLibrary(library);
    if (failures == 0) {
        printf("loader_test: all checks passed\n");
    }
    return failures == 0 ? 0 : 1;
}
