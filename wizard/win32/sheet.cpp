// SPDX-License-Identifier: MIT
// The Wizard97 sheet, its worker thread, the message boxes and the shell.
#include "wizard/win32/sheet.h"

#include <commctrl.h>
#include <prsht.h>
#include <shellapi.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>

#include "platform/windows/wide.h"
#include "wizard/exit_codes.h"
#include "wizard/win32/resource_ids.h"

namespace wizard::win32 {
namespace {

using platform::windows::Narrow;
using platform::windows::Widen;

// The back button would share Alt+B with the pages' Browse buttons.
constexpr int kBackButtonId = 0x3023;
constexpr int kFinishButtonId = 0x3025;
constexpr wchar_t kBackButtonText[] = L"< Bac&k";

// The sheet's callback has no context of its own; one wizard runs at a time.
Wizard* g_running = nullptr;

UINT BoxIcon(platform::MessageIcon icon) {
    switch (icon) {
        case platform::MessageIcon::kError:
            return MB_ICONERROR;
        case platform::MessageIcon::kWarning:
            return MB_ICONWARNING;
        case platform::MessageIcon::kInformation:
            return MB_ICONINFORMATION;
        case platform::MessageIcon::kNone:
            break;
    }
    return 0;
}

// A message box stands in the middle of the screen on some systems (Wine
// among them) even with an owner; it belongs over the wizard. The hook sees
// the box's activation on the wizard's thread, moves it and goes.
HHOOK g_centringHook = nullptr;
HWND g_centringOwner = nullptr;

LRESULT CALLBACK CentreBoxOnOwner(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE && g_centringHook != nullptr) {
        CentreOnOwner(reinterpret_cast<HWND>(wParam), g_centringOwner);
        UnhookWindowsHookEx(g_centringHook);
        g_centringHook = nullptr;
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// MessageBoxW owned by `owner` and centred on it.
int OwnedMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type) {
    if (owner != nullptr && g_centringHook == nullptr) {
        g_centringOwner = owner;
        g_centringHook =
            SetWindowsHookExW(WH_CBT, &CentreBoxOnOwner, nullptr, GetCurrentThreadId());
    }
    const int answer = MessageBoxW(owner, text.c_str(), caption.c_str(), type);
    if (g_centringHook != nullptr) {  // no box came up
        UnhookWindowsHookEx(g_centringHook);
        g_centringHook = nullptr;
    }
    return answer;
}

HINSTANCE ProgramInstance() {
    return GetModuleHandleW(nullptr);
}

// The system's message font, or a zeroed one (the default face) when the
// system will not say.
LOGFONTW MessageFont() {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    LOGFONTW font{};
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        font = metrics.lfMessageFont;
    }
    return font;
}

// The message font of the system, bold Verdana, 12 points at the screen's
// vertical resolution.
HFONT CreateTitleFont() {
    LOGFONTW font = MessageFont();
    font.lfWeight = FW_BOLD;
    lstrcpynW(font.lfFaceName, L"Verdana Bold", LF_FACESIZE);
    HDC screen = GetDC(nullptr);
    const int dotsPerInch = screen != nullptr ? GetDeviceCaps(screen, LOGPIXELSY) : 96;
    if (screen != nullptr) {
        ReleaseDC(nullptr, screen);
    }
    font.lfHeight = -(12 * dotsPerInch) / 72;
    return CreateFontIndirectW(&font);
}

// The message font's size in a fixed-pitch face.
HFONT CreateFixedFont() {
    LOGFONTW font = MessageFont();
    font.lfWeight = FW_NORMAL;
    font.lfItalic = FALSE;
    font.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
    lstrcpynW(font.lfFaceName, L"Courier New", LF_FACESIZE);
    return CreateFontIndirectW(&font);
}

}  // namespace

// ---- Texts ------------------------------------------------------------------------

std::string WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    if (length <= 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int got = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(got > 0 ? got : 0));
    return Narrow(text);
}

void SetWindowTextIfChanged(HWND window, const std::string& text) {
    if (WindowText(window) != text) {
        SetWindowTextW(window, Widen(text).c_str());
    }
}

