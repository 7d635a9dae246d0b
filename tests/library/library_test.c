/* SPDX-License-Identifier: MIT */
/* Calls the library as a C program would, through its header only. */
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include "library/quendle_d.h"

static int failures = 0;
static int checks = 0;

static void expect(int got, int wanted, const char* what) {
    ++checks;
    if (got != wanted) {
        ++failures;
        fprintf(stderr, "FAILED: %s: got %d, wanted %d\n", what, got, wanted);
    }
}

/* The library must leave its host's signal handling as it found it. */
static const int watched_signals[] = {SIGINT, SIGTERM, SIGHUP};
#define WATCHED_COUNT (sizeof watched_signals / sizeof watched_signals[0])

static void record_dispositions(struct sigaction* out) {
    for (size_t i = 0; i < WATCHED_COUNT; ++i) {
        sigaction(watched_signals[i], NULL, &out[i]);
    }
}

/* Writes `text` to `path`; 0 when it could not. */
static int write_file(const char* path, const char* text) {
    FILE* file = fopen(path, "w");
    if (file == NULL) {
        return 0;
    }
    fputs(text, file);
    return fclose(file) == 0;
}

int main(int argc, char** argv) {
    char folder[] = "/tmp/quendle-c-XXXXXX";
    char input[256];
    char output[256];
    char text[1024];
    (void)argc;
    (void)argv;
    if (mkdtemp(folder) == NULL) {
        return 2;
    }
    snprintf(input, sizeof input, "%s/in.csv", folder);
    snprintf(output, sizeof output, "%s/out.xlsx", folder);
    if (!write_file(input, "a,1\nb,2\n")) {
        return 2;
    }

    {
        char* only[] = {"caller"};
        expect(Quendle_Converter(0, 1, only), QUENDLE_D_NO_INPUT, "placeholder only");
        char* no_output[] = {"caller", input};
        expect(Quendle_Converter(0, 2, no_output), QUENDLE_D_NO_OUTPUT, "no output");
        char* no_input[] = {"caller", output};
        expect(Quendle_Converter(0, 2, no_input), QUENDLE_D_NO_INPUT, "no input");
        expect(Quendle_Converter(0, 0, NULL), QUENDLE_D_NO_INPUT, "no elements");
    }

    /* The first piece is the placeholder, so this names no input. */
    snprintf(text, sizeof text, "%s#%s", input, output);
    expect(Quendle_ConverterStr(0, text), QUENDLE_D_NO_INPUT, "no placeholder");
    expect(Quendle_ConverterStr(0, "###"), QUENDLE_D_NO_INPUT, "only separators");
    expect(Quendle_ConverterStr(0, ""), QUENDLE_D_NO_INPUT, "empty text");

    struct sigaction before[WATCHED_COUNT];
    struct sigaction after[WATCHED_COUNT];
    record_dispositions(before);
    snprintf(text, sizeof text, "##caller##%s###%s#/STATUS#/OPEN=1##", input, output);
    expect(Quendle_ConverterStr(7, text), QUENDLE_D_OK, "conversion");
    expect(access(output, F_OK), 0, "workbook written");
    record_dispositions(after);
    for (size_t i = 0; i < WATCHED_COUNT; ++i) {
        expect(after[i].sa_handler == before[i].sa_handler, 1, "signal handling left alone");
    }

    char status_path[300];
    snprintf(status_path, sizeof status_path, "%s/status.log", folder);
    snprintf(text, sizeof text, "caller#%s#%s#/STATUS=%s", input, output, status_path);
    expect(Quendle_ConverterStr(0, text), QUENDLE_D_OK, "status parameter");
    expect(access(status_path, F_OK), -1, "no status file from the library");

    snprintf(text, sizeof text, "caller#%s/nothing*.csv#%s", folder, output);
    expect(Quendle_ConverterStr(0, text), QUENDLE_D_OK, "nothing matched");

    /* An existing file that is no workbook: the conversion fails and says so. */
    char bad[256];
    snprintf(bad, sizeof bad, "%s/bad.xls", folder);
    if (!write_file(bad, "junk")) {
        return 2;
    }
    snprintf(text, sizeof text, "caller#%s#%s", input, bad);
    expect(Quendle_ConverterStr(0, text), QUENDLE_D_FAILED, "failed conversion");

    char command[600];
    snprintf(command, sizeof command, "rm -rf '%s'", folder);
    if (system(command) != 0) {
        fprintf(stderr, "could not remove %s\n", folder);
    }
    printf("%d passed, %d failed\n", checks - failures, failures);
    return failures == 0 ? 0 : 1;
}
