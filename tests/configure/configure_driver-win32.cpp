// Drives a running configure.exe from outside, as a user would: finds its window and controls by
// class and identifier, reads and sets their texts, clicks, and answers its message boxes. Each
// argument group is one step; each result is one line on standard output.
//
//   wait | present | client | layout | taborder | close | box | ok | message (box, then ok)
//   get NAME | set NAME TEXT | paste NAME TEXT | click NAME | masked NAME | shot FILE.bmp
//
// Every wait is bounded; a step that cannot be done ends the driver with status 2.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "configure/DialogLayout.h"
#include "configure/frmmain-win32.h"
#include "platform/Text.h"

namespace {

constexpr DWORD kPatienceMs = 20000;
constexpr DWORD kPollMs = 50;

[[noreturn]] void Fail(const std::string& why) {
    std::fprintf(stderr, "configure_driver: %s\n", why.c_str());
    std::exit(2);
}

std::string Text(HWND window) {
    wchar_t buffer[70000];
    const LRESULT length =
        SendMessageW(window, WM_GETTEXT, std::size(buffer), reinterpret_cast<LPARAM>(buffer));
    return platform::FromWide(std::wstring_view(buffer, static_cast<std::size_t>(length)));
}

template <typename Found>
HWND WaitFor(const char* what, Found found) {
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (HWND window = found()) {
            return window;
        }
        Sleep(kPollMs);
    }
    Fail(std::string("no ") + what + " within " + std::to_string(kPatienceMs) + " ms");
}

// The window counts once it is shown: by then its controls are made and filled.
HWND Form() {
    HWND form = FindWindowW(kFormClass, platform::ToWide(kFormCaption).c_str());
    return form != nullptr && IsWindowVisible(form) ? form : nullptr;
}

// Message boxes are dialog boxes of the standard class with the program's title.
HWND MessageBoxWindow() {
    return FindWindowW(L"#32770", platform::ToWide(kFormCaption).c_str());
}

const DialogControl& Named(std::string_view name) {
    if (const DialogControl* control = FindControl(name)) {
        return *control;
    }
    Fail("no control named " + std::string(name));
}

HWND Control(std::string_view name) {
    HWND form = WaitFor("window", Form);
    HWND control = GetDlgItem(form, ControlId(Named(name)));
    if (control == nullptr) {
        Fail("window has no control " + std::string(name));
    }
    return control;
}

std::string NameOf(HWND control) {
    const int id = GetDlgCtrlID(control);
    for (const DialogControl& c : DialogControls()) {
        if (ControlId(c) == id) {
            return ControlName(c);
        }
    }
    return "id " + std::to_string(id);
}

void Set(std::string_view name, const std::string& text) {
    HWND control = Control(name);
    if (Named(name).kind == ControlKind::CheckBox) {
        SendMessageW(control, BM_SETCHECK, text == "on" ? BST_CHECKED : BST_UNCHECKED, 0);
    } else if (Named(name).kind == ControlKind::ComboBox) {
        const std::wstring wide = platform::ToWide(text);
        SendMessageW(control, CB_SETCURSEL,
                     SendMessageW(control, CB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                  reinterpret_cast<LPARAM>(wide.c_str())),
                     0);
    } else {
        SendMessageW(control, WM_SETTEXT, 0,
                     reinterpret_cast<LPARAM>(platform::ToWide(text).c_str()));
    }
}

std::string Get(std::string_view name) {
    HWND control = Control(name);
    if (Named(name).kind == ControlKind::CheckBox) {
        return SendMessageW(control, BM_GETCHECK, 0, 0) == BST_CHECKED ? "on" : "off";
    }
    return Text(control);
}