void CentreOnOwner(HWND box, HWND owner) {
    RECT outer{};
    RECT inner{};
    if (owner == nullptr || !GetWindowRect(owner, &outer) || !GetWindowRect(box, &inner)) {
        return;
    }
    const int width = inner.right - inner.left;
    const int height = inner.bottom - inner.top;
    SetWindowPos(box, nullptr, outer.left + (outer.right - outer.left - width) / 2,
                 outer.top + (outer.bottom - outer.top - height) / 2, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void SetComboText(HWND combo, const std::string& text) {
    if (WindowText(combo) == text) {
        return;
    }
    const std::wstring wide = Widen(text);
    SetWindowTextW(combo, wide.c_str());
    // The caret would go to the start; the user types on at the end.
    const auto end = static_cast<WORD>(std::min<std::size_t>(wide.size(), 0xFFFF));
    SendMessageW(combo, CB_SETEDITSEL, 0, MAKELPARAM(end, end));
}

// ---- Pages ------------------------------------------------------------------------

INT_PTR CALLBACK Page::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        auto* page = reinterpret_cast<Page*>(reinterpret_cast<PROPSHEETPAGEW*>(lParam)->lParam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(page));
        page->m_window = window;
        page->Init();
        return TRUE;
    }
    auto* page = reinterpret_cast<Page*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (page == nullptr) {
        return FALSE;
    }
    switch (message) {
        case WM_COMMAND:
            if (LOWORD(wParam) == IDC_HELP_BUTTON && HIWORD(wParam) == BN_CLICKED) {
                page->m_wizard->ShowHelp();
            } else if (!page->m_updating) {
                page->Command(LOWORD(wParam), HIWORD(wParam));
            }
            return TRUE;
        case WM_NOTIFY: {
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            LONG_PTR result = 0;
            switch (header->code) {
                case PSN_SETACTIVE: {
                    // The sheet takes the page's caption as its title, which
                    // the page may have set on becoming current; the sheet
                    // puts back the template's caption once the page is
                    // current, so it is set again after that.
                    page->SetActive();
                    SetWindowTextW(page->Sheet(), Widen(WindowText(window)).c_str());
                    PostMessageW(window, kCaptionMessage, 0, 0);
                    break;
                }
                case PSN_WIZNEXT:
                    result = page->WizardNext() ? 0 : -1;
                    break;
                case PSN_WIZBACK:
                    result = page->WizardBack();
                    break;
                case PSN_WIZFINISH:
                    page->WizardFinish();
                    break;
                case PSN_QUERYCANCEL:
                    page->QueryCancel();
                    break;
                default:
                    return FALSE;
            }
            SetWindowLongPtrW(window, DWLP_MSGRESULT, result);
            return TRUE;
        }
        case kCaptionMessage:
            SetWindowTextW(page->Sheet(), Widen(WindowText(window)).c_str());
            return TRUE;
        case kDefaultButtonMessage:
            SendMessageW(page->Sheet(), DM_SETDEFID, wParam, 0);
            return TRUE;
        case kFocusMessage: {
            // A control of the page, or else one of the sheet's buttons.
            HWND target = page->Control(static_cast<int>(wParam));
            if (target == nullptr) {
                target = GetDlgItem(page->Sheet(), static_cast<int>(wParam));
            }
            SendMessageW(page->Sheet(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(target), TRUE);
            return TRUE;
        }
        default:
            return page->Other(message, wParam, lParam) ? TRUE : FALSE;
    }
}

void Page::SetButtons(DWORD buttons) const {
    PostMessageW(Sheet(), PSM_SETWIZBUTTONS, 0, static_cast<LPARAM>(buttons));
    // With Next off the sheet makes Back the default button, and Enter in a
    // field would go back. Next (or Finish) stays the default, even while
    // off: Enter then does nothing. Posted after the buttons, so it comes
    // after the sheet's own choice.
    const int defaultId = (buttons & PSWIZB_FINISH) != 0 ? kFinishButtonId : kNextButtonId;
    PostMessageW(m_window, kDefaultButtonMessage, static_cast<WPARAM>(defaultId), 0);
}

void Page::PressLater(int button) const {
    PostMessageW(Sheet(), PSM_PRESSBUTTON, static_cast<WPARAM>(button), 0);
}

void Page::FocusLater(int id) const {
    PostMessageW(m_window, kFocusMessage, static_cast<WPARAM>(id), 0);
}

void Page::ShowTitleFont(int id) const {
    SendMessageW(Control(id), WM_SETFONT, reinterpret_cast<WPARAM>(m_wizard->titleFont()), TRUE);
}

// ---- The worker's reports -------------------------------------------------------------

// Called on the worker: keeps the latest texts and tells the page, which
// reads them on its own thread. The core already limits how often.
class Wizard::Reports : public ProgressSink {
public:
    Reports(Wizard* wizard, HWND page) : m_wizard(wizard), m_page(page) {}
    void ShowFiles(std::string_view text) override {
        {
            const std::lock_guard lock(m_wizard->m_mutex);
            m_wizard->m_progress.files = text;
        }
        PostMessageW(m_page, kProgressMessage, 0, 0);
    }
    void ShowPosition(std::int64_t position, std::int64_t size) override {
        {
            const std::lock_guard lock(m_wizard->m_mutex);
            m_wizard->m_progress.position = position;
            m_wizard->m_progress.size = size;
        }
        PostMessageW(m_page, kProgressMessage, 0, 0);
    }
    void ShowTime(std::string_view text) override {
        {
            const std::lock_guard lock(m_wizard->m_mutex);
            m_wizard->m_progress.time = text;
        }
        PostMessageW(m_page, kProgressMessage, 0, 0);
    }

private:
    Wizard* m_wizard;
    HWND m_page;
};

// ---- The wizard -------------------------------------------------------------------

Wizard::Wizard(engine::ConversionSettings* settings, const WizardHooks& hooks)
    : m_settings(settings),
      m_hooks(hooks),
      m_registry(hooks.store == nullptr ? std::make_unique<RegistryStore>() : nullptr),
      m_store(hooks.store != nullptr ? hooks.store : m_registry.get()),
      m_welcomeModel(settings),
      m_sourceModel(settings, m_store, platform::GetSystemCodePages()),
      m_outputModel(settings, m_store),
      m_progressModel(settings),
      m_completionModel(settings),
      m_titleFont(CreateTitleFont()),
      m_fixedFont(CreateFixedFont()),
      m_thread(GetCurrentThreadId()) {
    m_settings->titleFont = m_titleFont.get();
    m_messageSink.context = this;
    m_messageSink.show = &Wizard::ShowEngineMessage;
}

Wizard::~Wizard() {
    WaitForWorker();
    m_settings->titleFont = nullptr;
}

int CALLBACK Wizard::SheetCallback(HWND sheet, UINT message, LPARAM /*lParam*/) {
    if (message == PSCB_INITIALIZED && g_running != nullptr) {
        g_running->m_sheet = sheet;
        SetDlgItemTextW(sheet, kBackButtonId, kBackButtonText);
        if (g_running->m_hooks.sheetCreated) {
            g_running->m_hooks.sheetCreated(sheet);
        }
    }
    return 0;
}

void Wizard::Run() {
    INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                  ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    InitCommonControlsEx(&controls);

    struct PageSpec {
        std::unique_ptr<Page> page;
        int dialog;
        int title;  // 0: a watermark page without header
        int subtitle;
    };
    std::array<PageSpec, 5> specs{{
        {MakeWelcomePage(this), IDD_WELCOME, 0, 0},
        {MakeSourcePage(this), IDD_SOURCE, IDS_SOURCE_TITLE, IDS_SOURCE_SUBTITLE},
        {MakeOutputPage(this), IDD_OUTPUT, IDS_OUTPUT_TITLE, IDS_OUTPUT_SUBTITLE},
        {MakeProgressPage(this), IDD_PROGRESS, IDS_PROGRESS_TITLE, IDS_PROGRESS_SUBTITLE},
        {MakeCompletionPage(this), IDD_COMPLETION, 0, 0},
    }};
    std::array<PROPSHEETPAGEW, 5> pages{};
    for (std::size_t i = 0; i < specs.size(); ++i) {
        PROPSHEETPAGEW& page = pages[i];
        page.dwSize = sizeof page;
        page.hInstance = ProgramInstance();
        page.pszTemplate = MAKEINTRESOURCEW(specs[i].dialog);
        page.pfnDlgProc = &Page::DialogProc;
        page.lParam = reinterpret_cast<LPARAM>(specs[i].page.get());
        if (specs[i].title == 0) {
            page.dwFlags = PSP_HIDEHEADER;
        } else {
            page.dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
            page.pszHeaderTitle = MAKEINTRESOURCEW(specs[i].title);
            page.pszHeaderSubTitle = MAKEINTRESOURCEW(specs[i].subtitle);
        }
    }

    // Passed as bitmaps: not every implementation draws a header given by
    // resource number.
    const GdiObject header(DrawHeaderBitmap());
    const GdiObject watermark(DrawWatermarkBitmap());
    PROPSHEETHEADERW sheet{};
    sheet.dwSize = sizeof sheet;
    sheet.dwFlags = PSH_WIZARD97 | PSH_PROPSHEETPAGE | PSH_HEADER | PSH_WATERMARK |
                    PSH_USEHBMHEADER | PSH_USEHBMWATERMARK | PSH_STRETCHWATERMARK |
                    PSH_USECALLBACK | PSH_USEICONID;
    sheet.hwndParent = nullptr;
    sheet.hInstance = ProgramInstance();
    sheet.pszIcon = MAKEINTRESOURCEW(QUENDLE_ICON);
    sheet.pszCaption = L"Morvik Wizard";
    sheet.nPages = static_cast<UINT>(pages.size());
    sheet.nStartPage = 0;
    sheet.ppsp = pages.data();
    sheet.hbmWatermark = static_cast<HBITMAP>(watermark.get());
    sheet.hbmHeader = static_cast<HBITMAP>(header.get());
    sheet.pfnCallback = &Wizard::SheetCallback;

    g_running = this;
    PropertySheetW(&sheet);
    g_running = nullptr;
    m_sheet = nullptr;
    m_progressPage = nullptr;
    // After a cancel the worker stops before its next record and saves what
    // it has written; the record and the pages' models must live until then.
    WaitForWorker();
}

void Wizard::ShowMessage(const std::optional<PageMessage>& message, bool plain) {
    if (!message) {
        return;
    }
    PageMessage shown = *message;
    if (!plain) {
        // Models put a path on a line of its own; its blanks must not break it.
        const std::size_t firstBreak = shown.text.find('\n');
        for (std::size_t i = firstBreak; i != std::string::npos && i < shown.text.size(); ++i) {
            if (shown.text[i] == ' ') {
                shown.text.replace(i, 1, "\xC2\xA0");
                ++i;
            }
        }
    }
    if (m_hooks.showMessage) {
        m_hooks.showMessage(shown);
        return;
    }
    OwnedMessageBox(m_sheet, Widen(shown.text), Widen(shown.caption), MB_OK | BoxIcon(shown.icon));
}

void Wizard::ShowHelp() {
    const std::string program = platform::ProgramPath();
    const std::string help = platform::JoinPath(platform::FolderOf(program), "wizards.html");
    if (m_hooks.openFile) {
        m_hooks.openFile(help);
        return;
    }
    // A missing help page changes nothing else.
    ShellExecuteW(m_sheet, L"open", Widen(help).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

void Wizard::OpenWorkbook(const std::string& path) {
    if (m_hooks.openFile) {
        m_hooks.openFile(path);
        return;
    }
    const std::wstring wide = Widen(path);
    const auto opened = reinterpret_cast<INT_PTR>(
        ShellExecuteW(m_sheet, L"open", wide.c_str(), nullptr, nullptr, SW_SHOWNORMAL));
    if (opened > 32) {
        return;
    }
    // No program takes the file: the system's own choice of one.
    const std::wstring parameters = L"shell32,OpenAs_RunDLL " + wide;
    ShellExecuteW(m_sheet, L"open", L"rundll32", parameters.c_str(), nullptr, SW_SHOWNORMAL);
}

void Wizard::StartWorker(HWND page) {
    // Again after a failed run, whose worker TakeReport has joined.
    m_workerDone = false;
    m_progressPage = page;
    m_reports = std::make_unique<Reports>(this, page);
    m_worker = std::thread([this, page] {
        RunReport report =
            RunConversion(m_settings, &m_messageSink, m_reports.get(), SystemClocks());
        {
            const std::lock_guard lock(m_mutex);
            m_report = std::move(report);
        }
        m_workerDone = true;
        // Harmless when the wizard was cancelled and the page is gone.
        PostMessageW(page, kFinishedMessage, 0, 0);
    });
}

RunReport Wizard::TakeReport() {
    if (m_worker.joinable()) {
        m_worker.join();
    }
    const std::lock_guard lock(m_mutex);
    return m_report;
}

Wizard::Progress Wizard::progress() {
    const std::lock_guard lock(m_mutex);
    return m_progress;
}

void Wizard::WaitForWorker() {
    if (!m_worker.joinable()) {
        return;
    }
    // A worker may be sending a message box request to this thread.
    while (!m_workerDone) {
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    m_worker.join();
}

// The conversion run's messages. On the worker they go to the wizard's
// thread, and the run waits for the box to close as it would on its own
// thread; once the wizard has closed they are shown without an owner.
void Wizard::ShowEngineMessage(void* context, std::string_view caption, std::string_view text,
                               platform::MessageIcon icon) {
    auto* wizard = static_cast<Wizard*>(context);
    PageMessage message{std::string(caption), std::string(text), icon};
    // BATCH runs unattended: a box would wait for a person who is not
    // there. The failure still reaches the last page and the exit status.
    // The worker reads the flag, which pages write only before the run.
    if (wizard->m_settings->batchMode != 0) {
        platform::ShowMessage(nullptr, caption, text, icon);
        return;
    }
    if (GetCurrentThreadId() != wizard->m_thread) {
        HWND page = wizard->m_progressPage;
        if (page != nullptr &&
            SendMessageW(page, kShowMessageMessage, 0, reinterpret_cast<LPARAM>(&message)) != 0) {
            return;
        }
        if (wizard->m_hooks.showMessage) {
            wizard->m_hooks.showMessage(message);
            return;
        }
        MessageBoxW(nullptr, Widen(message.text).c_str(), Widen(message.caption).c_str(),
                    MB_OK | BoxIcon(icon));
        return;
    }
    wizard->ShowMessage(message, true);
}

// ---- Program entry --------------------------------------------------------------------

int RunWizard(engine::ConversionSettings* settings, const WizardHooks& hooks) {
    Wizard wizard(settings, hooks);
    wizard.Run();
    return WizardExitStatus(wizard.progressModel());
}

int RunNativeWizard(engine::ConversionSettings* settings) {
    return RunWizard(settings, WizardHooks{});
}

void AttachParentConsole() {
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error != nullptr && error != INVALID_HANDLE_VALUE) {
        return;  // redirected to a file or pipe by whoever started us
    }
    if (!AttachConsole(ATTACH_PARENT_PROCESS)) {
        return;  // started from Explorer: nowhere to report
    }
    const HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        return;
    }
    SetStdHandle(STD_OUTPUT_HANDLE, console);
    SetStdHandle(STD_ERROR_HANDLE, console);
    FILE* ignored = nullptr;
    (void)freopen_s(&ignored, "CONOUT$", "w", stdout);
    (void)freopen_s(&ignored, "CONOUT$", "w", stderr);
}

// ---- Recent-file lists ------------------------------------------------------------------

std::optional<std::string> RegistryStore::Read(std::string_view name) const {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kWizardKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    const std::wstring valueName = Widen(name);
    // One character more than a value may hold, so that a longer one shows.
    std::vector<wchar_t> buffer(kRecentValueCharacters + 2, L'\0');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(buffer.size() * sizeof(wchar_t));
    const LSTATUS status = RegQueryValueExW(key, valueName.c_str(), nullptr, &type,
                                            reinterpret_cast<BYTE*>(buffer.data()), &bytes);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) {
        return std::nullopt;  // missing, or too long for the buffer
    }
    std::wstring text(buffer.data(), bytes / sizeof(wchar_t));
    const std::size_t end = text.find(L'\0');
    if (end != std::wstring::npos) {
        text.resize(end);
    }
    return Narrow(text);
}

void RegistryStore::Write(std::string_view name, std::string_view text) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kWizardKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
        return;  // failures are silent: the lists are a convenience
    }
    const std::wstring value = Widen(text);
    (void)RegSetValueExW(key, Widen(name).c_str(), 0, REG_SZ,
                         reinterpret_cast<const BYTE*>(value.c_str()),
                         static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
}

}  // namespace wizard::win32
