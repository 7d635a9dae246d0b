// SPDX-License-Identifier: MIT
// The program quendle: builds the settings record from the defaults, the INI
// files and the command line, then converts silently or opens the wizard.
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/parameter_parser.h"
#include "engine/settings.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/shared_library.h"
#include "wizard/exit_codes.h"
#include "wizard/silent_mode.h"
#ifdef QUENDLE_NATIVE_WIZARD
#include "wizard/win32/win32_wizard.h"
#endif

#ifndef QUENDLE_VERSION
#define QUENDLE_VERSION "0.0.0"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: quendle [INPUT.csv|INPUT.txt] [OUTPUT.xls|OUTPUT.xlsx] [/OPTION ...]\n"
    "\n"
    "Converts delimited text files into Excel workbooks, one sheet per file.\n"
    "INPUT may hold * and ? to convert every matching file. Without /SILENT\n"
    "(or /BATCH with a pattern) the wizard opens.\n"
    "\n"
    "Options (start with / or -, letter case ignored):\n"
    "  SILENT                 convert without the wizard\n"
    "  BATCH, WAIT            wizard pages advance by themselves; stop on the last page\n"
    "  TYPE=ANY | TYPE=2007   write .xls | .xlsx (default: as the output name says)\n"
    "  OVERWRITE=0|1|2        add to an existing workbook (0) or replace it (also YES/NO/SKIP)\n"
    "  OVERWRITETABLE=0|1     append below a sheet of the same name (0) or replace it\n"
    "  TABLENAME=name         sheet name (default: the input file's base name)\n"
    "  FIELDS=c|TAB|PIPE      field delimiter (default ,)\n"
    "  FIELDS=AUTO            take the delimiter (, ; TAB |) from each input's first lines\n"
    "  HEADER=1               the first line holds column titles\n"
    "  AUTOFIT                fit column widths to the values written\n"
    "  FREEZEHEADER           with HEADER=1: keep the title row in view\n"
    "  AUTOFILTER             with HEADER=1: filter buttons on the title row\n"
    "  SPLITROWS              rows past a sheet's last row go on in \"name (2)\", ...\n"
    "                         (these four also =0 or =1; INI [Common] AutoFit=1, ...)\n"
    "  TYPESINFILE=1          a line of type letters precedes the data\n"
    "  FIELDTYPES=c;n;d;l     type letters for columns 0, 1, 2, ...\n"
    "  CHANGETYPE:col=t, CT:col=t   force a column's type (c text, n number, l boolean, d date)\n"
    "  ALLCHAR=0              classify fields as numbers, booleans and dates (default: text)\n"
    "  NUMERIC=chars          characters a number may consist of (default 0123456789,.-)\n"
    "  BOOLEAN=chars          one-character booleans (default YyTtNnFf)\n"
    "  AUTODATE | DD.MM.YYYY | MM.DD.YYYY | YYYY.MM.DD   order of day, month and year\n"
    "  RECORDS=0              prepare the sheet without reading the input\n"
    "  SOURCE=ANSI|OEM        input code page family; CODEPAGE=n|UTF-8 names it exactly\n"
    "  LOG                    append failures to the run log\n"
    "  STATUS, STATUS=file    write the stage (Result, Records, Errors) to a status file\n"
    "  COLUMNS=, ORDER=, MAXLEN=, DROP=, OPEN=   recorded for the wizard's command line\n"
    "\n"
    "Exit status: 0 every conversion succeeded; 1 a conversion failed; 2 no input\n"
    "named or nothing matched it; 3 the wizard cannot be shown; 4 out of memory;\n"
    "5 the wizard was cancelled before its conversion ended.\n";

#ifdef QUENDLE_WIZARD_MODULE
// Loads the wizard module from the program's folder and shows the wizard. The
// module stays loaded until the program ends: Qt may still run exit handlers
// from it.
int RunWizardModule(engine::ConversionSettings* settings, int argc, char** argv) {
    const std::string program = platform::ProgramPath();
    const std::size_t slash = platform::LastSeparator(program);
    const std::string module =
        (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) +
        QUENDLE_WIZARD_MODULE;
    platform::Module handle;
    std::string reason;
    if (!handle.Load(module, reason)) {
        std::fprintf(stderr,
                     "quendle: the wizard cannot be loaded (%s); convert with /SILENT "
                     "(see quendle --help).\n",
                     reason.c_str());
        return wizard::kExitNoWizard;
    }
    using RunWizard = int (*)(engine::ConversionSettings*, int, char**);
    const auto run = reinterpret_cast<RunWizard>(handle.Symbol("QuendleRunWizard"));
    handle.Keep();
    if (run == nullptr) {
        std::fprintf(stderr, "quendle: %s is not the wizard module.\n", module.c_str());
        return wizard::kExitNoWizard;
    }
    return run(settings, argc, argv);
}
#endif

int Run(int argc, char** argv, std::unique_ptr<engine::ConversionSettings>& settings) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0 ||
            std::strcmp(argv[i], "/?") == 0 || std::strcmp(argv[i], "-?") == 0) {
            std::fputs(kUsage, stdout);
            return wizard::kExitSuccess;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("quendle %s\n", QUENDLE_VERSION);
            return wizard::kExitSuccess;
        }
    }
    // The record lives for the whole run; the wizard's pages edit it in place.
    settings = std::make_unique<engine::ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    engine::LoadCommonSettings(settings.get());
    engine::ParameterParser(settings.get(), argc, argv);

    if (wizard::IsSilentRun(*settings)) {
        // Ignored parameters stay ignored, but an unattended run names them.
        for (const std::string& note : engine::IgnoredParameterNotes(settings.get(), argc, argv)) {
            std::fprintf(stderr, "quendle: %s\n", note.c_str());
        }
        return wizard::RunSilent(settings.get());
    }
#if defined(QUENDLE_WIZARD_MODULE)
    return RunWizardModule(settings.get(), argc, argv);
#elif defined(QUENDLE_NATIVE_WIZARD)
    return wizard::win32::RunNativeWizard(settings.get());
#else
    std::fputs(
        "quendle: this build has no wizard (built without Qt); convert with /SILENT "
        "(see quendle --help).\n",
        stderr);
    return wizard::kExitNoWizard;
#endif
}

}  // namespace

int main(int argc, char** argv) {
#ifdef QUENDLE_NATIVE_WIZARD
    wizard::win32::AttachParentConsole();
#endif
    // One of the two places that catch everything: a failed allocation ends
    // the program with a message instead of an abort. The settings live out
    // here so that the message can name the file whose conversion ran out.
    std::unique_ptr<engine::ConversionSettings> settings;
    // Ctrl+C, a closed terminal or a kill during a save leave no temporary
    // file beside the workbook.
    platform::RemovePendingFilesOnTermination();
    try {
        // UTF-8 texts on every system; on Windows they come from the wide
        // command line, so any file name survives.
        std::vector<std::string> arguments = platform::CommandLineArguments(argc, argv);
        std::vector<char*> pointers;
        for (std::string& argument : arguments) {
            pointers.push_back(argument.data());
        }
        pointers.push_back(nullptr);
        return Run(static_cast<int>(arguments.size()), pointers.data(), settings);
    } catch (const std::bad_alloc&) {
        if (settings != nullptr && settings->inputPath[0] != '\0') {
            std::fprintf(stderr, "quendle: out of memory while converting %s\n",
                         settings->inputPath);
        } else {
            std::fputs("quendle: out of memory\n", stderr);
        }
        return wizard::kExitOutOfMemory;
    }
}
