// The settings form as a real window: every control at its designed place in
// twips, converted at the screen's DPI; frames as containers; the focus order
// of the design; no default and no cancel button.
#include <windows.h>
#include <imm.h>

#include <string>
#include <vector>

#include "core/error.h"
#include "dialog/caption_fit.h"
#include "dialog/caption_measure_win32.h"
#include "dialog/dialog_errors.h"
#include "dialog/dialog_view.h"
#include "dialog/dialog_view_win32.h"
#include "dialog/frame_window_win32.h"
#include "dialog/gdi_scope_win32.h"
#include "dialog/hash_filter_win32.h"
#include "dialog/help_win32.h"
#include "dialog/settings_form.h"
#include "dialog/win32_module.h"

namespace orbenix {
namespace {

using dialog_win32::kFirstControlId;

std::wstring Wide(const std::u16string& text) { return std::wstring(text.begin(), text.end()); }
std::u16string Text16(const std::wstring& text) { return std::u16string(text.begin(), text.end()); }

std::wstring WindowText(HWND window) {
    const int length = GetWindowTextLengthW(window);
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(window, text.data(), length + 1);
    text.resize(static_cast<std::size_t>(copied > 0 ? copied : 0));
    return text;
}

struct WindowDestroyer {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using UniqueWindow = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDestroyer>;

struct IconDestroyer {
    void operator()(HICON icon) const { DestroyIcon(icon); }
};
using UniqueIcon = std::unique_ptr<std::remove_pointer_t<HICON>, IconDestroyer>;

// A modal window with no owner blocks the other windows of its thread while it is open.
class ThreadWindowsDisabled {
public:
    explicit ThreadWindowsDisabled(HWND modal) : modal_(modal) {
        EnumThreadWindows(GetCurrentThreadId(), Collect, reinterpret_cast<LPARAM>(this));
        for (HWND window : disabled_) EnableWindow(window, FALSE);
    }
    ~ThreadWindowsDisabled() {
        for (HWND window : disabled_) {
            if (IsWindow(window)) EnableWindow(window, TRUE);
        }
    }
    ThreadWindowsDisabled(const ThreadWindowsDisabled&) = delete;
    ThreadWindowsDisabled& operator=(const ThreadWindowsDisabled&) = delete;

private:
    static BOOL CALLBACK Collect(HWND window, LPARAM self) {
        auto* me = reinterpret_cast<ThreadWindowsDisabled*>(self);
        if (window != me->modal_ && IsWindowVisible(window) && IsWindowEnabled(window)) {
            me->disabled_.push_back(window);
        }
        return TRUE;
    }
    HWND modal_;
    std::vector<HWND> disabled_;
};

constexpr DWORD kFormStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
constexpr DWORD kFormExStyle = WS_EX_CONTROLPARENT;

bool ComboIsDropped(HWND combo) { return SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0) != 0; }

class Win32DialogView final : public DialogView {
public:
    void Create(SettingsForm& form) override;
    std::intptr_t WindowHandle() const override { return reinterpret_cast<std::intptr_t>(window_.get()); }
    void Refresh(ControlId id) override;
    void ShowModal() override;
    void Destroy() override;

private:
    static const wchar_t* FormClass(HINSTANCE module);
    static LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
    LRESULT OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
    void OnCommand(int command_id, int code);
    bool PreTranslate(const MSG& message);

    HWND Control(ControlId id) const { return controls_[static_cast<std::size_t>(id)]; }
    int PxX(int twips) const { return TwipsToPixels(twips, dpi_x_); }
    int PxY(int twips) const { return TwipsToPixels(twips, dpi_y_); }
    void CreateControl(const ControlDesign& design, HINSTANCE module);
    void FitCaption(ControlId id);
    void FitComboHeight(HWND combo, int height_px);
    void ApplyEnabledStates();
    bool Effective(ControlId id) const;
    ControlId FocusedControl() const;
    void MoveFocus(ControlId id);
    void SetWindowTextQuietly(HWND window, const std::u16string& text);

