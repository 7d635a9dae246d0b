// SPDX-License-Identifier: MIT
// Drives the Windows wizard's real pages from a second thread, as a person
// would: presses the sheet's buttons, types into the combos, ticks boxes,
// waits for the worker and checks what each page stored. Messages and the
// shell are recorded, never shown or started, so nothing waits for a person;
// every wait has a time limit, after which the walk cancels the wizard.
//
//   quendle_wizard_walk SCENARIO INPUT OUTPUT [PICTURES-FOLDER] [-- PARAMETERS...]
//
// Exit status 0 when every check held; each failed check is printed.
#include <windows.h>
// These use the types windows.h declares.
#include <commctrl.h>
#include <prsht.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/parameter_parser.h"
#include "engine/settings.h"
#include "platform/paths.h"
#include "platform/windows/wide.h"
#include "wizard/core/wizard_core.h"
#include "wizard/win32/resource_ids.h"
#include "wizard/win32/win32_wizard.h"

namespace {

using platform::windows::Narrow;
using platform::windows::Widen;
using wizard::win32::RegistryStore;

constexpr int kWelcome = 0;
constexpr int kSource = 1;
constexpr int kOutput = 2;
constexpr int kProgress = 3;
constexpr int kCompletion = 4;
constexpr int kPageWaitMs = 15000;
constexpr int kRunWaitMs = 120000;
constexpr int kNextButtonId = 0x3024;

// The string of the title each page shows in its header; 0 for the outer
// pages, which have none.
constexpr int kHeaderTitles[] = {0, IDS_SOURCE_TITLE, IDS_OUTPUT_TITLE, IDS_PROGRESS_TITLE, 0};
constexpr const char* kPictureNames[] = {"win32-1-welcome",    "win32-2-source",
                                         "win32-3-output",     "win32-4-progress",
                                         "win32-5-completion", "win32-6-failed"};
constexpr int kFailedPicture = 5;

// What the wizard asked the outside world for.
struct Recorded {
    std::mutex mutex;
    std::vector<wizard::PageMessage> messages;
    std::vector<std::string> opened;
};

// Runs functions on the wizard's thread, where the models live, by sending
// them to a message-only window of that thread.
class UiThread {
public:
    UiThread() {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = &UiThread::Procedure;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"QuendleWalkInvoke";
        RegisterClassW(&windowClass);
        m_window = CreateWindowW(L"QuendleWalkInvoke", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                 windowClass.hInstance, nullptr);
    }
    ~UiThread() { DestroyWindow(m_window); }
    void Run(const std::function<void()>& work) const {
        SendMessageW(m_window, WM_APP, 0, reinterpret_cast<LPARAM>(&work));
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_APP) {
            (*reinterpret_cast<const std::function<void()>*>(lParam))();
            return 0;
        }
        return DefWindowProcW(window, message, wParam, lParam);
    }
    HWND m_window = nullptr;
};

class Walk {
public:
    Walk(engine::ConversionSettings* settings, Recorded* recorded, const UiThread* ui)
        : m_settings(settings), m_recorded(recorded), m_ui(ui) {}

    void Check(bool ok, const std::string& what) {
        if (!ok) {
            std::fprintf(stderr, "FAILED: %s\n", what.c_str());
            ++m_failures;
        }
    }
    int failures() const { return m_failures; }

    void SetSheet(HWND sheet) { m_sheet = sheet; }
    HWND sheet() const { return m_sheet; }

    HWND Page() const {
        return reinterpret_cast<HWND>(SendMessageW(m_sheet, PSM_GETCURRENTPAGEHWND, 0, 0));
    }
    int PageIndex() const {
        return static_cast<int>(
            SendMessageW(m_sheet, PSM_HWNDTOINDEX, reinterpret_cast<WPARAM>(Page()), 0));
    }
    HWND Item(int id) const { return GetDlgItem(Page(), id); }

    // Waits until the page is current and its activation has been handled.
    bool WaitForPage(int index, int milliseconds = kPageWaitMs) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            if (IsWindow(m_sheet) && PageIndex() == index) {
                Settle();
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        Check(false, "page " + std::to_string(index) + " did not come up (now on " +
                         std::to_string(PageIndex()) + ")");
        return false;
    }
    // Waits, without settling first, until the progress page's bar has
    // moved: the run is on and has converted records.
    bool WaitForBarToMove(int milliseconds) const {
        const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
        while (std::chrono::steady_clock::now() < end) {
            if (IsWindow(m_sheet) && PageIndex() == kProgress &&
                SendMessageW(Item(IDC_PROGRESS_BAR), PBM_GETPOS, 0, 0) > 0) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    }
    // Lets the wizard's thread handle everything posted so far.
    void Settle() const {
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        m_ui->Run([] {});
    }

    // A key as the keyboard gives it: queued for the focused window, so the
    // sheet's dialog handling sees it first.
    void PressKey(WPARAM key) const {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(m_sheet, nullptr), &info);
        const HWND target = info.hwndFocus != nullptr ? info.hwndFocus : m_sheet;
        PostMessageW(target, WM_KEYDOWN, key, 1);
        PostMessageW(target, WM_KEYUP, key, 0xC0000001);
        Settle();
    }
    void Press(int button) const { PostMessageW(m_sheet, PSM_PRESSBUTTON, button, 0); }
    void Cancel() const {
        if (IsWindow(m_sheet)) {
            Press(PSBTN_CANCEL);
        }
    }