void Paste(std::string_view name, const std::string& text) {
    const std::wstring wide = platform::ToWide(text);
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (wide.size() + 1) * sizeof(wchar_t));
    std::wmemcpy(static_cast<wchar_t*>(GlobalLock(memory)), wide.c_str(), wide.size() + 1);
    GlobalUnlock(memory);
    if (!OpenClipboard(nullptr) || !EmptyClipboard() ||
        SetClipboardData(CF_UNICODETEXT, memory) == nullptr) {
        Fail("clipboard cannot be set");
    }
    CloseClipboard();
    HWND box = Control(name);
    SendMessageW(box, EM_SETSEL, 0, -1);
    SendMessageW(box, WM_PASTE, 0, 0);
}

// The click is sent from a thread of its own: a click that opens a message box returns only
// when the box is closed, and the driver must be free to read and answer it.
void Click(std::string_view name) {
    HWND button = Control(name);
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread sender([button, done] {
        DWORD_PTR result = 0;
        SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, kPatienceMs * 2, &result);
        *done = true;
    });
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs) {
        if (*done) {
            sender.join();
            return;
        }
        if (MessageBoxWindow() != nullptr) {
            sender.detach();
            return;
        }
        Sleep(kPollMs);
    }
    sender.detach();
    Fail("click on " + std::string(name) + " not answered");
}

void PrintMessage() {
    HWND box = WaitFor("message box", MessageBoxWindow);
    // The standard message box shows its text in a static control with this identifier.
    std::printf("%s\n", Text(GetDlgItem(box, 0xFFFF)).c_str());
}

void AnswerMessage() {
    HWND box = WaitFor("message box", MessageBoxWindow);
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    for (DWORD waited = 0; waited < kPatienceMs && IsWindow(box); waited += kPollMs) {
        Sleep(kPollMs);
    }
}

// Every control where the table puts it, at the window's resolution; one line per control that
// stands elsewhere, or "layout ok".
void CheckLayout() {
    HWND form = WaitFor("window", Form);
    // The system's resolution: asked about a window of another process, Wine answers 96.
    const int dpi = static_cast<int>(GetDpiForSystem());
    auto px = [dpi](int twips) { return MulDiv(twips, dpi, 1440); };
    int wrong = 0;
    for (const DialogControl& c : DialogControls()) {
        int left = px(c.left), top = px(c.top);
        for (const DialogControl& frame : DialogControls()) {
            if (c.frame != nullptr && std::string_view(frame.name) == c.frame) {
                left += px(frame.left);
                top += px(frame.top);
            }
        }
        HWND control = GetDlgItem(form, ControlId(c));
        RECT rect{};
        GetWindowRect(control, &rect);
        MapWindowPoints(nullptr, form, reinterpret_cast<POINT*>(&rect), 2);
        RECT expected{left, top, left + px(c.width), top + px(c.height)};
        if (c.kind == ControlKind::ComboBox) {
            expected.bottom = rect.bottom;  // closed, a list box is as tall as its font
        }
        // Boxes, lists and the confirmed addresses show what was loaded instead of a caption.
        const bool filled = c.kind == ControlKind::TextBox || c.kind == ControlKind::ComboBox ||
                            (c.kind == ControlKind::Label && c.index == kConfirmedLabel);
        const bool captioned = filled || Text(control) == c.caption;
        if (!EqualRect(&rect, &expected) || !captioned) {
            std::printf("%s \"%s\" at %ld %ld %ld %ld (%d dpi)\n", ControlName(c).c_str(),
                        Text(control).c_str(), rect.left, rect.top, rect.right - rect.left,
                        rect.bottom - rect.top, dpi);
            ++wrong;
        }
    }
    if (wrong == 0) {
        std::printf("layout ok at %d dpi\n", dpi);
    }
}

void PrintTabOrder() {
    HWND form = WaitFor("window", Form);
    HWND first = GetNextDlgTabItem(form, nullptr, FALSE);
    std::string order = NameOf(first);
    for (HWND next = GetNextDlgTabItem(form, first, FALSE); next != nullptr && next != first;
         next = GetNextDlgTabItem(form, next, FALSE)) {
        order += ' ';
        order += NameOf(next);
    }
    std::printf("%s\n", order.c_str());
}

