#include "configure/frmmain-win32.h"

// windows.h first: commctrl.h builds on its types.
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <string_view>
#include <vector>

#include "configure/DialogCore.h"
#include "platform/Text.h"

namespace {

constexpr int kIconResource = 1;  // its number in configure.rc
constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

std::wstring WindowText(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

void ShowMessage(HWND owner, const DialogMessage& message) {
    const UINT icon = message.kind == DialogMessage::Kind::Critical ? MB_ICONERROR : MB_ICONWARNING;
    MessageBoxW(owner, platform::ToWide(message.text).c_str(),
                platform::ToWide(kFormCaption).c_str(), MB_OK | icon);
}

// Twips to pixels at the window's resolution: 15 twips are one pixel at 96 dpi.
int Pixels(int twips, UINT dpi) {
    return MulDiv(twips, static_cast<int>(dpi), 1440);
}

int IdOf(std::string_view name) {
    const DialogControl* control = FindControl(name);
    return control != nullptr ? ControlId(*control) : 0;
}

const DialogControl* FrameOf(const DialogControl& control) {
    for (const DialogControl& frame : DialogControls()) {
        if (control.frame != nullptr && std::string_view(frame.name) == control.frame) {
            return &frame;
        }
    }
    return nullptr;
}

std::wstring ClipboardText(HWND owner) {
    std::wstring text;
    if (!OpenClipboard(owner)) {
        return text;
    }
    if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
        if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
            text = chars;
            GlobalUnlock(data);
        }
    }
    CloseClipboard();
    return text;
}

// A single-line edit control pastes only up to the first line break, which would cut a pasted
// password short; like the Qt box it takes the whole text and drops the breaks instead.
LRESULT CALLBACK PasteOnOneLine(HWND box, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                DWORD_PTR) {
    if (message == WM_PASTE) {
        const std::wstring pasted = ClipboardText(box);
        const std::u16string single =
            DropLineBreaks(std::u16string(pasted.begin(), pasted.end()), 0).text;
        const std::wstring text(single.begin(), single.end());
        SendMessageW(box, EM_REPLACESEL, TRUE, reinterpret_cast<LPARAM>(text.c_str()));
        return 0;
    }
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(box, PasteOnOneLine, 0);
    }
    return DefSubclassProc(box, message, wParam, lParam);
}

struct ControlClass {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ControlClass ClassOf(ControlKind kind) {
    switch (kind) {
        case ControlKind::Frame:
            return {L"BUTTON", BS_GROUPBOX, 0};
        case ControlKind::Label:
            return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
        case ControlKind::TextBox:
            return {L"EDIT", ES_AUTOHSCROLL | WS_TABSTOP, WS_EX_CLIENTEDGE};
        case ControlKind::CheckBox:
            return {L"BUTTON", BS_AUTOCHECKBOX | WS_TABSTOP, 0};
        case ControlKind::ComboBox:
            return {L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP, 0};
        case ControlKind::Button:
            break;
    }
    return {L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, 0};
}

/// The dialog's window; its controls stand in the order of the table, which is the tab order.
class Form {
  public:
    bool Create(const DialogValues& values);
    int Run();

  private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);
    void CreateControls();
    void Layout(UINT dpi);
    void Fill(const DialogValues& values);
    void cmdSave_Click();
    void ShowPasswords(bool shown);

    HWND hwnd_ = nullptr;
    DialogValues loaded_;
    WPARAM bullet_ = 0;  // the password character the edit control chose itself
    HFONT font_ = nullptr;
    HWND focus_ = nullptr;  // where the focus returns when the window is activated again
    std::vector<HWND> controls_;
};

bool Form::Create(const DialogValues& values) {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(kIconResource));
    windowClass.hIconSm = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = kFormClass;
    if (RegisterClassExW(&windowClass) == 0) {
        return false;
    }
    // Created without a size: the client area follows from the resolution of the monitor the
    // window lands on, known only once it exists.
    hwnd_ = CreateWindowExW(0, kFormClass, platform::ToWide(kFormCaption).c_str(), kFormStyle,
                            CW_USEDEFAULT, CW_USEDEFAULT, 0, 0, nullptr, nullptr, instance, this);
    if (hwnd_ == nullptr) {
        return false;
    }
    CreateControls();
    Layout(GetDpiForWindow(hwnd_));
    Fill(values);
    return true;
}