    static std::string Text(HWND window) {
        wchar_t buffer[4096] = {};
        SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
        return Narrow(buffer);
    }
    // Pastes over a combo's edit text, one change as Ctrl+V makes it, so
    // the combo notifies the page as it does for a person.
    void Type(int comboId, const std::string& text) const {
        const HWND combo = Item(comboId);
        SendMessageW(m_sheet, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(combo), TRUE);
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(combo, &info);
        SendMessageW(info.hwndItem, EM_SETSEL, 0, -1);
        SendMessageW(info.hwndItem, EM_REPLACESEL, TRUE,
                     reinterpret_cast<LPARAM>(Widen(text).c_str()));
        Settle();
    }
    // Types one key into the focused combo's edit field.
    void Key(int comboId, wchar_t key) const {
        COMBOBOXINFO info{};
        info.cbSize = sizeof info;
        GetComboBoxInfo(Item(comboId), &info);
        SendMessageW(info.hwndItem, WM_CHAR, key, 1);
        Settle();
    }
    // Tab: the focus leaves the field, which ends typing.
    void Tab() const {
        SendMessageW(m_sheet, WM_NEXTDLGCTL, 0, FALSE);
        Settle();
    }
    void Choose(int comboId, int index) const {
        const HWND combo = Item(comboId);
        SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
        SendMessageW(Page(), WM_COMMAND, MAKEWPARAM(comboId, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(combo));
        Settle();
    }
    void Click(int id) const {
        SendMessageW(Item(id), BM_CLICK, 0, 0);
        Settle();
    }
    bool Ticked(int id) const { return SendMessageW(Item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
    bool Enabled(int id) const { return IsWindowEnabled(Item(id)) != FALSE; }
    std::vector<std::string> ListItems(int comboId) const {
        const HWND combo = Item(comboId);
        std::vector<std::string> items;
        const LRESULT count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
        for (LRESULT i = 0; i < count; ++i) {
            wchar_t buffer[1024] = {};
            SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i),
                         reinterpret_cast<LPARAM>(buffer));
            items.push_back(Narrow(buffer));
        }
        return items;
    }
    // A field of the record, read on the wizard's thread.
    template <typename Field>
    Field Read(Field engine::ConversionSettings::*field) const {
        Field value{};
        m_ui->Run([&] { value = m_settings->*field; });
        return value;
    }
    std::string ReadText(const char* (*get)(const engine::ConversionSettings&)) const {
        std::string value;
        m_ui->Run([&] { value = get(*m_settings); });
        return value;
    }
    void RunOnUi(const std::function<void()>& work) const { m_ui->Run(work); }
    const engine::ConversionSettings* settings() const { return m_settings; }
    std::vector<wizard::PageMessage> Messages() const {
        const std::lock_guard lock(m_recorded->mutex);
        return m_recorded->messages;
    }
    void ClearMessages() const {
        const std::lock_guard lock(m_recorded->mutex);
        m_recorded->messages.clear();
    }

    // Keyboard use: the focus sits in the page's first field, and Enter
    // presses the sheet's default button, which is Next, never Back.
    void CheckKeyboard(int fieldId, const std::string& page) {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(m_sheet, nullptr), &info);
        const HWND field = Item(fieldId);
        Check(info.hwndFocus != nullptr &&
                  (info.hwndFocus == field || IsChild(field, info.hwndFocus)),
              "focus in the first field of the " + page + " page");
        const LRESULT defaultId = SendMessageW(m_sheet, DM_GETDEFID, 0, 0);
        Check(HIWORD(defaultId) == DC_HASDEFID && LOWORD(defaultId) == kNextButtonId,
              "Enter presses Next on the " + page + " page (default " +
                  std::to_string(LOWORD(defaultId)) + ")");
    }

    // Every control of the page is reached by a mnemonic of its own text or
    // its label's, none taken twice nor by the sheet's Back, Next or Finish.
    void CheckMnemonics(int controls, const std::string& page) {
        std::string taken = "knf";
        int found = 0;
        for (HWND child = GetWindow(Page(), GW_CHILD); child != nullptr;
             child = GetWindow(child, GW_HWNDNEXT)) {
            wchar_t kind[16] = {};
            GetClassNameW(child, kind, 16);
            if (lstrcmpiW(kind, L"Static") == 0 &&
                (GetWindowLongW(child, GWL_STYLE) & SS_NOPREFIX) != 0) {
                continue;  // a text shown as it is, such as a sheet's name
            }
            const std::string text = Text(child);
            const std::size_t at = text.find('&');
            if (at == std::string::npos || at + 1 >= text.size()) {
                continue;
            }
            const char letter =
                static_cast<char>(std::tolower(static_cast<unsigned char>(text[at + 1])));
            Check(taken.find(letter) == std::string::npos,
                  "mnemonic of " + text + " taken twice on the " + page + " page");
            taken += letter;
            ++found;
        }
        Check(found == controls, "mnemonics on the " + page + " page: " + std::to_string(found));
    }