std::vector<char> Capture(const RECT& rect, BITMAPINFOHEADER& header) {
    const int width = rect.right - rect.left, height = rect.bottom - rect.top;
    header = {sizeof(BITMAPINFOHEADER), width, height, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
    std::vector<char> pixels(static_cast<std::size_t>(((width * 3 + 3) & ~3) * height));
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
    SelectObject(memory, previous);
    GetDIBits(memory, bitmap, 0, static_cast<UINT>(height), pixels.data(),
              reinterpret_cast<BITMAPINFO*>(&header), DIB_RGB_COLORS);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return pixels;
}

// The window is painted in its own process and reaches the screen some time later: the picture
// is taken once two captures in a row agree.
void Screenshot(const std::string& file) {
    HWND form = WaitFor("window", Form);
    RedrawWindow(form, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
    RECT rect{};
    GetWindowRect(form, &rect);
    BITMAPINFOHEADER info{};
    std::vector<char> pixels = Capture(rect, info);
    for (DWORD waited = 0; waited < kPatienceMs; waited += kPollMs * 4) {
        Sleep(kPollMs * 4);
        std::vector<char> again = Capture(rect, info);
        if (again == pixels) {
            break;
        }
        pixels = std::move(again);
    }
    const DWORD offset = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
    const BITMAPFILEHEADER header{0x4D42, static_cast<DWORD>(offset + pixels.size()), 0, 0, offset};
    FILE* out = _wfopen(platform::ToWide(file).c_str(), L"wb");
    if (out == nullptr) {
        Fail("cannot write " + file);
    }
    std::fwrite(&header, sizeof(header), 1, out);
    std::fwrite(&info, sizeof(info), 1, out);
    std::fwrite(pixels.data(), pixels.size(), 1, out);
    std::fclose(out);
}

}  // namespace

int main(int argc, char* argv[]) {
    // Without it, Windows would show the driver scaled positions and sizes of another resolution.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    auto argument = [&](int i) -> std::string {
        if (i >= argc) {
            Fail(std::string("missing argument after ") + argv[i - 1]);
        }
        return argv[i];
    };
    for (int i = 1; i < argc; ++i) {
        const std::string step = argv[i];
        if (step == "wait") {
            WaitFor("window", Form);
        } else if (step == "present") {
            std::printf("%s\n", Form() != nullptr ? "window" : "no window");
        } else if (step == "client") {
            RECT rect{};
            GetClientRect(WaitFor("window", Form), &rect);
            std::printf("%ld %ld\n", rect.right, rect.bottom);
        } else if (step == "layout") {
            CheckLayout();
        } else if (step == "taborder") {
            PrintTabOrder();
        } else if (step == "close") {
            PostMessageW(WaitFor("window", Form), WM_CLOSE, 0, 0);
        } else if (step == "box") {
            PrintMessage();
        } else if (step == "ok") {
            AnswerMessage();
        } else if (step == "message") {
            PrintMessage();
            AnswerMessage();
        } else if (step == "get") {
            std::printf("%s\n", Get(argument(++i)).c_str());
        } else if (step == "set") {
            const std::string name = argument(++i);
            Set(name, argument(++i));
        } else if (step == "paste") {
            const std::string name = argument(++i);
            Paste(name, argument(++i));
        } else if (step == "click") {
            Click(argument(++i));
        } else if (step == "masked") {
            const LRESULT bullet = SendMessageW(Control(argument(++i)), EM_GETPASSWORDCHAR, 0, 0);
            std::printf("%s\n", bullet != 0 ? "masked" : "clear");
        } else if (step == "shot") {
            Screenshot(argument(++i));
        } else {
            Fail("unknown step " + step);
        }
        std::fflush(stdout);
    }
    return 0;
}
