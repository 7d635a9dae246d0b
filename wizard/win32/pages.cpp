// SPDX-License-Identifier: MIT
// The five pages. Each passes its controls' events to its model and then
// shows what the model exposes, as the Qt pages do.
#include <windows.h>
// These use the types windows.h declares.
#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>

#include <algorithm>
#include <array>
#include <vector>

#include "platform/windows/wide.h"
#include "wizard/win32/resource_ids.h"
#include "wizard/win32/sheet.h"

namespace wizard::win32 {
namespace {

using platform::windows::Narrow;
using platform::windows::Widen;

// The bar counts in thousandths of the file, since its range is an int.
constexpr int kBarSteps = 1000;
// Room for a long name from the file dialogs.
constexpr std::size_t kDialogNameCharacters = 32768;

void FillList(HWND combo, const std::vector<std::string>& items) {
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
    }
}

// Fills a name combo's drop-down list and keeps its edit text.
void FillRecentList(HWND combo, const std::vector<std::string>& names) {
    const std::string text = WindowText(combo);
    FillList(combo, names);
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    SetWindowTextW(combo, Widen(text).c_str());
}

std::string ItemText(HWND combo, LRESULT index) {
    if (index < 0) {
        return {};
    }
    const LRESULT length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length < 0) {
        return {};
    }
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index),
                 reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(length));
    return Narrow(text);
}