    SettingsForm* form_ = nullptr;
    UniqueWindow window_;
    std::array<HWND, kControlCount> controls_{};  // children go with the form's window
    UniqueIcon big_icon_;
    UniqueIcon small_icon_;
    int dpi_x_ = 96;
    int dpi_y_ = 96;
    bool updating_ = false;   // the view is writing a control: its notifications are not input
    bool in_modal_ = false;
    HWND focus_on_deactivation_ = nullptr;
};

const wchar_t* Win32DialogView::FormClass(HINSTANCE module) {
    static const bool registered = [module] {
        WNDCLASSEXW form{};
        form.cbSize = sizeof form;
        form.lpfnWndProc = FormProc;
        form.hInstance = module;
        form.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        form.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1));
        form.lpszClassName = dialog_win32::kFormClass;
        return RegisterClassExW(&form) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    (void)registered;  // a failed registration shows up as a failed CreateWindowEx
    return dialog_win32::kFormClass;
}

[[noreturn]] void ThrowWindowFailed(std::u16string_view what) {
    const DWORD code = GetLastError();
    throw Error(dialog_errors::WindowFailed,
                u"The settings dialog window could not be created (" + std::u16string(what) +
                    u", system error " + Text16(std::to_wstring(code)) + u")");
}

void Win32DialogView::Create(SettingsForm& form) {
    form_ = &form;
    const HINSTANCE module = CodeModule();
    {
        WindowDC screen(nullptr);
        if (screen.get()) {
            dpi_x_ = GetDeviceCaps(screen.get(), LOGPIXELSX);
            dpi_y_ = GetDeviceCaps(screen.get(), LOGPIXELSY);
        }
    }
    RECT frame{0, 0, PxX(kClientWidthTwips), PxY(kClientHeightTwips)};
    AdjustWindowRectEx(&frame, kFormStyle, FALSE, kFormExStyle);
    const int width = frame.right - frame.left;
    const int height = frame.bottom - frame.top;
    RECT work{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int x = work.left + ((work.right - work.left) - width) / 2;
    const int y = work.top + ((work.bottom - work.top) - height) / 2;

    const std::wstring caption = Wide(form.CaptionState());
    HWND window = CreateWindowExW(kFormExStyle, FormClass(module), caption.c_str(), kFormStyle, x, y, width,
                                  height, nullptr, nullptr, module, this);
    if (window == nullptr) ThrowWindowFailed(u"frmmain");
    window_.reset(window);
    controls_[static_cast<std::size_t>(ControlId::frmmain)] = window;

    big_icon_.reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(dialog_win32::kDialogIconId), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0)));
    small_icon_.reset(static_cast<HICON>(LoadImageW(module, MAKEINTRESOURCEW(dialog_win32::kDialogIconId),
                                                    IMAGE_ICON, GetSystemMetrics(SM_CXSMICON),
                                                    GetSystemMetrics(SM_CYSMICON), 0)));
    if (big_icon_) SendMessageW(window, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big_icon_.get()));
    if (small_icon_) SendMessageW(window, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small_icon_.get()));

    // The stored order puts every container before its controls and each
    // check box before the frame whose top edge it covers; each new window
    // goes below its siblings, so the check boxes are drawn above their frames.
    for (const ControlDesign& design : DialogDesign()) {
        if (design.id != ControlId::frmmain) CreateControl(design, module);
    }
    for (const ControlDesign& design : DialogDesign()) FitCaption(design.id);
    ApplyEnabledStates();
}

