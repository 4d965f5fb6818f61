// The file chooser of our own: a folder listing, a filter list, a name
// field and two buttons in a modal window, spoken to only through the
// controls' standard messages.
#include <algorithm>
#include <cctype>

#include "platform/files/WideFile.h"
#include "platform/ui/FileChoosers.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

namespace {

// The controls' messages, styles and notifications used here.
constexpr UINT kLbAddString = 0x0180;
constexpr UINT kLbResetContent = 0x0184;
constexpr UINT kLbGetCurSel = 0x0188;
constexpr UINT kLbGetCount = 0x018B;
constexpr UINT kLbGetSel = 0x0187;
constexpr UINT kCbAddString = 0x0143;
constexpr UINT kCbGetCurSel = 0x0147;
constexpr UINT kCbSetCurSel = 0x014E;
constexpr WORD kLbnSelChange = 1;
constexpr WORD kLbnDblClk = 2;
constexpr WORD kCbnSelChange = 1;
constexpr WORD kBnClicked = 0;
constexpr DWORD kLbsNotify = 0x0001;
constexpr DWORD kLbsExtendedSel = 0x0800;
constexpr DWORD kCbsDropDownList = 0x0003;
constexpr DWORD kEsAutoHScroll = 0x0080;
constexpr DWORD kBsDefPushButton = 0x0001;
constexpr DWORD kDsModalFrame = 0x0080;
constexpr int kIdOk = 1;
constexpr int kIdCancel = 2;
constexpr int kIdList = 100;
constexpr int kIdName = 101;
constexpr int kIdFilter = 102;
constexpr int kIdFolder = 103;
constexpr UINT kVkTab = 0x09;
constexpr size_t kMaxEntries = 20000;
constexpr const char16_t* kClass = u"VelmoFileChooser";

struct TEntry {
    std::u16string Name;
    bool Folder = false;
};

struct TChooser {
    TFileChooserRequest Q;
    std::u16string Folder;
    std::vector<TEntry> Entries;  // in the list's order
    int Filter = 0;
    HWND Dlg = nullptr, List = nullptr, Name = nullptr, Filters = nullptr, FolderLabel = nullptr;
    HWND Ok = nullptr, Cancel = nullptr;
    bool Done = false;
    TFileChooserResult Result;
};

// Glob match with '*' and '?', ASCII case folded (as the platform's
// filters match).
bool Matches(std::u16string_view Name, std::u16string_view Pattern) {
    auto Lower = [](char16_t C) { return C < 128 ? char16_t(std::tolower(int(C))) : C; };
    size_t N = 0, P = 0, StarP = std::u16string_view::npos, StarN = 0;
    while (N < Name.size()) {
        if (P < Pattern.size() && (Pattern[P] == u'?' || Lower(Pattern[P]) == Lower(Name[N]))) {
            ++N, ++P;
        } else if (P < Pattern.size() && Pattern[P] == u'*') {
            StarP = P++;
            StarN = N;
        } else if (StarP != std::u16string_view::npos) {
            P = StarP + 1;
            N = ++StarN;
        } else {
            return false;
        }
    }
    while (P < Pattern.size() && Pattern[P] == u'*') ++P;
    return P == Pattern.size();
}

bool IsFolder(const std::u16string& Path) {
    uint32_t A = GetFileAttributesW(Path);
    return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string Join(const std::u16string& Folder, const std::u16string& Name) {
    if (!Name.empty() && Name[0] == u'/') return GetFullPathNameW(Name);
    return GetFullPathNameW(Folder.empty() || Folder.back() == u'/' ? Folder + Name : Folder + u"/" + Name);
}

void Fill(TChooser& C) {
    C.Entries.clear();
    std::vector<TEntry> Folders, Files;
    TWin32FindDataW D;
    TFindHandle H = FindFirstFileW(C.Folder + u"/*", D);
    if (H != INVALID_FIND_HANDLE) {
        do {
            if (D.cFileName.empty() || D.cFileName[0] == u'.') continue;
            bool Dir = D.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
            if (Dir) {
                Folders.push_back({D.cFileName, true});
            } else if (C.Q.Kind != TFileChooserKind::Folder) {
                bool Shown = C.Q.Filters.empty();
                if (!Shown && size_t(C.Filter) < C.Q.Filters.size())
                    for (const auto& P : C.Q.Filters[size_t(C.Filter)].Patterns) Shown = Shown || Matches(D.cFileName, P);
                if (Shown) Files.push_back({D.cFileName, false});
            }
        } while (Folders.size() + Files.size() < kMaxEntries && FindNextFileW(H, D));
        FindClose(H);
    }
    auto ByName = [](const TEntry& A, const TEntry& B) { return A.Name < B.Name; };
    std::sort(Folders.begin(), Folders.end(), ByName);
    std::sort(Files.begin(), Files.end(), ByName);
    if (C.Folder != u"/") C.Entries.push_back({u"..", true});
    C.Entries.insert(C.Entries.end(), Folders.begin(), Folders.end());
    C.Entries.insert(C.Entries.end(), Files.begin(), Files.end());
    SendMessageW(C.List, kLbResetContent, 0, 0);
    for (const TEntry& E : C.Entries) {
        std::u16string Shown = E.Folder ? E.Name + u"/" : E.Name;
        SendMessageW(C.List, kLbAddString, 0, LPARAM(Shown.c_str()));
    }
    SetWindowTextW(C.FolderLabel, C.Folder.c_str());
}

void Enter(TChooser& C, const std::u16string& Folder) {
    C.Folder = Folder;
    while (C.Folder.size() > 1 && C.Folder.back() == u'/') C.Folder.pop_back();
    Fill(C);
}

void Finish(TChooser& C, std::vector<std::u16string> Files) {
    C.Done = true;
    C.Result.Accepted = !Files.empty();
    C.Result.Files = std::move(Files);
    if (!C.Q.Filters.empty()) C.Result.FilterIndex = C.Filter;
}

// OK or Enter: the selected files of a multiple choice, a folder to go
// into, or the typed name.
void Accept(TChooser& C) {
    if (C.Q.Multiple && C.Q.Kind == TFileChooserKind::Open) {
        std::vector<std::u16string> Picked;
        int Count = int(SendMessageW(C.List, kLbGetCount, 0, 0));
        for (int I = 0; I < Count && size_t(I) < C.Entries.size(); ++I)
            if (SendMessageW(C.List, kLbGetSel, I, 0) > 0 && !C.Entries[size_t(I)].Folder)
                Picked.push_back(Join(C.Folder, C.Entries[size_t(I)].Name));
        if (Picked.size() > 1) return Finish(C, std::move(Picked));
    }
    std::u16string Typed = GetWindowTextString(C.Name);
    while (!Typed.empty() && Typed.back() == u' ') Typed.pop_back();
    if (Typed.empty()) {
        int Sel = int(SendMessageW(C.List, kLbGetCurSel, 0, 0));
        if (Sel >= 0 && size_t(Sel) < C.Entries.size() && C.Entries[size_t(Sel)].Folder) {
            Enter(C, Join(C.Folder, C.Entries[size_t(Sel)].Name));
            return;
        }
        if (C.Q.Kind == TFileChooserKind::Folder) Finish(C, {C.Folder});
        return;
    }
    std::u16string Full = Join(C.Folder, Typed);
    if (IsFolder(Full) && C.Q.Kind != TFileChooserKind::Folder) {
        SetWindowTextW(C.Name, u"");
        Enter(C, Full);
        return;
    }
    Finish(C, {Full});
}

void Cancel(TChooser& C) {
    C.Done = true;
    C.Result.Accepted = false;
    C.Result.Files.clear();
}

LRESULT ChooserProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L) {
    auto* C = reinterpret_cast<TChooser*>(GetWindowLongPtrW(Wnd, GWL_USERDATA));
    if (!C) return DefWindowProcW(Wnd, Msg, W, L);
    switch (Msg) {
    case WM_COMMAND: {
        int Id = LOWORD(W), Code = HIWORD(W);
        if (Id == kIdOk && Code == kBnClicked) Accept(*C);
        if (Id == kIdCancel && Code == kBnClicked) Cancel(*C);
        if (Id == kIdList && Code == kLbnSelChange) {
            int Sel = int(SendMessageW(C->List, kLbGetCurSel, 0, 0));
            if (Sel >= 0 && size_t(Sel) < C->Entries.size() && !C->Entries[size_t(Sel)].Folder)
                SetWindowTextW(C->Name, C->Entries[size_t(Sel)].Name.c_str());
        }
        if (Id == kIdList && Code == kLbnDblClk) {
            int Sel = int(SendMessageW(C->List, kLbGetCurSel, 0, 0));
            if (Sel >= 0 && size_t(Sel) < C->Entries.size()) {
                if (C->Entries[size_t(Sel)].Folder)
                    Enter(*C, Join(C->Folder, C->Entries[size_t(Sel)].Name));
                else
                    Finish(*C, {Join(C->Folder, C->Entries[size_t(Sel)].Name)});
            }
        }
        if (Id == kIdFilter && Code == kCbnSelChange) {
            int Sel = int(SendMessageW(C->Filters, kCbGetCurSel, 0, 0));
            if (Sel >= 0 && size_t(Sel) < C->Q.Filters.size()) {
                C->Filter = Sel;
                Fill(*C);
            }
        }
        return 0;
    }
    case WM_CLOSE: Cancel(*C); return 0;
    default: return DefWindowProcW(Wnd, Msg, W, L);
    }
}

HWND Control(const char16_t* Class, const char16_t* Text, DWORD Style, int X, int Y, int Cx, int Cy, HWND Parent,
             int Id) {
    return CreateWindowExW(0, Class, Text, WS_CHILD | WS_VISIBLE | Style, X, Y, Cx, Cy, Parent,
                           reinterpret_cast<HMENU>(intptr_t(Id)), nullptr, nullptr);
}

bool Build(TChooser& C) {
    static bool Registered = false;
    if (!Registered) {
        WNDCLASSEXW K;
        K.lpfnWndProc = ChooserProc;
        K.lpszClassName = kClass;
        K.hbrBackground = reinterpret_cast<HBRUSH>(uintptr_t(COLOR_BTNFACE + 1));
        Registered = RegisterClassExW(&K) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }
    const int Wd = 460, Ht = 340;
    RECT Around{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (C.Q.Owner && IsWindow(C.Q.Owner)) GetWindowRect(C.Q.Owner, &Around);
    int X = std::max(0, (Around.left + Around.right - Wd) / 2), Y = std::max(0, (Around.top + Around.bottom - Ht) / 2);
    std::u16string Title = C.Q.Title;
    if (Title.empty())
        Title = C.Q.Kind == TFileChooserKind::Save ? u"Save" : C.Q.Kind == TFileChooserKind::Folder ? u"Choose a folder" : u"Open";
    C.Dlg = CreateWindowExW(WS_EX_DLGMODALFRAME, kClass, Title.c_str(), WS_POPUP | WS_CAPTION | WS_SYSMENU | kDsModalFrame,
                            X, Y, Wd, Ht, C.Q.Owner, nullptr, nullptr, nullptr);
    if (!C.Dlg) return false;
    SetWindowLongPtrW(C.Dlg, GWL_USERDATA, reinterpret_cast<LONG_PTR>(&C));
    RECT Cl;
    GetClientRect(C.Dlg, &Cl);
    int Cw = Cl.right, M = 8;
    C.FolderLabel = Control(u"static", u"", 0, M, M, Cw - 2 * M, 16, C.Dlg, kIdFolder);
    DWORD ListStyle = WS_BORDER | WS_VSCROLL | WS_TABSTOP | kLbsNotify;
    if (C.Q.Multiple && C.Q.Kind == TFileChooserKind::Open) ListStyle |= kLbsExtendedSel;
    C.List = Control(u"listbox", nullptr, ListStyle, M, M + 20, Cw - 2 * M, Cl.bottom - 110, C.Dlg, kIdList);
    int Row = Cl.bottom - 82;
    Control(u"static", C.Q.Kind == TFileChooserKind::Folder ? u"Folder:" : u"Name:", 0, M, Row + 3, 60, 16, C.Dlg, 0);
    C.Name = Control(u"edit", C.Q.FileName.c_str(), WS_BORDER | WS_TABSTOP | kEsAutoHScroll, M + 64, Row, Cw - 2 * M - 64,
                     22, C.Dlg, kIdName);
    Row += 28;
    if (!C.Q.Filters.empty() && C.Q.Kind != TFileChooserKind::Folder) {
        Control(u"static", u"Type:", 0, M, Row + 3, 60, 16, C.Dlg, 0);
        C.Filters = Control(u"combobox", nullptr, WS_TABSTOP | WS_VSCROLL | kCbsDropDownList, M + 64, Row,
                            Cw - 2 * M - 64, 200, C.Dlg, kIdFilter);
        if (C.Filters) {
            for (const auto& F : C.Q.Filters) SendMessageW(C.Filters, kCbAddString, 0, LPARAM(F.Name.c_str()));
            SendMessageW(C.Filters, kCbSetCurSel, WPARAM(C.Filter), 0);
        }
    }
    Row += 28;
    const char16_t* OkText = C.Q.Kind == TFileChooserKind::Save ? u"Save" : C.Q.Kind == TFileChooserKind::Folder ? u"Choose" : u"Open";
    C.Ok = Control(u"button", OkText, WS_TABSTOP | kBsDefPushButton, Cw - 2 * (80 + M), Row, 80, 24, C.Dlg, kIdOk);
    C.Cancel = Control(u"button", u"Cancel", WS_TABSTOP, Cw - (80 + M), Row, 80, 24, C.Dlg, kIdCancel);
    return C.FolderLabel && C.List && C.Name && C.Ok && C.Cancel;
}

// Tab moves the focus through the controls that take it.
void NextFocus(TChooser& C, bool Back) {
    std::vector<HWND> Order{C.Name, C.List};
    if (C.Filters) Order.push_back(C.Filters);
    Order.push_back(C.Ok);
    Order.push_back(C.Cancel);
    HWND F = GetFocus();
    size_t At = 0;
    for (size_t I = 0; I < Order.size(); ++I)
        if (Order[I] == F || IsChild(Order[I], F)) At = I;
    size_t Next = Back ? (At + Order.size() - 1) % Order.size() : (At + 1) % Order.size();
    SetFocus(Order[Next]);
}

}  // namespace

TFileChooserResult ShowOwnFileChooser(const TFileChooserRequest& Request) {
    TChooser C;
    C.Q = Request;
    C.Result.Road = TFileChooserRoad::Own;
    C.Filter = (Request.FilterIndex >= 0 && size_t(Request.FilterIndex) < Request.Filters.size()) ? Request.FilterIndex : 0;
    if (!Build(C)) {
        if (C.Dlg) DestroyWindow(C.Dlg);
        C.Result.Road = TFileChooserRoad::None;
        return C.Result;
    }
    std::u16string Start = Request.InitialFolder.empty() ? GetFullPathNameW(u".") : GetFullPathNameW(Request.InitialFolder);
    Enter(C, Start.empty() ? std::u16string(u"/") : Start);
    HWND Owner = Request.Owner && IsWindow(Request.Owner) ? Request.Owner : nullptr;
    bool OwnerWasEnabled = Owner && IsWindowEnabled(Owner);
    if (OwnerWasEnabled) EnableWindow(Owner, FALSE);
    ShowWindow(C.Dlg, SW_SHOW);
    SetFocus(C.Name);
    HWND Dlg = C.Dlg;
    RunNestedLoop(MSGF_DIALOGBOX, [&](MSG& M) {
        if (C.Done || !IsWindow(Dlg)) return false;
        bool Ours = M.hwnd == Dlg || IsChild(Dlg, M.hwnd);
        if (Ours && M.message == WM_KEYDOWN) {
            if (M.wParam == VK_ESCAPE) {
                Cancel(C);
                return false;
            }
            if (M.wParam == VK_RETURN) {
                if (GetFocus() == C.Cancel) Cancel(C);
                else Accept(C);
                return !C.Done;
            }
            if (M.wParam == kVkTab) {
                NextFocus(C, false);
                return true;
            }
        }
        TranslateMessage(&M);
        DispatchMessageW(&M);
        return !C.Done && IsWindow(Dlg);
    });
    if (OwnerWasEnabled && IsWindow(Owner)) EnableWindow(Owner, TRUE);
    if (IsWindow(Dlg)) {
        SetWindowLongPtrW(Dlg, GWL_USERDATA, 0);
        DestroyWindow(Dlg);
    }
    if (!C.Done) Cancel(C);
    return C.Result;
}

}  // namespace velmo
