// SPDX-License-Identifier: MIT
// Inside the Windows wizard: the sheet that owns the models and the worker,
// and the page windows that bind controls to them. Only wizard/win32 uses it.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "wizard/win32/win32_wizard.h"

namespace wizard::win32 {

// Messages the worker posts to the progress page, and the one it sends.
inline constexpr UINT kProgressMessage = WM_APP + 1;
inline constexpr UINT kFinishedMessage = WM_APP + 2;
inline constexpr UINT kShowMessageMessage = WM_APP + 3;
inline constexpr UINT kFocusMessage = WM_APP + 4;
inline constexpr UINT kDefaultButtonMessage = WM_APP + 5;
inline constexpr UINT kCaptionMessage = WM_APP + 6;

// The sheet's Next button.
inline constexpr int kNextButtonId = 0x3024;

// Deletes a GDI object when it goes.
struct GdiObjectDeleter {
    void operator()(void* object) const {
        if (object != nullptr) {
            DeleteObject(static_cast<HGDIOBJ>(object));
        }
    }
};
using GdiObject = std::unique_ptr<void, GdiObjectDeleter>;

// A window's text in UTF-8.
std::string WindowText(HWND window);
// Sets the text only when it differs, so that the caret and the selection of
// an edit field the user is typing in stay where they are.
void SetWindowTextIfChanged(HWND window, const std::string& text);
// The same for a combo's edit field, leaving the caret at the end.
void SetComboText(HWND combo, const std::string& text);
// Puts a box in the middle of `owner` rather than of the screen.
void CentreOnOwner(HWND box, HWND owner);

class Wizard;

// One page window. The dialog procedure finds the object in the window's
// user data, stored there at WM_INITDIALOG from the page's creation
// parameter.
class Page {
public:
    explicit Page(Wizard* wizard) : m_wizard(wizard) {}
    virtual ~Page() = default;
    Page(const Page&) = delete;
    Page& operator=(const Page&) = delete;

    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    HWND window() const { return m_window; }

protected:
    virtual void Init() {}
    virtual void SetActive() {}
    virtual void Command(int /*id*/, int /*code*/) {}
    // Next pressed: false keeps the wizard on this page.
    virtual bool WizardNext() { return true; }
    // Back pressed: 0 goes to the page before, a dialog number to that page.
    virtual int WizardBack() { return 0; }
    virtual void WizardFinish() {}
    virtual void QueryCancel() {}
    // Any other message: true when handled.
    virtual bool Other(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/) { return false; }

    HWND Control(int id) const { return GetDlgItem(m_window, id); }
    HWND Sheet() const { return GetParent(m_window); }
    // Requests to the sheet are posted, never sent: they act once this
    // page's handler has returned.
    void SetButtons(DWORD buttons) const;
    void PressLater(int button) const;
    // Puts the keyboard focus on a control once the sheet has finished
    // activating the page, which would otherwise move it to Next.
    void FocusLater(int id) const;
    void ShowTitleFont(int id) const;

    Wizard* m_wizard;
    HWND m_window = nullptr;
    // Set while the page writes its controls, whose notifications then
    // carry nothing new.
    bool m_updating = false;
};

class Wizard {
public:
    Wizard(engine::ConversionSettings* settings, const WizardHooks& hooks);
    ~Wizard();
    Wizard(const Wizard&) = delete;
    Wizard& operator=(const Wizard&) = delete;

    void Run();

    engine::ConversionSettings* settings() const { return m_settings; }
    WelcomePageModel& welcomeModel() { return m_welcomeModel; }
    SourcePageModel& sourceModel() { return m_sourceModel; }
    OutputPageModel& outputModel() { return m_outputModel; }
    ProgressPageModel& progressModel() { return m_progressModel; }
    CompletionPageModel& completionModel() { return m_completionModel; }
    HFONT titleFont() const { return static_cast<HFONT>(m_titleFont.get()); }
    // The preview's font: columns of a delimited file line up.
    HFONT fixedFont() const { return static_cast<HFONT>(m_fixedFont.get()); }
    HWND sheet() const { return m_sheet; }

    // A model's message. Blanks on the lines after the first (paths) are
    // kept from breaking unless `plain`, for texts meant to be copied.
    void ShowMessage(const std::optional<PageMessage>& message, bool plain = false);
    void ShowHelp();
    void OpenWorkbook(const std::string& path);

    // The progress page's one worker; reports reach `page` as posted messages.
    void StartWorker(HWND page);
    // Called on the wizard's thread when the worker has posted its end.
    RunReport TakeReport();
    // What the worker last reported, taken under the lock.
    struct Progress {
        std::string files;
        std::string time;
        std::int64_t position = 0;
        std::int64_t size = 0;
    };
    Progress progress();

private:
    class Reports;
    static int CALLBACK SheetCallback(HWND sheet, UINT message, LPARAM lParam);
    static void ShowEngineMessage(void* context, std::string_view caption, std::string_view text,
                                  platform::MessageIcon icon);
    void WaitForWorker();

    engine::ConversionSettings* m_settings;
    WizardHooks m_hooks;
    std::unique_ptr<RecentStore> m_registry;
    RecentStore* m_store;
    WelcomePageModel m_welcomeModel;
    SourcePageModel m_sourceModel;
    OutputPageModel m_outputModel;
    ProgressPageModel m_progressModel;
    CompletionPageModel m_completionModel;
    GdiObject m_titleFont;
    GdiObject m_fixedFont;
    HWND m_sheet = nullptr;
    DWORD m_thread = 0;
    platform::MessageSink m_messageSink;

    std::unique_ptr<Reports> m_reports;
    std::thread m_worker;
    std::atomic<bool> m_workerDone{false};
    std::atomic<HWND> m_progressPage{nullptr};
    std::mutex m_mutex;  // guards m_progress and m_report
    Progress m_progress;
    RunReport m_report;
};

std::unique_ptr<Page> MakeWelcomePage(Wizard* wizard);
std::unique_ptr<Page> MakeSourcePage(Wizard* wizard);
std::unique_ptr<Page> MakeOutputPage(Wizard* wizard);
std::unique_ptr<Page> MakeProgressPage(Wizard* wizard);
std::unique_ptr<Page> MakeCompletionPage(Wizard* wizard);

}  // namespace wizard::win32