// A caption wider than its control at this DPI widens the control into the free space beside it.
void Win32DialogView::FitCaption(ControlId id) {
    const ControlDesign& design = Design(id);
    if (id == ControlId::frmmain || !ShowsCaption(design.kind)) return;
    HWND control = Control(id);
    const int needed = CaptionNeed(design.kind, MeasureCaption(control, design.kind, dpi_x_));
    const int width = FittedWidth(id, needed, dpi_x_, dpi_y_);
    RECT now{};
    GetWindowRect(control, &now);
    if (now.right - now.left == width) return;
    SetWindowPos(control, nullptr, 0, 0, width, now.bottom - now.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32DialogView::CreateControl(const ControlDesign& design, HINSTANCE module) {
    const ControlState& state = form_->State(design.id);
    const std::wstring text = Wide(state.text);
    DWORD style = WS_CHILD | WS_CLIPSIBLINGS | (state.visible ? WS_VISIBLE : 0);
    DWORD ex_style = 0;
    const wchar_t* window_class = L"STATIC";
    int height = PxY(design.height);
    switch (design.kind) {
    case ControlKind::Frame:
        window_class = FrameClass(module);
        style |= WS_CLIPCHILDREN;
        ex_style |= WS_EX_CONTROLPARENT;
        break;
    case ControlKind::TextBox:
        window_class = L"EDIT";
        style |= WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL | (design.masked ? ES_PASSWORD : 0);
        ex_style |= WS_EX_CLIENTEDGE;
        break;
    case ControlKind::Label:
        window_class = L"STATIC";
        style |= SS_LEFT;
        break;
    case ControlKind::CheckBox:
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_CHECKBOX;
        break;
    case ControlKind::ComboBox:
        window_class = L"COMBOBOX";
        style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL;
        height = PxY(design.height) * 8;  // room for the dropped list
        break;
    case ControlKind::CommandButton:
        window_class = L"BUTTON";
        style |= WS_TABSTOP | BS_PUSHBUTTON;
        break;
    case ControlKind::Form:
        return;
    }
    const int command_id = kFirstControlId + static_cast<int>(design.id);
    HWND control = CreateWindowExW(ex_style, window_class, text.c_str(), style, PxX(design.left), PxY(design.top),
                                   PxX(design.width), height, Control(design.parent),
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(command_id)), module, nullptr);
    if (control == nullptr) ThrowWindowFailed(design.name);
    controls_[static_cast<std::size_t>(design.id)] = control;
    SetWindowPos(control, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);

    if (design.masked) SendMessageW(control, EM_SETPASSWORDCHAR, L'*', 0);
    if (design.ime_disabled) ImmAssociateContext(control, nullptr);
    if (design.refuses_hash) RefuseHash(control);
    if (design.kind == ControlKind::ComboBox) FitComboHeight(control, PxY(design.height));
}

// A combo box's closed height follows the height of its selection field; the
// two differ by the box's borders, which the platform decides. The field's
// height is steered from the value last set, not the one read back: Wine
// reads back two pixels more than it was given.
void Win32DialogView::FitComboHeight(HWND combo, int height_px) {
    LRESULT field = SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    if (field == CB_ERR) return;
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT closed{};
        GetWindowRect(combo, &closed);
        const int off_by = height_px - (closed.bottom - closed.top);
        if (off_by == 0 || field + off_by <= 0) return;
        field += off_by;
        SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

bool Win32DialogView::Effective(ControlId id) const {
    for (ControlId c = id;; c = Design(c).parent) {
        const ControlState& state = form_->State(c);
        if (!state.enabled || !state.visible) return false;
        if (c == ControlId::frmmain) return true;
    }
}

// A disabled frame already blocks its controls; greying them as well shows it.
void Win32DialogView::ApplyEnabledStates() {
    for (const ControlDesign& design : DialogDesign()) {
        if (design.id == ControlId::frmmain) continue;
        HWND control = Control(design.id);
        const bool enabled = Effective(design.id);
        if ((IsWindowEnabled(control) != FALSE) != enabled) EnableWindow(control, enabled);
        const bool visible = form_->State(design.id).visible;
        if ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) != 0 && !visible) ShowWindow(control, SW_HIDE);
        if ((GetWindowLongW(control, GWL_STYLE) & WS_VISIBLE) == 0 && visible) ShowWindow(control, SW_SHOWNA);
    }
}

void Win32DialogView::SetWindowTextQuietly(HWND window, const std::u16string& text) {
    const std::wstring wide = Wide(text);
    if (WindowText(window) == wide) return;
    updating_ = true;
    SetWindowTextW(window, wide.c_str());
    updating_ = false;
}