void Form::CreateControls() {
    const HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const DialogControl& control : DialogControls()) {
        const ControlClass kind = ClassOf(control.kind);
        const DWORD masked = IsPassword(control) ? ES_PASSWORD : 0;
        HWND window = CreateWindowExW(
            kind.exStyle, kind.className, platform::ToWide(control.caption).c_str(),
            WS_CHILD | WS_VISIBLE | kind.style | masked, 0, 0, 0, 0, hwnd_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(control))), instance, nullptr);
        if (control.kind == ControlKind::TextBox) {
            // Without a limit of its own: a long value is saved whole.
            SendMessageW(window, EM_SETLIMITTEXT, 0, 0);
            SetWindowSubclass(window, PasteOnOneLine, 0, 0);
        }
        if (masked != 0) {
            bullet_ = SendMessageW(window, EM_GETPASSWORDCHAR, 0, 0);
        }
        // A frame drawn above the controls it holds would hide them. Frames take no focus, so
        // moving them to the bottom leaves the tab order of the others that of the table.
        if (control.kind == ControlKind::Frame) {
            SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        }
        controls_.push_back(window);
    }
}

void Form::Layout(UINT dpi) {
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0, dpi);
    metrics.lfMessageFont.lfHeight = -MulDiv(kFontPixels, static_cast<int>(dpi), 96);
    const HFONT font = CreateFontIndirectW(&metrics.lfMessageFont);

    const auto table = DialogControls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const DialogControl& control = table[i];
        // Converted apart, as Qt places a child in its frame, so both windows agree to the pixel.
        const DialogControl* frame = FrameOf(control);
        const int left = Pixels(control.left, dpi) + (frame ? Pixels(frame->left, dpi) : 0);
        const int top = Pixels(control.top, dpi) + (frame ? Pixels(frame->top, dpi) : 0);
        // A list box's height is that of its open list; closed, it is as tall as its font.
        const int rows = control.kind == ControlKind::ComboBox ? 8 : 1;
        SetWindowPos(controls_[i], nullptr, left, top, Pixels(control.width, dpi),
                     Pixels(control.height * rows, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(controls_[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    }
    if (font_ != nullptr) {
        DeleteObject(font_);
    }
    font_ = font;

    RECT frame{0, 0, Pixels(kClientWidthTwips, dpi), Pixels(kClientHeightTwips, dpi)};
    AdjustWindowRectExForDpi(&frame, kFormStyle, FALSE, 0, dpi);
    SetWindowPos(hwnd_, nullptr, 0, 0, frame.right - frame.left, frame.bottom - frame.top,
                 SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

std::string WithCarriageReturns(const std::string& lines) {
    std::string text;
    for (char c : lines) {
        text += c == '\n' ? "\r\n" : std::string(1, c);
    }
    return text;
}

void Form::Fill(const DialogValues& values) {
    loaded_ = values;
    const auto table = DialogControls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int index = table[i].index;
        if (table[i].kind == ControlKind::TextBox) {
            SetWindowTextW(controls_[i], platform::ToWide(values.Text[index]).c_str());
        } else if (table[i].kind == ControlKind::CheckBox) {
            const bool checked = values.chkZARVOUpdater[index];
            SendMessageW(controls_[i], BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
        } else if (table[i].kind == ControlKind::ComboBox) {
            const std::vector<DialogChoice>& choices = values.choices[index];
            for (std::size_t choice = 0; choice < choices.size(); ++choice) {
                const std::wstring caption = platform::ToWide(choices[choice].caption);
                SendMessageW(controls_[i], CB_ADDSTRING, 0,
                             reinterpret_cast<LPARAM>(caption.c_str()));
                if (choices[choice].value == values.cboZARVO[index]) {
                    SendMessageW(controls_[i], CB_SETCURSEL, choice, 0);
                }
            }
        } else if (table[i].kind == ControlKind::Label && index == kConfirmedLabel) {
            SetWindowTextW(controls_[i],
                           platform::ToWide(WithCarriageReturns(values.confirmed)).c_str());
        }
    }
}

void Form::ShowPasswords(bool shown) {
    const auto table = DialogControls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        if (table[i].kind == ControlKind::TextBox && IsPassword(table[i])) {
            SendMessageW(controls_[i], EM_SETPASSWORDCHAR, shown ? 0 : bullet_, 0);
            InvalidateRect(controls_[i], nullptr, TRUE);
        }
    }
}

void Form::cmdSave_Click() {
    DialogValues values = loaded_;
    const auto table = DialogControls();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const int index = table[i].index;
        if (table[i].kind == ControlKind::TextBox) {
            values.Text[index] = platform::FromWide(WindowText(controls_[i]));
        } else if (table[i].kind == ControlKind::CheckBox) {
            values.chkZARVOUpdater[index] =
                SendMessageW(controls_[i], BM_GETCHECK, 0, 0) == BST_CHECKED;
        } else if (table[i].kind == ControlKind::ComboBox) {
            const LRESULT chosen = SendMessageW(controls_[i], CB_GETCURSEL, 0, 0);
            if (chosen >= 0 && static_cast<std::size_t>(chosen) < values.choices[index].size()) {
                values.cboZARVO[index] = values.choices[index][chosen].value;
            }
        }
    }
    DialogMessage message;
    if (!SaveDialogValues(values, message)) {
        ShowMessage(hwnd_, message);
    }
}

LRESULT CALLBACK Form::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* form = static_cast<Form*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        form->hwnd_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(form));
    }
    auto* form = reinterpret_cast<Form*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    return form != nullptr ? form->Handle(message, wParam, lParam)
                           : DefWindowProcW(window, message, wParam, lParam);
}