    // The caption repeats what the page shows, so no caption is spelt out
    // here: on the welcome page the program's name, which its heading names
    // too; after that name and " | ", an inner page's header title, from the
    // resources the page is drawn from, or the last page's heading.
    void CheckCaption(int index) {
        const std::string caption = Text(m_sheet);
        if (index == kWelcome) {
            m_programName = caption;
            Check(!caption.empty() && Text(Item(IDC_TITLE)).ends_with(caption),
                  "the welcome caption " + caption + " names the program as the heading does");
            return;
        }
        std::string title;
        if (index == kCompletion) {
            title = Text(Item(IDC_TITLE));
        } else {
            wchar_t buffer[256] = {};
            LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(kHeaderTitles[index]), buffer,
                        static_cast<int>(std::size(buffer)));
            title = Narrow(buffer);
        }
        Check(!m_programName.empty() && !title.empty() && caption == m_programName + " | " + title,
              "caption of page " + std::to_string(index) + ": " + caption);
    }

    void Picture(const std::string& folder, int index) {
        if (folder.empty()) {
            return;
        }
        SetForegroundWindow(m_sheet);
        RedrawWindow(m_sheet, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
        Settle();
        const std::string path = folder + "\\" + kPictureNames[index] + ".bmp";
        Check(wizard::win32::SaveWindowPicture(m_sheet, path), "picture " + path);
    }

private:
    engine::ConversionSettings* m_settings;
    Recorded* m_recorded;
    const UiThread* m_ui;
    HWND m_sheet = nullptr;
    std::string m_programName;  // the welcome page's caption, once checked
    int m_failures = 0;
};

const char* InputPath(const engine::ConversionSettings& s) {
    return s.inputPath;
}
const char* OutputPath(const engine::ConversionSettings& s) {
    return s.outputPath;
}

