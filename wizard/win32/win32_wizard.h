// SPDX-License-Identifier: MIT
// The wizard on Windows: a Wizard97 property sheet drawn by comctl32 whose
// five pages bind their controls to the core's page models, as the Qt view
// does on Linux. Texts are UTF-8 inside and wide only at the system calls.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "engine/settings.h"
#include "wizard/core/wizard_core.h"

namespace wizard::win32 {

// What the wizard does outside its own windows. Tests replace these so that
// nothing waits for a person and no other program starts.
struct WizardHooks {
    // Called on the wizard's thread once the sheet window exists.
    std::function<void(HWND sheet)> sheetCreated;
    // Shows a message; when empty, a message box owned by the wizard.
    std::function<void(const PageMessage& message)> showMessage;
    // Opens a file (the workbook, the help page) with its program; false
    // when nothing takes it. When empty, the shell.
    std::function<bool(const std::string& path)> openFile;
    // The recent-file lists; when null, the registry.
    RecentStore* store = nullptr;
};

// Shows the wizard on the calling thread until it is finished or cancelled,
// then waits for a conversion still running. The record must outlive it.
// Returns the program's exit status for how the wizard ended.
int RunWizard(engine::ConversionSettings* settings, const WizardHooks& hooks);

// The program's wizard: the sheet with the real registry, message boxes and
// shell. Returns the program's exit status.
int RunNativeWizard(engine::ConversionSettings* settings);

// A program of the GUI subsystem has no console of its own: when its
// standard streams lead nowhere, they are tied to the console of the
// program that started it, so that silent runs and --help report there.
void AttachParentConsole();

// The recent-file lists as string values under
// HKEY_CURRENT_USER\Software\Morvik\Wizards.
class RegistryStore : public RecentStore {
public:
    std::optional<std::string> Read(std::string_view name) const override;
    void Write(std::string_view name, std::string_view text) override;
};

inline constexpr wchar_t kWizardKey[] = L"Software\\Morvik\\Wizards";

// The artwork, drawn with GDI: the header band (500 × 60) of the inner
// pages and the watermark column of the outer ones. The caller owns them.
HBITMAP DrawHeaderBitmap();
HBITMAP DrawWatermarkBitmap();

// A 24-bit copy of a window as it is on the screen, written as a BMP file.
// False when the window cannot be read or the file not written.
bool SaveWindowPicture(HWND window, const std::string& path);

}  // namespace wizard::win32
