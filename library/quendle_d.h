/* SPDX-License-Identifier: MIT */
/* The shared library quendle_d: CSV-to-workbook conversion for other programs.
 * Both functions take the program's parameter language (see quendle --help).
 * They keep no state between calls; calls on different threads with
 * different output workbooks run side by side. Messages go to stderr.
 *
 * On Windows the library is quendle_d.dll. Both functions use the standard
 * calling convention of Windows exports (__stdcall: arguments pushed right to
 * left, the callee removes them), which matters on x86 and is the only one on
 * x64. They are exported undecorated, by name and by ordinal
 * (Quendle_Converter @1, Quendle_ConverterStr @2). Every text, file names
 * included, is in the process's ANSI code page, as Windows programs pass
 * narrow texts; on other systems texts are UTF-8. */
#ifndef QUENDLE_D_H
#define QUENDLE_D_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
/* The exports come from a module-definition file, so no decoration is added. */
#define QUENDLE_D_API
#define QUENDLE_D_CALL __stdcall
#else
#define QUENDLE_D_API __attribute__((visibility("default")))
#define QUENDLE_D_CALL
#endif

/* Results of both functions. */
#define QUENDLE_D_OK                                                          \
    0                         /* the batch ran and every conversion succeeded \
                                 (also when nothing matched the input) */
#define QUENDLE_D_NO_INPUT 1  /* no input name among the parameters */
#define QUENDLE_D_NO_OUTPUT 2 /* no output name (.xls or .xlsx) among them */
#define QUENDLE_D_FAILED 3    /* at least one conversion failed */

/* Converts as the parameters say. `reserved` is ignored. `elements` holds
 * `count` zero-terminated texts; element 0 is a placeholder that is never
 * examined (the caller's name, say). The texts are not changed. */
QUENDLE_D_API int32_t QUENDLE_D_CALL Quendle_Converter(int32_t reserved, int32_t count,
                                                       char** elements);

/* The same with the elements in one text separated by "#"; runs of "#" count
 * as one and "#" at either end makes no element. At most 2048 elements are
 * taken. The text is not changed. */
QUENDLE_D_API int32_t QUENDLE_D_CALL Quendle_ConverterStr(int32_t reserved, const char* text);

#ifdef __cplusplus
}
#endif

#endif /* QUENDLE_D_H */