std::string Value(const char* name) {
    return RegistryStore().Read(name).value_or("<missing>");
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The last page's heading after a run that ended so, as the page's model
// words it.
std::string CompletionHeading(wizard::RunOutcome outcome) {
    engine::ConversionSettings settings{};
    wizard::CompletionPageModel model(&settings);
    wizard::RunReport report;
    report.outcome = outcome;
    static_cast<void>(model.Enter(report));
    return model.titleText();
}

void CommandLineBox(Walk& walk, bool copyable);

// From the first page on to the source page; false when a page fails to come.
bool ToSourcePage(Walk& walk) {
    if (!walk.WaitForPage(kWelcome)) {
        return false;
    }
    walk.Press(PSBTN_NEXT);
    return walk.WaitForPage(kSource);
}

// On the source page: names the input and goes on to the output page.
bool ToOutputPage(Walk& walk, const std::string& input) {
    walk.Type(IDC_SOURCE_NAME, input);
    walk.Press(PSBTN_NEXT);
    return walk.WaitForPage(kOutput);
}

// On the output page: names the workbook and waits for the run to reach the
// last page.
bool ToCompletionPage(Walk& walk, const std::string& output) {
    walk.Type(IDC_OUTPUT_NAME, output);
    walk.Press(PSBTN_NEXT);
    return walk.WaitForPage(kCompletion, kRunWaitMs);
}

// Everything by hand: Back and Next keep what was typed, the type list
// changes the name's extension, the recent list shows the older name.
void ManualWalk(Walk& walk, const std::string& input, const std::string& output,
                const std::string& pictures, const std::string& older) {
    if (!walk.WaitForPage(kWelcome)) {
        return;
    }
    walk.CheckCaption(kWelcome);
    {
        GUITHREADINFO info{};
        info.cbSize = sizeof info;
        GetGUIThreadInfo(GetWindowThreadProcessId(walk.sheet(), nullptr), &info);
        walk.Check(info.hwndFocus == GetDlgItem(walk.sheet(), kNextButtonId),
                   "the welcome page starts with the focus on Next");
    }
    walk.Picture(pictures, kWelcome);
    walk.Press(PSBTN_NEXT);
    if (!walk.WaitForPage(kSource)) {
        return;
    }
    walk.CheckCaption(kSource);
    walk.CheckKeyboard(IDC_SOURCE_NAME, "source");
    walk.PressKey(VK_RETURN);
    walk.Check(walk.PageIndex() == kSource, "Enter in the empty name stays on the source page");
    walk.Check(walk.ListItems(IDC_SOURCE_NAME) == std::vector<std::string>{older},
               "the source list shows the stored recent name");
    walk.Check(Walk::Text(walk.Item(IDC_PREVIEW)).empty(), "no preview before a name");
    walk.Type(IDC_SOURCE_NAME, input);
    const std::string preview = Walk::Text(walk.Item(IDC_PREVIEW));
    walk.Check(Contains(preview, "\r\n"), "preview shows the file's lines: " + preview);
    walk.Check(walk.ReadText(&InputPath) == input, "inputPath follows the typed name");
    walk.Picture(pictures, kSource);
    walk.Press(PSBTN_NEXT);
    if (!walk.WaitForPage(kOutput)) {
        return;
    }
    walk.CheckCaption(kOutput);
    walk.CheckKeyboard(IDC_OUTPUT_NAME, "output");
    walk.CheckMnemonics(12, "output");
    // The page proposes the workbook beside the input, of the current type.
    const std::string proposed = Walk::Text(walk.Item(IDC_OUTPUT_NAME));
    const std::string stem = input.substr(0, input.rfind('.'));
    walk.Check(
        proposed ==
            stem + (walk.Read(&engine::ConversionSettings::workbookType) == 1 ? ".xlsx" : ".xls"),
        "the workbook beside the input is proposed: " + proposed);
    // The type list keeps the name's extension in step.
    walk.Type(IDC_OUTPUT_NAME, output);
    walk.Choose(IDC_WORKBOOK_TYPE, 0);
    walk.Check(Walk::Text(walk.Item(IDC_OUTPUT_NAME)) == output.substr(0, output.size() - 1),
               "the xls type drops the x: " + Walk::Text(walk.Item(IDC_OUTPUT_NAME)));
    walk.Check(walk.Read(&engine::ConversionSettings::workbookType) == 0, "workbookType is 0");
    walk.Choose(IDC_WORKBOOK_TYPE, 1);
    walk.Check(Walk::Text(walk.Item(IDC_OUTPUT_NAME)) == output,
               "the xlsx type adds the x: " + Walk::Text(walk.Item(IDC_OUTPUT_NAME)));
    walk.Check(walk.Read(&engine::ConversionSettings::workbookType) == 1, "workbookType is 1");
    walk.Check(walk.ReadText(&OutputPath) == output, "outputPath follows the name");
    // Keys are taken as typed: .xls on its way to .xlsx stays .xls, and the
    // x the person types next makes .xlsx, not .xlsxx.
    walk.Type(IDC_OUTPUT_NAME, output.substr(0, output.size() - 2));  // "...out.xl"
    walk.Key(IDC_OUTPUT_NAME, L's');
    walk.Check(Walk::Text(walk.Item(IDC_OUTPUT_NAME)) == output.substr(0, output.size() - 1),
               "typing .xls leaves .xls: " + Walk::Text(walk.Item(IDC_OUTPUT_NAME)));
    walk.Key(IDC_OUTPUT_NAME, L'x');
    walk.Check(Walk::Text(walk.Item(IDC_OUTPUT_NAME)) == output,
               "the next x makes .xlsx: " + Walk::Text(walk.Item(IDC_OUTPUT_NAME)));
    // Leaving the field brings the extension in step with the type.
    walk.Type(IDC_OUTPUT_NAME, output.substr(0, output.size() - 1));
    walk.Tab();
    walk.Check(Walk::Text(walk.Item(IDC_OUTPUT_NAME)) == output,
               "leaving .xls for xlsx gives .xlsx: " + Walk::Text(walk.Item(IDC_OUTPUT_NAME)));
    // Next refuses a name that is no workbook's, with a message.
    walk.Type(IDC_OUTPUT_NAME, output + "x");
    walk.Press(PSBTN_NEXT);
    walk.Settle();
    walk.Check(walk.PageIndex() == kOutput, "Next refuses .xlsxx");
    const std::vector<wizard::PageMessage> refused = walk.Messages();
    walk.Check(refused.size() == 1 && Contains(refused[0].text, ".xls or .xlsx"),
               "one message says which extensions a workbook takes");
    walk.ClearMessages();
    walk.Type(IDC_OUTPUT_NAME, output);
    walk.Check(!walk.Enabled(IDC_NUMERIC), "numeric set off while all fields are text");
    walk.Click(IDC_ALL_CHARACTER);
    walk.Check(walk.Read(&engine::ConversionSettings::allCharacter) == 0, "allCharacter cleared");
    walk.Check(walk.Enabled(IDC_NUMERIC), "numeric set on once fields are typed");
    walk.Choose(IDC_DATE_FORMAT, 2);
    walk.Check(walk.Read(&engine::ConversionSettings::dateMode) == 2, "dateMode is DD.MM.YYYY");
    walk.Picture(pictures, kOutput);

    // Back and forth keep both pages as they were.
    walk.Press(PSBTN_BACK);
    if (!walk.WaitForPage(kSource)) {
        return;
    }
    walk.Check(Walk::Text(walk.Item(IDC_SOURCE_NAME)) == input, "source name kept after Back");
    walk.Check(Walk::Text(walk.Item(IDC_PREVIEW)) == preview, "preview kept after Back");
    walk.Press(PSBTN_NEXT);
    if (!walk.WaitForPage(kOutput)) {
        return;
    }
    walk.Check(Walk::Text(walk.Item(IDC_OUTPUT_NAME)) == output, "output name kept after Next");
    walk.Check(!walk.Ticked(IDC_ALL_CHARACTER), "all-text box kept after Next");
    walk.CheckKeyboard(IDC_OUTPUT_NAME, "output");
    walk.PressKey(VK_RETURN);  // Enter in the name goes on
    // A small file is converted before the progress page can be seen; a
    // file big enough to take pictures of is still being converted.
    if (!pictures.empty()) {
        if (!walk.WaitForPage(kProgress)) {
            return;
        }
        walk.CheckCaption(kProgress);
        // Long enough for the time estimate, which starts after two seconds.
        std::this_thread::sleep_for(std::chrono::milliseconds(3500));
        walk.Picture(pictures, kProgress);
    }
    if (!walk.WaitForPage(kCompletion, kRunWaitMs)) {
        return;
    }
    walk.CheckCaption(kCompletion);
    walk.Check(
        Walk::Text(walk.Item(IDC_TITLE)) == CompletionHeading(wizard::RunOutcome::kConverted),
        "heading after the run: " + Walk::Text(walk.Item(IDC_TITLE)));
    const std::string result = Walk::Text(walk.Item(IDC_RESULT));
    const int records = walk.Read(&engine::ConversionSettings::recordCount);
    walk.Check(records > 0 && result == std::to_string(records) + " records have been imported.",
               "result text: " + result);
    walk.Check(walk.Ticked(IDC_OPEN) && walk.Enabled(IDC_OPEN), "open box on after a success");
    const std::string sheet = Walk::Text(walk.Item(IDC_SHEET));
    walk.Check(sheet.starts_with("Added the sheet \"") && sheet.ends_with(" to " + output + "."),
               "sheet line: " + sheet);
    walk.Picture(pictures, kCompletion);
    walk.CheckMnemonics(3, "completion");
    CommandLineBox(walk, true);
    walk.Press(PSBTN_FINISH);
}

std::string ClipboardText() {
    std::string text;
    if (!OpenClipboard(nullptr)) {
        return text;
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* wide = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = Narrow(wide);
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// Runs a line as a person pasting it into cmd.exe would; the exit status.
DWORD RunInCmd(const std::string& line) {
    std::wstring command = L"cmd.exe /s /c \"" + Widen(line) + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                        nullptr, &startup, &process)) {
        return 0xFFFFFFFF;
    }
    WaitForSingleObject(process.hProcess, 120000);
    DWORD status = 0xFFFFFFFF;
    GetExitCodeProcess(process.hProcess, &status);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return status;
}

// The command-line box: the parameters in a read-only field; Copy puts a
// line on the clipboard that cmd.exe runs as it stands, with quendle.exe
// (QUENDLE_PROGRAM) in place of this walk, or, where cmd.exe would not keep
// an argument, Copy is off and the box says why.
void CommandLineBox(Walk& walk, bool copyable) {
    PostMessageW(walk.Item(IDC_COMMAND_LINE), BM_CLICK, 0, 0);
    HWND box = nullptr;
    for (int i = 0; i < 250 && box == nullptr; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        box = FindWindowW(L"#32770", Widen(wizard::kCommandLineCaption).c_str());
    }
    walk.Check(box != nullptr, "the command-line box opens");
    if (box == nullptr) {
        return;
    }
    walk.Settle();
    RECT boxPlace{};
    RECT sheetPlace{};
    GetWindowRect(box, &boxPlace);
    GetWindowRect(walk.sheet(), &sheetPlace);
    walk.Check(
        std::abs((boxPlace.left + boxPlace.right) - (sheetPlace.left + sheetPlace.right)) <= 4 &&
            std::abs((boxPlace.top + boxPlace.bottom) - (sheetPlace.top + sheetPlace.bottom)) <= 4,
        "the box is centred on the wizard");
    walk.Check(GetWindow(box, GW_OWNER) == walk.sheet(), "the wizard owns the box");
    std::string expected;
    walk.RunOnUi([&] { expected = wizard::CommandLineText(*walk.settings()); });
    std::string shown = Walk::Text(GetDlgItem(box, IDC_COMMAND_TEXT));
    shown.erase(std::remove(shown.begin(), shown.end(), '\r'), shown.end());
    walk.Check(shown == expected, "the box shows the parameters: " + shown);
    const HWND copy = GetDlgItem(box, IDC_COPY);
    walk.Check((IsWindowEnabled(copy) != FALSE) == copyable, "Copy is on only for a safe line");
    if (!copyable) {
        const std::string note = Walk::Text(GetDlgItem(box, IDC_COPY_NOTE));
        walk.Check(note.starts_with("Not copied: ") && Contains(note, "cmd.exe"),
                   "the box says why nothing is copied: " + note);
        PostMessageW(box, WM_COMMAND, IDOK, 0);
        walk.Settle();
        return;
    }
    // Ctrl+C in the field copies the line, not the field's selection.
    if (OpenClipboard(nullptr)) {
        EmptyClipboard();
        CloseClipboard();
    }
    SendMessageW(GetDlgItem(box, IDC_COMMAND_TEXT), WM_COPY, 0, 0);
    const std::string line = ClipboardText();
    SendMessageW(copy, BM_CLICK, 0, 0);
    walk.Check(ClipboardText() == line, "Copy and Ctrl+C copy the same line");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    walk.Settle();
    std::fprintf(stderr, "copied: %s\n", line.c_str());
    walk.Check(!line.empty() && line.find('\n') == std::string::npos, "one line copied");
    const char* program = std::getenv("QUENDLE_PROGRAM");
    const std::string own =
        wizard::QuoteArgument(platform::ProgramPath(), platform::ShellQuoting::kWindows);
    if (program == nullptr || !line.starts_with(own + " ")) {
        walk.Check(program == nullptr, "the line starts with the program: " + line);
        return;
    }
    const DWORD status = RunInCmd(wizard::QuoteArgument(program, platform::ShellQuoting::kWindows) +
                                  line.substr(own.size()));
    walk.Check(status == 0, "the copied line runs in cmd.exe: status " + std::to_string(status));
}

// A name that cannot be opened: the page says so, keeps Next refused and
// stays; then the user cancels.
void MissingSource(Walk& walk, const std::string& input) {
    if (!ToSourcePage(walk)) {
        return;
    }
    walk.Type(IDC_SOURCE_NAME, input);
    walk.Check(walk.Messages().empty(), "no message while typing");
    walk.Check(Walk::Text(walk.Item(IDC_PREVIEW_NOTE)) ==
                   "Unable to load this CSV file. There is no such file.",
               "under the preview, why it is blank: " + Walk::Text(walk.Item(IDC_PREVIEW_NOTE)));
    walk.Tab();
    const std::vector<wizard::PageMessage> messages = walk.Messages();
    walk.Check(messages.size() == 1 && messages[0].text.starts_with(wizard::kUnableToLoadText),
               "one message says the file cannot be loaded (" + std::to_string(messages.size()) +
                   " messages)");
    walk.Press(PSBTN_NEXT);
    walk.Settle();
    walk.Check(walk.PageIndex() == kSource, "Next is refused without a preview");
    walk.PressKey(VK_ESCAPE);  // Escape cancels the wizard
}

// The same with the real message box: it is owned by the wizard and stands
// in its middle, not in the screen's.
void MissingSourceBox(Walk& walk, const std::string& input) {
    if (!ToSourcePage(walk)) {
        return;
    }
    walk.Type(IDC_SOURCE_NAME, input);
    // Leaving the field shows the box, which holds the wizard's thread.
    PostMessageW(walk.sheet(), WM_NEXTDLGCTL, 0, FALSE);
    HWND box = nullptr;
    for (int i = 0; i < 250 && box == nullptr; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        box = FindWindowW(L"#32770", L"Error");
    }
    walk.Check(box != nullptr, "a message box says the file cannot be loaded");
    if (box == nullptr) {
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RECT boxPlace{};
    RECT sheetPlace{};
    GetWindowRect(box, &boxPlace);
    GetWindowRect(walk.sheet(), &sheetPlace);
    walk.Check(GetWindow(box, GW_OWNER) == walk.sheet(), "the wizard owns the box");
    walk.Check(
        std::abs((boxPlace.left + boxPlace.right) - (sheetPlace.left + sheetPlace.right)) <= 4 &&
            std::abs((boxPlace.top + boxPlace.bottom) - (sheetPlace.top + sheetPlace.bottom)) <= 4,
        "the box is centred on the wizard");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    walk.Settle();
    walk.PressKey(VK_ESCAPE);
}

// The conversion fails: the last page says so in its heading and caption,
// shows the whole reason and offers nothing to open; Back leads to the
// output page, from which another name converts.
void FailedRun(Walk& walk, const std::string& input, const std::string& output,
               const std::string& fixed, const std::string& pictures) {
    if (!walk.WaitForPage(kWelcome)) {
        return;
    }
    walk.CheckCaption(kWelcome);
    walk.Press(PSBTN_NEXT);
    if (!walk.WaitForPage(kSource) || !ToOutputPage(walk, input)) {
        return;
    }
    // Adding a sheet to the existing file means reading it, which fails.
    if (walk.Ticked(IDC_OVERWRITE_FILE)) {
        walk.Click(IDC_OVERWRITE_FILE);
    }
    walk.Check(walk.Read(&engine::ConversionSettings::overwriteFile) == 0, "overwriteFile is 0");
    if (!ToCompletionPage(walk, output)) {
        return;
    }
    walk.CheckCaption(kCompletion);
    walk.Check(Walk::Text(walk.Item(IDC_TITLE)) == CompletionHeading(wizard::RunOutcome::kFailed),
               "heading after a failure: " + Walk::Text(walk.Item(IDC_TITLE)));
    const std::string result = Walk::Text(walk.Item(IDC_RESULT));
    walk.Check(result.starts_with("Conversion failed: Cannot open the existing workbook") &&
                   result.ends_with("The workbook was left unchanged."),
               "result text: " + result);
    // The whole reason has room: the controls under it moved down, and
    // all of them stay on the page.
    const auto place = [&](int id) {
        RECT rect{};
        GetWindowRect(walk.Item(id), &rect);
        MapWindowPoints(nullptr, walk.Page(), reinterpret_cast<POINT*>(&rect), 2);
        return rect;
    };
    RECT page{};
    GetClientRect(walk.Page(), &page);
    walk.Check(place(IDC_RESULT).bottom <= place(IDC_OPEN).top &&
                   place(IDC_COMMAND_LINE).bottom <= page.bottom,
               "the reason and the controls under it fit the page");
    walk.Check(!walk.Enabled(IDC_OPEN) && !walk.Ticked(IDC_OPEN), "nothing to open");
    walk.Picture(pictures, kFailedPicture);
    // Back leads to the output page, where another name converts.
    walk.Press(PSBTN_BACK);
    if (!walk.WaitForPage(kOutput)) {
        return;
    }
    if (!ToCompletionPage(walk, fixed)) {
        return;
    }
    walk.CheckCaption(kCompletion);
    walk.Check(
        Walk::Text(walk.Item(IDC_TITLE)) == CompletionHeading(wizard::RunOutcome::kConverted),
        "heading after the second run: " + Walk::Text(walk.Item(IDC_TITLE)));
    walk.Check(Walk::Text(walk.Item(IDC_RESULT)) == "4 records have been imported.",
               "the second run's count: " + Walk::Text(walk.Item(IDC_RESULT)));
    walk.Check(Walk::Text(walk.Item(IDC_SHEET)) == "Added the sheet \"good\" to " + fixed + ".",
               "the second run's sheet: " + Walk::Text(walk.Item(IDC_SHEET)));
    walk.Check(place(IDC_SHEET).bottom <= place(IDC_OPEN).top, "the sheet line fits");
    if (walk.Ticked(IDC_OPEN)) {
        walk.Click(IDC_OPEN);
    }
    walk.Press(PSBTN_FINISH);
}

// Cancel while the run is on: the wizard closes at once, the run stops
// before its next record and keeps what it wrote. The cancel comes as soon
// as the bar first moves, not after a fixed wait, which a fast machine
// outlasts with the whole run.
void CancelledRun(Walk& walk, const std::string& input, const std::string& output) {
    if (!ToSourcePage(walk) || !ToOutputPage(walk, input)) {
        return;
    }
    walk.Type(IDC_OUTPUT_NAME, output);
    walk.Press(PSBTN_NEXT);
    walk.Check(walk.WaitForBarToMove(kRunWaitMs), "the bar moves while the run is on");
    walk.Cancel();
}

// BATCH walks by itself; with WAIT it stays on the last page.
void BatchWalk(Walk& walk, bool wait) {
    if (!wait) {
        return;  // the wizard closes itself; the checks come after it
    }
    if (!walk.WaitForPage(kCompletion, kRunWaitMs)) {
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    walk.Check(IsWindow(walk.sheet()) && walk.PageIndex() == kCompletion,
               "WAIT keeps the wizard on the last page");
    // Its sheet name holds a quote, which cmd.exe would take as the end of
    // the quoting: nothing to copy.
    CommandLineBox(walk, false);
    walk.Press(PSBTN_FINISH);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    if (argc < 4) {
        std::fputs("usage: quendle_wizard_walk SCENARIO INPUT OUTPUT [PICTURES] [-- PARAMS]\n",
                   stderr);
        return 2;
    }
    std::vector<std::string> args;
    for (int i = 0; i < argc; ++i) {
        args.push_back(Narrow(argv[i]));
    }
    const std::string scenario = args[1];
    const std::string input = args[2];
    const std::string output = args[3];
    std::string pictures;
    std::vector<std::string> parameters{args[0]};
    for (std::size_t i = 4; i < args.size(); ++i) {
        if (args[i] == "--") {
            parameters.assign(args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            parameters[0] = args[0];
            break;
        }
        pictures = args[i];
    }

    // A known start: the older entry of the recent list, nothing else.
    RegDeleteTreeW(HKEY_CURRENT_USER, wizard::win32::kWizardKey);
    const std::string older = "C:\\older\\data.csv";
    wizard::AddRecentItem(*std::make_unique<RegistryStore>(), wizard::kSourceList, older);

    auto settings = std::make_unique<engine::ConversionSettings>();
    engine::SetDefaultSettings(settings.get());
    std::vector<char*> pointers;
    for (std::string& parameter : parameters) {
        pointers.push_back(parameter.data());
    }
    engine::ParameterParser(settings.get(), static_cast<int>(pointers.size()), pointers.data());

    Recorded recorded;
    const UiThread ui;
    Walk walk(settings.get(), &recorded, &ui);
    std::thread driver;
    wizard::win32::WizardHooks hooks;
    if (scenario != "missing-box") {
        hooks.showMessage = [&recorded](const wizard::PageMessage& message) {
            std::fprintf(stderr, "message: %s: %s\n", message.caption.c_str(),
                         message.text.c_str());
            const std::lock_guard lock(recorded.mutex);
            recorded.messages.push_back(message);
        };
    }
    hooks.openFile = [&recorded](const std::string& path) {
        const std::lock_guard lock(recorded.mutex);
        recorded.opened.push_back(path);
        return true;
    };
    hooks.sheetCreated = [&](HWND sheet) {
        walk.SetSheet(sheet);
        driver = std::thread([&] {
            if (scenario == "walk") {
                ManualWalk(walk, input, output, pictures, older);
            } else if (scenario == "missing") {
                MissingSource(walk, input);
            } else if (scenario == "missing-box") {
                MissingSourceBox(walk, input);
            } else if (scenario == "failure") {
                FailedRun(walk, input, output, output.substr(0, output.rfind('.')) + "-fixed.xlsx",
                          pictures);
            } else if (scenario == "batch-failure") {
                // Nothing to do: the wizard walks itself and closes.
            } else if (scenario == "cancel") {
                CancelledRun(walk, input, output);
            } else if (scenario == "batch" || scenario == "batch-wait") {
                BatchWalk(walk, scenario == "batch-wait");
            } else {
                walk.Check(false, "unknown scenario " + scenario);
            }
            // A walk that went wrong must end, not wait for a person.
            std::this_thread::sleep_for(
                std::chrono::milliseconds(scenario == "batch" ? 60000 : 5000));
            if (IsWindow(walk.sheet())) {
                walk.Check(false, "the wizard was still open at the end of the walk");
                walk.Cancel();
            }
        });
    };
    const int status = wizard::win32::RunWizard(settings.get(), hooks);
    // The driver may still be sleeping out its grace period; a closed sheet
    // ends that check, so it is detached rather than waited for.
    if (driver.joinable()) {
        driver.detach();
    }

    const std::vector<wizard::PageMessage> messages = walk.Messages();
    if (scenario == "walk" || scenario == "batch" || scenario == "batch-wait") {
        walk.Check(messages.empty(), "no messages during a good run");
        walk.Check(Value("LastCSVFile") == input, "LastCSVFile: " + Value("LastCSVFile"));
        walk.Check(Value("CSVfiles0") == input, "CSVfiles0: " + Value("CSVfiles0"));
        walk.Check(Value("CSVfiles1") == older, "CSVfiles1: " + Value("CSVfiles1"));
        walk.Check(Value("CSVfiles2").empty(), "CSVfiles2 empty: " + Value("CSVfiles2"));
        walk.Check(Value("LastXLS2File") == output, "LastXLS2File: " + Value("LastXLS2File"));
        walk.Check(Value("XLS2files0") == output, "XLS2files0: " + Value("XLS2files0"));
        walk.Check(settings->recordCount > 0, "records were converted");
        const std::lock_guard lock(recorded.mutex);
        walk.Check(recorded.opened == std::vector<std::string>{output},
                   "Finish opens the workbook once");
    } else if (scenario == "missing" || scenario == "missing-box") {
        walk.Check(Value("LastCSVFile") == "<missing>", "a refused page stores no name");
    } else if (scenario == "cancel") {
        walk.Check(settings->cancelRequested != 0, "the cancel reached the run");
        walk.Check(settings->recordCount > 0, "records before the cancel were converted");
        walk.Check(messages.empty(), "a cancel shows no message");
        const std::lock_guard lock(recorded.mutex);
        walk.Check(recorded.opened.empty(), "a cancelled wizard opens nothing");
    } else if (scenario == "failure") {
        walk.Check(Value("XLS2files1") == output, "XLS2files1: " + Value("XLS2files1"));
        walk.Check(!messages.empty(), "the run reported its failure in a message");
        const std::lock_guard lock(recorded.mutex);
        walk.Check(recorded.opened.empty(), "a failed run opens nothing");
    } else if (scenario == "batch-failure") {
        walk.Check(messages.empty(), "an unattended failure shows no box");
        walk.Check(settings->recordCount == 0, "nothing was converted");
        const std::lock_guard lock(recorded.mutex);
        walk.Check(recorded.opened.empty(), "a failed run opens nothing");
    }
    // Cancelled walks close before their run has ended.
    const int expectedStatus =
        scenario == "batch-failure"                                                  ? 1
        : scenario == "missing" || scenario == "missing-box" || scenario == "cancel" ? 5
                                                                                     : 0;
    walk.Check(status == expectedStatus, "exit status " + std::to_string(status));
    std::fprintf(stderr, "%s: %d failed checks\n", scenario.c_str(), walk.failures());
    std::fflush(stderr);
    // The detached driver must not outlive the objects it uses.
    ExitProcess(walk.failures() == 0 ? 0 : 1);
}