void Win32DialogView::Refresh(ControlId id) {
    if (!window_) return;
    HWND control = Control(id);
    const ControlState& state = form_->State(id);
    switch (Design(id).kind) {
    case ControlKind::Form:
        SetWindowTextQuietly(control, form_->CaptionState());
        break;
    case ControlKind::CheckBox:
        SetWindowTextQuietly(control, state.text);
        FitCaption(id);
        SendMessageW(control, BM_SETCHECK, state.value == 1 ? BST_CHECKED : BST_UNCHECKED, 0);
        break;
    case ControlKind::ComboBox: {
        updating_ = true;
        SendMessageW(control, CB_RESETCONTENT, 0, 0);
        for (const std::u16string& entry : state.list) {
            const std::wstring wide = Wide(entry);
            SendMessageW(control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
        }
        SendMessageW(control, CB_SETCURSEL, static_cast<WPARAM>(state.list_index), 0);
        updating_ = false;
        break;
    }
    default:
        SetWindowTextQuietly(control, state.text);
        FitCaption(id);
        break;
    }
    ApplyEnabledStates();
}

ControlId Win32DialogView::FocusedControl() const {
    for (HWND at = GetFocus(); at != nullptr && at != window_.get(); at = GetParent(at)) {
        for (std::size_t i = 1; i < kControlCount; ++i) {
            if (controls_[i] == at) return static_cast<ControlId>(i);
        }
    }
    return ControlId::btOK;
}

void Win32DialogView::MoveFocus(ControlId id) {
    HWND control = Control(id);
    SetFocus(control);
    if (Design(id).kind == ControlKind::TextBox) SendMessageW(control, EM_SETSEL, 0, -1);
    if (Design(id).kind == ControlKind::ComboBox) SendMessageW(control, CB_SETEDITSEL, 0, MAKELPARAM(0, -1));
}

void Win32DialogView::ShowModal() {
    if (!window_) return;
    HWND window = window_.get();
    in_modal_ = true;
    {
        ThreadWindowsDisabled others(window);
        ShowWindow(window, SW_SHOWNORMAL);
        UpdateWindow(window);
        SetForegroundWindow(window);
        MoveFocus(ControlId::btOK);
        MSG message{};
        while (form_->loaded()) {
            const BOOL got = GetMessageW(&message, nullptr, 0, 0);
            if (got == -1) break;
            if (got == 0) {  // the host is quitting: the dialog ends as if closed
                PostQuitMessage(static_cast<int>(message.wParam));
                break;
            }
            if (PreTranslate(message)) continue;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        in_modal_ = false;
    }  // the other windows are usable again before this one goes
    window_.reset();
    controls_.fill(nullptr);
}

void Win32DialogView::Destroy() {
    if (!window_) return;
    if (in_modal_) {
        // Inside the modal loop (often inside a control's own handler): hide now,
        // destroy once the loop has ended.
        ShowWindow(window_.get(), SW_HIDE);
        PostMessageW(window_.get(), WM_NULL, 0, 0);
        return;
    }
    window_.reset();
    controls_.fill(nullptr);
}

// The dialog's own keys, before any control sees them.
bool Win32DialogView::PreTranslate(const MSG& message) {
    HWND window = window_.get();
    if (message.hwnd != window && !IsChild(window, message.hwnd)) return false;
    const bool combo_dropped = ComboIsDropped(Control(ControlId::cmbProxyType));
    if (message.message == WM_KEYDOWN) {
        switch (message.wParam) {
        case VK_TAB:
            if (GetKeyState(VK_CONTROL) < 0) return false;
            MoveFocus(form_->NextFocus(FocusedControl(), GetKeyState(VK_SHIFT) >= 0));
            return true;
        case VK_RETURN:  // no default button: Enter presses only a focused OK
            if (combo_dropped) return false;
            if (FocusedControl() == ControlId::btOK) form_->UserPressedOK();
            return true;
        case VK_ESCAPE:  // no cancel button
            return !combo_dropped;
        default:
            return false;
        }
    }
    if (message.message == WM_SYSKEYDOWN && message.wParam == 'O') {  // "&OK"
        form_->UserPressedOK();
        return true;
    }
    return false;
}

LRESULT CALLBACK Win32DialogView::FormProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_NCCREATE) {
        auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
    }
    auto* view = reinterpret_cast<Win32DialogView*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_NCDESTROY) SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    if (view == nullptr || view->window_.get() != window) return DefWindowProcW(window, message, wparam, lparam);
    return view->OnMessage(message, wparam, lparam);
}

LRESULT Win32DialogView::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
    HWND window = window_.get();
    switch (message) {
    case WM_COMMAND:
        OnCommand(LOWORD(wparam), HIWORD(wparam));
        return 0;
    case WM_CLOSE:  // the close box, Alt+F4, the system menu: unload without writing
        form_->UserClosedWindow();
        return 0;
    case WM_HELP:  // F1 anywhere: the system turns it into WM_HELP, which controls pass up to here
        ShowHelpTopic(window, form_->HelpContext());
        return TRUE;
    case WM_ACTIVATE:
        if (LOWORD(wparam) == WA_INACTIVE) {
            focus_on_deactivation_ = GetFocus();
        } else {
            HWND focus = focus_on_deactivation_;
            if (focus == nullptr || !IsChild(window, focus) || !IsWindowEnabled(focus)) focus = Control(ControlId::btOK);
            SetFocus(focus);
        }
        return 0;
    default:
        return DefWindowProcW(window, message, wparam, lparam);
    }
}

void Win32DialogView::OnCommand(int command_id, int code) {
    if (updating_ || command_id < kFirstControlId || command_id >= kFirstControlId + static_cast<int>(kControlCount)) {
        return;  // IDOK and IDCANCEL among them: the dialog has neither button
    }
    const auto id = static_cast<ControlId>(command_id - kFirstControlId);
    HWND control = Control(id);
    switch (Design(id).kind) {
    case ControlKind::TextBox:
        if (code == EN_CHANGE) {
            if (!form_->UserEditedText(id, Text16(WindowText(control)))) {
                SetWindowTextQuietly(control, form_->State(id).text);  // refused: back to what it held
            }
        }
        break;
    case ControlKind::CheckBox:
        if (code == BN_CLICKED) form_->UserClickedCheckBox(id);
        break;
    case ControlKind::ComboBox:
        if (code == CBN_SELCHANGE) {
            form_->UserSelectedListIndex(id, static_cast<int>(SendMessageW(control, CB_GETCURSEL, 0, 0)));
        } else if (code == CBN_EDITCHANGE) {
            form_->UserSelectedListIndex(id, -1);  // typed text selects no entry
        }
        break;
    case ControlKind::CommandButton:
        if (code == BN_CLICKED && id == ControlId::btOK) form_->UserPressedOK();
        break;
    default:
        break;
    }
}

}  // namespace

std::unique_ptr<DialogView> CreateDialogView() { return std::make_unique<Win32DialogView>(); }

}  // namespace orbenix