std::string SelectedText(HWND combo) {
    return ItemText(combo, SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

int Selection(HWND combo) {
    return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
}

bool Checked(HWND box) {
    return SendMessageW(box, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void SetChecked(HWND box, bool on) {
    SendMessageW(box, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The edit field shows lines broken by CR LF only.
std::wstring EditFieldText(std::string_view text) {
    std::string lines;
    lines.reserve(text.size() + text.size() / 16);
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) {
            lines += '\r';
        }
        lines += text[i];
    }
    return Widen(lines);
}

// A folder for the file dialogs: wide, with "\" separators.
std::wstring DialogFolder(const std::string& folder) {
    std::wstring wide = Widen(folder);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    return wide;
}

// The file named in an open (or, with `save`, a save) dialog starting in
// `folder`; empty when the user cancels.
std::string AskFileName(HWND owner, bool save, const wchar_t* filter, DWORD filterIndex,
                        const std::string& folder, DWORD flags) {
    std::wstring name(kDialogNameCharacters, L'\0');
    const std::wstring start = DialogFolder(folder);
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = owner;
    dialog.lpstrFilter = filter;
    dialog.nFilterIndex = filterIndex;
    dialog.lpstrFile = name.data();
    dialog.nMaxFile = static_cast<DWORD>(name.size());
    dialog.lpstrInitialDir = start.empty() ? nullptr : start.c_str();
    dialog.Flags = flags;
    if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) {
        return {};
    }
    name.resize(name.find(L'\0'));
    return Narrow(name);
}

// A page of fields bound to `Model`, which decides when Next may go on.
template <typename Model>
class FieldsPage : public Page {
protected:
    FieldsPage(Wizard* wizard, Model& model) : Page(wizard), m_model(model) {}

    // Shows the model's state in the controls.
    virtual void Refresh() = 0;

    // The end of entering the page, its lists filled: the focus goes to
    // `field`, and Next is pressed when the model asks for it.
    void Entered(bool pressNext, int field) {
        Refresh();
        FocusLater(field);
        if (pressNext) {
            PressLater(PSBTN_NEXT);
        }
    }

    // The end of a refresh: Next as the model allows, and its message.
    void ShowButtonsAndMessage() {
        SetButtons(PSWIZB_BACK | (m_model.nextEnabled() ? PSWIZB_NEXT : 0));
        m_wizard->ShowMessage(m_model.TakeMessage());
    }

    bool WizardNext() override {
        const bool next = m_model.Next();
        Refresh();
        return next;
    }

    Model& m_model;
};

// ---- Welcome page ----------------------------------------------------------------------

class WelcomePage : public Page {
public:
    using Page::Page;

private:
    void Init() override { ShowTitleFont(IDC_TITLE); }
    void SetActive() override {
        SetButtons(PSWIZB_NEXT);
        // The page has no field; the focus starts on Next, not on "?".
        FocusLater(kNextButtonId);
        if (m_wizard->welcomeModel().Enter()) {
            PressLater(PSBTN_NEXT);
        }
    }
};

// ---- Source page -------------------------------------------------------------------------

class SourcePage : public FieldsPage<SourcePageModel> {
public:
    explicit SourcePage(Wizard* wizard) : FieldsPage(wizard, wizard->sourceModel()) {}

private:
    void Init() override {
        SendMessageW(Control(IDC_SOURCE_NAME), CB_LIMITTEXT, engine::kPathCharacters, 0);
        SendMessageW(Control(IDC_PREVIEW), WM_SETFONT,
                     reinterpret_cast<WPARAM>(m_wizard->fixedFont()), FALSE);
        std::vector<std::string> names;
        for (const EncodingChoice& choice : m_model.encodings()) {
            names.push_back(choice.name);
        }
        m_updating = true;
        FillList(Control(IDC_ENCODING), names);
        m_updating = false;
    }

    void SetActive() override {
        const bool pressNext = m_model.Enter();
        m_updating = true;
        FillRecentList(Control(IDC_SOURCE_NAME), m_model.recentNames());
        m_updating = false;
        Entered(pressNext, IDC_SOURCE_NAME);
    }

    void Command(int id, int code) override {
        switch (id) {
            case IDC_SOURCE_NAME:
                if (code == CBN_EDITCHANGE) {
                    m_model.NameEdited(WindowText(Control(id)));
                } else if (code == CBN_SELCHANGE) {
                    m_model.NameChosen(SelectedText(Control(id)));
                } else if (code == CBN_KILLFOCUS) {
                    m_model.NameCommitted();
                } else {
                    return;
                }
                break;
            case IDC_SOURCE_BROWSE:
                if (code != BN_CLICKED) {
                    return;
                }
                Browse();
                break;
            case IDC_OEM:
                if (code != BN_CLICKED) {
                    return;
                }
                m_model.OemClicked();
                break;
            case IDC_ENCODING:
                if (code != CBN_SELCHANGE) {
                    return;
                }
                m_model.EncodingChosen(
                    static_cast<std::size_t>(std::max(0, Selection(Control(IDC_ENCODING)))));
                break;
            default:
                return;
        }
        Refresh();
    }

    void Browse() {
        const std::string name = AskFileName(
            m_window, false,
            L"CSV files (*.csv)\0*.csv\0TXT files (*.txt)\0*.txt\0All files (*.*)\0*.*\0", 1,
            m_model.browseFolder(),
            OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
        if (!name.empty()) {
            m_model.FileBrowsed(name);
        }
    }

    void Refresh() override {
        m_updating = true;
        SetComboText(Control(IDC_SOURCE_NAME), m_model.nameText());
        SendMessageW(Control(IDC_ENCODING), CB_SETCURSEL, m_model.encodingIndex(), 0);
        EnableWindow(Control(IDC_OEM), m_model.oemEnabled() ? TRUE : FALSE);
        SetChecked(Control(IDC_OEM), m_model.oemChecked());
        if (m_shownPreview != m_model.previewText()) {
            m_shownPreview = m_model.previewText();
            SetWindowTextW(Control(IDC_PREVIEW), EditFieldText(m_shownPreview).c_str());
        }
        SetWindowTextIfChanged(Control(IDC_PREVIEW_NOTE), m_model.previewNote());
        m_updating = false;
        ShowButtonsAndMessage();
    }

    std::string m_shownPreview;
};

// ---- Output page -------------------------------------------------------------------------

class OutputPage : public FieldsPage<OutputPageModel> {
public:
    explicit OutputPage(Wizard* wizard) : FieldsPage(wizard, wizard->outputModel()) {}

private:
    void Init() override {
        m_updating = true;
        SendMessageW(Control(IDC_OUTPUT_NAME), CB_LIMITTEXT, engine::kPathCharacters, 0);
        SendMessageW(Control(IDC_DELIMITER), CB_LIMITTEXT, kDelimiterTextLength, 0);
        SendMessageW(Control(IDC_NUMERIC), EM_LIMITTEXT, kCharacterSetLength, 0);
        SendMessageW(Control(IDC_BOOLEAN), EM_LIMITTEXT, kCharacterSetLength, 0);
        FillList(Control(IDC_WORKBOOK_TYPE), WorkbookTypeItems());
        FillList(Control(IDC_DATE_FORMAT), DateFormatItems());
        FillList(Control(IDC_DECIMAL), DecimalSeparatorItems());
        m_updating = false;
    }

    void SetActive() override {
        const bool pressNext = m_model.Enter(m_wizard->sourceModel().previewText());
        m_updating = true;
        FillList(Control(IDC_DELIMITER), m_model.delimiterItems());
        FillRecentList(Control(IDC_OUTPUT_NAME), m_model.recentNames());
        m_updating = false;
        Entered(pressNext, IDC_OUTPUT_NAME);
    }

    void Command(int id, int code) override {
        const HWND control = Control(id);
        switch (id) {
            case IDC_OUTPUT_NAME:
                if (code == CBN_EDITCHANGE) {
                    m_model.NameEdited(WindowText(control));
                } else if (code == CBN_SELCHANGE) {
                    m_model.NameEdited(SelectedText(control));
                    m_model.NameCommitted();
                } else if (code == CBN_KILLFOCUS) {
                    m_model.NameCommitted();
                } else {
                    return;
                }
                break;
            case IDC_OUTPUT_BROWSE:
                if (code != BN_CLICKED) {
                    return;
                }
                Browse();
                break;
            case IDC_OVERWRITE_FILE:
            case IDC_OVERWRITE_TABLE:
            case IDC_ALL_CHARACTER:
            case IDC_TYPES_IN_FILE: {
                if (code != BN_CLICKED) {
                    return;
                }
                const bool on = Checked(control);
                if (id == IDC_OVERWRITE_FILE) {
                    m_model.OverwriteFileClicked(on);
                } else if (id == IDC_OVERWRITE_TABLE) {
                    m_model.OverwriteTableClicked(on);
                } else if (id == IDC_ALL_CHARACTER) {
                    m_model.AllCharacterClicked(on);
                } else {
                    m_model.TypesInFileClicked(on);
                }
                break;
            }
            case IDC_WORKBOOK_TYPE:
            case IDC_DATE_FORMAT:
            case IDC_DECIMAL: {
                if (code != CBN_SELCHANGE) {
                    return;
                }
                const int index = std::max(0, Selection(control));
                if (id == IDC_WORKBOOK_TYPE) {
                    m_model.TypeChosen(index);
                } else if (id == IDC_DATE_FORMAT) {
                    m_model.DateChosen(index);
                } else {
                    m_model.DecimalChosen(index);
                }
                break;
            }
            case IDC_DELIMITER:
                if (code == CBN_EDITCHANGE) {
                    m_model.DelimiterEdited(WindowText(control));
                } else if (code == CBN_SELCHANGE) {
                    m_model.DelimiterEdited(SelectedText(control));
                } else {
                    return;
                }
                break;
            case IDC_NUMERIC:
                if (code == EN_CHANGE) {
                    m_model.NumericEdited(WindowText(control));
                }
                return;
            case IDC_BOOLEAN:
                if (code == EN_CHANGE) {
                    m_model.BooleanEdited(WindowText(control));
                }
                return;
            default:
                return;
        }
        Refresh();
    }

    void Browse() {
        // The model adds the type's extension; an existing workbook is not
        // a reason to ask, since the conversion can add a sheet to it.
        const std::string name = AskFileName(
            m_window, true,
            L"XLS files (*.xls)\0*.xls\0XLSX files (*.xlsx)\0*.xlsx\0All files (*.*)\0*.*\0",
            m_model.typeIndex() == 1 ? 2 : 1, m_model.saveFolder(),
            OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY);
        if (!name.empty()) {
            m_model.FileChosen(name);
        }
    }

    void Refresh() override {
        m_updating = true;
        SetComboText(Control(IDC_OUTPUT_NAME), m_model.nameText());
        SetChecked(Control(IDC_OVERWRITE_FILE), m_model.overwriteFileChecked());
        SetChecked(Control(IDC_OVERWRITE_TABLE), m_model.overwriteTableChecked());
        SendMessageW(Control(IDC_WORKBOOK_TYPE), CB_SETCURSEL, m_model.typeIndex(), 0);
        SendMessageW(Control(IDC_DATE_FORMAT), CB_SETCURSEL, m_model.dateIndex(), 0);
        SendMessageW(Control(IDC_DECIMAL), CB_SETCURSEL, m_model.decimalIndex(), 0);
        const HWND delimiter = Control(IDC_DELIMITER);
        if (WindowText(delimiter) != m_model.delimiterText()) {
            const LRESULT item =
                SendMessageW(delimiter, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                             reinterpret_cast<LPARAM>(Widen(m_model.delimiterText()).c_str()));
            if (item >= 0 && ItemText(delimiter, item) == m_model.delimiterText()) {
                SendMessageW(delimiter, CB_SETCURSEL, static_cast<WPARAM>(item), 0);
            } else {
                SetWindowTextW(delimiter, Widen(m_model.delimiterText()).c_str());
            }
        }
        SetChecked(Control(IDC_ALL_CHARACTER), m_model.allCharacterChecked());
        EnableWindow(Control(IDC_NUMERIC), m_model.characterSetsEnabled() ? TRUE : FALSE);
        EnableWindow(Control(IDC_BOOLEAN), m_model.characterSetsEnabled() ? TRUE : FALSE);
        SetWindowTextIfChanged(Control(IDC_NUMERIC), m_model.numericText());
        SetWindowTextIfChanged(Control(IDC_BOOLEAN), m_model.booleanText());
        SetChecked(Control(IDC_TYPES_IN_FILE), m_model.typesInFileChecked());
        m_updating = false;
        ShowButtonsAndMessage();
    }
};

// ---- Progress page ------------------------------------------------------------------------

class ProgressPage : public Page {
public:
    using Page::Page;

private:
    void Init() override {
        SendMessageW(Control(IDC_PROGRESS_BAR), PBM_SETRANGE32, 0, kBarSteps);
        SendMessageW(Control(IDC_PROGRESS_BAR), PBM_SETPOS, 0, 0);
    }

    void SetActive() override {
        // Nothing can be taken back once the run has started.
        SetButtons(0);
        if (m_wizard->progressModel().Enter()) {
            // Again after a failed run: start from nothing.
            SendMessageW(Control(IDC_PROGRESS_BAR), PBM_SETPOS, 0, 0);
            SetWindowTextW(Control(IDC_TIME), L"...");
            m_wizard->settings()->progressWindow = m_window;
            m_wizard->StartWorker(m_window);
        }
    }

    void QueryCancel() override { m_wizard->progressModel().Cancel(); }

    bool Other(UINT message, WPARAM /*wParam*/, LPARAM lParam) override {
        switch (message) {
            case kProgressMessage: {
                const Wizard::Progress progress = m_wizard->progress();
                if (!progress.files.empty()) {
                    SetWindowTextIfChanged(Control(IDC_FILES), progress.files);
                }
                if (!progress.time.empty()) {
                    SetWindowTextIfChanged(Control(IDC_TIME), progress.time);
                }
                if (progress.size > 0) {
                    const std::int64_t done = std::min(progress.position, progress.size);
                    SendMessageW(Control(IDC_PROGRESS_BAR), PBM_SETPOS,
                                 static_cast<WPARAM>(done * kBarSteps / progress.size), 0);
                }
                return true;
            }
            case kFinishedMessage:
                m_wizard->progressModel().Finished(m_wizard->TakeReport());
                m_wizard->settings()->progressWindow = nullptr;
                PressLater(PSBTN_NEXT);
                return true;
            case kShowMessageMessage:
                m_wizard->ShowMessage(*reinterpret_cast<const PageMessage*>(lParam), true);
                SetWindowLongPtrW(m_window, DWLP_MSGRESULT, 1);
                return true;
            default:
                return false;
        }
    }
};

// ---- Command-line box ----------------------------------------------------------------------

// The parameters in a read-only field; Copy and Ctrl+C put the line that
// runs in cmd.exe on the clipboard, or, where none can, the box says why.
class CommandLineBox {
public:
    CommandLineBox(std::string text, std::string readyToRun, std::string refusal)
        : m_text(std::move(text)),
          m_readyToRun(std::move(readyToRun)),
          m_refusal(std::move(refusal)) {}

    void Show(HWND owner) {
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_COMMAND_LINE), owner,
                        &CommandLineBox::Procedure, reinterpret_cast<LPARAM>(this));
    }

private:
    static INT_PTR CALLBACK Procedure(HWND box, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == WM_INITDIALOG) {
            SetWindowLongPtrW(box, GWLP_USERDATA, lParam);
            auto* self = reinterpret_cast<CommandLineBox*>(lParam);
            const HWND field = GetDlgItem(box, IDC_COMMAND_TEXT);
            SetWindowTextW(field, EditFieldText(self->m_text).c_str());
            // The field's own Ctrl+C copies its selection; ours copies the line.
            SetWindowSubclass(field, &CommandLineBox::FieldProcedure, 0,
                              reinterpret_cast<DWORD_PTR>(self));
            if (!self->m_refusal.empty()) {
                EnableWindow(GetDlgItem(box, IDC_COPY), FALSE);
                SetDlgItemTextW(box, IDC_COPY_NOTE, Widen(self->m_refusal).c_str());
            }
            CentreOnOwner(box, GetWindow(box, GW_OWNER));
            SetFocus(field);
            return FALSE;
        }
        auto* self = reinterpret_cast<CommandLineBox*>(GetWindowLongPtrW(box, GWLP_USERDATA));
        if (self == nullptr || message != WM_COMMAND) {
            return FALSE;
        }
        switch (LOWORD(wParam)) {
            case IDC_COPY:
                self->Copy(box);
                return TRUE;
            case IDOK:
            case IDCANCEL:
                RemoveWindowSubclass(GetDlgItem(box, IDC_COMMAND_TEXT),
                                     &CommandLineBox::FieldProcedure, 0);
                EndDialog(box, IDOK);
                return TRUE;
            default:
                return FALSE;
        }
    }

    static LRESULT CALLBACK FieldProcedure(HWND field, UINT message, WPARAM wParam, LPARAM lParam,
                                           UINT_PTR /*id*/, DWORD_PTR data) {
        auto* self = reinterpret_cast<CommandLineBox*>(data);
        if (message == WM_COPY && self->m_refusal.empty()) {
            self->Copy(GetParent(field));
            return 0;
        }
        return DefSubclassProc(field, message, wParam, lParam);
    }

    void Copy(HWND box) const {
        if (!m_refusal.empty() || !OpenClipboard(box)) {
            return;
        }
        const std::wstring wide = Widen(m_readyToRun);
        EmptyClipboard();
        const std::size_t bytes = (wide.size() + 1) * sizeof(wchar_t);
        HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
        bool placed = false;
        if (memory != nullptr) {
            if (void* target = GlobalLock(memory)) {
                std::copy(wide.c_str(), wide.c_str() + wide.size() + 1,
                          static_cast<wchar_t*>(target));
                GlobalUnlock(memory);
                placed = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
            }
            if (!placed) {
                GlobalFree(memory);  // the clipboard took no ownership
            }
        }
        CloseClipboard();
        if (placed) {
            SetDlgItemTextW(box, IDC_COPY_NOTE, Widen(kCopiedText).c_str());
        }
    }

    std::string m_text;
    std::string m_readyToRun;
    std::string m_refusal;
};

// ---- Completion page ----------------------------------------------------------------------

class CompletionPage : public Page {
public:
    explicit CompletionPage(Wizard* wizard) : Page(wizard), m_model(wizard->completionModel()) {}

private:
    void Init() override {
        ShowTitleFont(IDC_TITLE);
        for (std::size_t i = 0; i < m_textPlaces.size(); ++i) {
            m_textPlaces[i] = PlaceOf(Control(kTexts[i]));
        }
        for (std::size_t i = 0; i < m_places.size(); ++i) {
            m_places[i] = PlaceOf(Control(kBelowResult[i]));
        }
    }

    void SetActive() override {
        const bool pressFinish = m_model.Enter(m_wizard->progressModel().report());
        const std::string title = m_model.titleText();
        SetWindowTextIfChanged(Control(IDC_TITLE), title);
        SetWindowTextW(m_window, Widen("Morvik Wizard | " + title).c_str());
        SetWindowTextIfChanged(Control(IDC_RESULT), m_model.resultText());
        SetWindowTextIfChanged(Control(IDC_SHEET), m_model.sheetText());
        LayOutResult();
        EnableWindow(Control(IDC_OPEN), m_model.openEnabled() ? TRUE : FALSE);
        SetChecked(Control(IDC_OPEN), m_model.openChecked());
        SetChecked(Control(IDC_SAVE), m_model.saveChecked());
        SetButtons(PSWIZB_FINISH | (m_model.backEnabled() ? PSWIZB_BACK : 0));
        FocusLater(IDC_OPEN);
        if (pressFinish) {
            PressLater(PSBTN_FINISH);
        }
    }

    void Command(int id, int code) override {
        if (code != BN_CLICKED) {
            return;
        }
        if (id == IDC_OPEN) {
            m_model.OpenClicked(Checked(Control(id)));
        } else if (id == IDC_SAVE) {
            m_model.SaveClicked(Checked(Control(id)));
        } else if (id == IDC_COMMAND_LINE) {
            const engine::ConversionSettings& settings = *m_wizard->settings();
            const std::string program = platform::ProgramPath();
            CommandLineBox box(
                CommandLineText(settings),
                ReadyToRunCommandLine(settings, program, platform::ShellQuoting::kWindows),
                ReadyToRunRefusal(settings, program, platform::ShellQuoting::kWindows));
            box.Show(m_wizard->sheet());
        }
    }

    void WizardFinish() override {
        const std::string workbook = m_model.Finish(engine::UserIniPath());
        if (!workbook.empty()) {
            m_wizard->OpenWorkbook(workbook);
        }
    }

    // Past the progress page, which has nothing to offer after the run.
    int WizardBack() override { return m_model.backEnabled() ? IDD_OUTPUT : -1; }

    static RECT PlaceOf(HWND control) {
        RECT place{};
        GetWindowRect(control, &place);
        MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&place), 2);
        return place;
    }

    // The texts grow to hold their whole lines, a failure's reason with its
    // paths included, and the controls under them move down as far.
    void LayOutResult() {
        int y = m_textPlaces[0].top;
        int end = y;
        for (std::size_t i = 0; i < m_textPlaces.size(); ++i) {
            const HWND control = Control(kTexts[i]);
            const RECT& place = m_textPlaces[i];
            const int width = place.right - place.left;
            const std::wstring wide = Widen(WindowText(control));
            RECT text{0, 0, width, 0};
            if (!wide.empty()) {
                const HDC dc = GetDC(control);
                const HGDIOBJ old = SelectObject(
                    dc, reinterpret_cast<HGDIOBJ>(SendMessageW(control, WM_GETFONT, 0, 0)));
                DrawTextW(
                    dc, wide.c_str(), static_cast<int>(wide.size()), &text,
                    DT_CALCRECT | DT_WORDBREAK | DT_EDITCONTROL | DT_EXPANDTABS | DT_NOPREFIX);
                SelectObject(dc, old);
                ReleaseDC(control, dc);
            }
            const int height = std::max<int>(text.bottom, place.bottom - place.top);
            MoveWindow(control, place.left, y, width, height, TRUE);
            ShowWindow(control, wide.empty() ? SW_HIDE : SW_SHOW);
            end = y + height;
            if (!wide.empty()) {
                y = end + (i + 1 < m_textPlaces.size()
                               ? m_textPlaces[i + 1].top - m_textPlaces[i].bottom
                               : 0);
            }
        }
        const int shift = end - m_textPlaces.back().bottom;
        for (std::size_t i = 0; i < m_places.size(); ++i) {
            const RECT& place = m_places[i];
            MoveWindow(Control(kBelowResult[i]), place.left, place.top + shift,
                       place.right - place.left, place.bottom - place.top, TRUE);
        }
    }

    static constexpr std::array<int, 2> kTexts = {IDC_RESULT, IDC_SHEET};
    static constexpr std::array<int, 3> kBelowResult = {IDC_OPEN, IDC_SAVE, IDC_COMMAND_LINE};
    CompletionPageModel& m_model;
    std::array<RECT, 2> m_textPlaces{};
    std::array<RECT, 3> m_places{};
};

}  // namespace

std::unique_ptr<Page> MakeWelcomePage(Wizard* wizard) {
    return std::make_unique<WelcomePage>(wizard);
}
std::unique_ptr<Page> MakeSourcePage(Wizard* wizard) {
    return std::make_unique<SourcePage>(wizard);
}
std::unique_ptr<Page> MakeOutputPage(Wizard* wizard) {
    return std::make_unique<OutputPage>(wizard);
}
std::unique_ptr<Page> MakeProgressPage(Wizard* wizard) {
    return std::make_unique<ProgressPage>(wizard);
}
std::unique_ptr<Page> MakeCompletionPage(Wizard* wizard) {
    return std::make_unique<CompletionPage>(wizard);
}

}  // namespace wizard::win32