LRESULT Form::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IdOf("cmdSave")) {
                cmdSave_Click();
            } else if (HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IdOf("cmdClose")) {
                DestroyWindow(hwnd_);
            } else if (HIWORD(wParam) == BN_CLICKED &&
                       LOWORD(wParam) == IdOf("chkZARVOUpdater" + std::to_string(kShowPasswords))) {
                ShowPasswords(SendMessageW(reinterpret_cast<HWND>(lParam), BM_GETCHECK, 0, 0) ==
                              BST_CHECKED);
            }
            return 0;
        case WM_ACTIVATE:
            // A plain window, unlike a dialog box, forgets which control had the focus.
            if (LOWORD(wParam) == WA_INACTIVE) {
                focus_ = GetFocus();
            } else if (focus_ != nullptr) {
                SetFocus(focus_);
            }
            return 0;
        case WM_DPICHANGED: {
            const auto* suggested = reinterpret_cast<const RECT*>(lParam);
            Layout(HIWORD(wParam));
            SetWindowPos(hwnd_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            return 0;
        }
        case WM_DESTROY:
            DeleteObject(font_);
            PostQuitMessage(0);
            return 0;
        default:
            return DefWindowProcW(hwnd_, message, wParam, lParam);
    }
}

int Form::Run() {
    ShowWindow(hwnd_, SW_SHOWDEFAULT);
    focus_ = GetNextDlgTabItem(hwnd_, nullptr, FALSE);
    SetFocus(focus_);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
        // Tab, Shift+Tab and the space bar on buttons work as in a dialog box.
        if (!IsDialogMessageW(hwnd_, &message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return static_cast<int>(message.wParam);
}

}  // namespace

int RunConfiguration() {
    INITCOMMONCONTROLSEX commonControls{sizeof(commonControls), ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&commonControls);
    DialogValues values;
    DialogMessage message;
    if (!LoadDialogValues(values, message)) {
        ShowMessage(nullptr, message);
        return 1;
    }
    Form form;
    if (!form.Create(values)) {
        ShowMessage(nullptr, {DialogMessage::Kind::Critical, "The window cannot be opened."});
        return 1;
    }
    return form.Run();
}
