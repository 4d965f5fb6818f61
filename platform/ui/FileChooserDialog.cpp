// The file chooser of our own: a modal dialog box with a folder listing,
// a filter list, a name field and two buttons, spoken to only through the
// controls' standard messages.
#include <algorithm>
#include <set>

#include "platform/files/WideFile.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/FileChoosers.h"

namespace velmo {

namespace {

constexpr int kIdList = 100;
constexpr int kIdName = 101;
constexpr int kIdFilter = 102;
constexpr int kIdFolder = 103;
constexpr size_t kMaxEntries = 20000;

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
    bool Done = false;  // a choice was made
    TFileChooserResult Result;
};

bool IsFolder(const std::u16string& Path) {
    uint32_t A = GetFileAttributesW(Path);
    return A != INVALID_FILE_ATTRIBUTES && (A & FILE_ATTRIBUTE_DIRECTORY);
}

std::u16string Join(const std::u16string& Folder, const std::u16string& Name) {
    if (!Name.empty() && Name[0] == u'/') return GetFullPathNameW(Name);
    return GetFullPathNameW(Folder.empty() || Folder.back() == u'/' ? Folder + Name : Folder + u"/" + Name);
}

// Calls Take with each entry the folder walk finds for the pattern.
template <typename F>
void Walk(const std::u16string& Folder, const std::u16string& Pattern, size_t Limit, F Take) {
    TWin32FindDataW D;
    TFindHandle H = FindFirstFileW(Folder + u"/" + Pattern, D);
    if (H == INVALID_FIND_HANDLE) return;
    size_t Seen = 0;
    do {
        if (!D.cFileName.empty() && D.cFileName[0] != u'.') Take(D);
    } while (++Seen < Limit && FindNextFileW(H, D));
    FindClose(H);
}

void Fill(TChooser& C) {
    C.Entries.clear();
    std::vector<TEntry> Folders, Files;
    std::set<std::u16string> Named;
    bool AllFiles = C.Q.Filters.empty();
    Walk(C.Folder, u"*", kMaxEntries, [&](const TWin32FindDataW& D) {
        if (D.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            Folders.push_back({D.cFileName, true});
        else if (AllFiles && C.Q.Kind != TFileChooserKind::Folder)
            Files.push_back({D.cFileName, false});
    });
    // Files of the chosen filter, each once however many patterns it meets.
    if (!AllFiles && C.Q.Kind != TFileChooserKind::Folder && size_t(C.Filter) < C.Q.Filters.size())
        for (const auto& P : C.Q.Filters[size_t(C.Filter)].Patterns)
            Walk(C.Folder, P, kMaxEntries, [&](const TWin32FindDataW& D) {
                if (!(D.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && Files.size() < kMaxEntries &&
                    Named.insert(D.cFileName).second)
                    Files.push_back({D.cFileName, false});
            });
    auto ByName = [](const TEntry& A, const TEntry& B) { return A.Name < B.Name; };
    std::sort(Folders.begin(), Folders.end(), ByName);
    std::sort(Files.begin(), Files.end(), ByName);
    if (C.Folder != u"/") C.Entries.push_back({u"..", true});
    C.Entries.insert(C.Entries.end(), Folders.begin(), Folders.end());
    C.Entries.insert(C.Entries.end(), Files.begin(), Files.end());
    SendMessageW(C.List, LB_RESETCONTENT, 0, 0);
    for (const TEntry& E : C.Entries) {
        std::u16string Shown = E.Folder ? E.Name + u"/" : E.Name;
        SendMessageW(C.List, LB_ADDSTRING, 0, LPARAM(Shown.c_str()));
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
        int Count = int(SendMessageW(C.List, LB_GETCOUNT, 0, 0));
        for (int I = 0; I < Count && size_t(I) < C.Entries.size(); ++I)
            if (SendMessageW(C.List, LB_GETSEL, I, 0) > 0 && !C.Entries[size_t(I)].Folder)
                Picked.push_back(Join(C.Folder, C.Entries[size_t(I)].Name));
        if (Picked.size() > 1) return Finish(C, std::move(Picked));
    }
    std::u16string Typed = GetWindowTextString(C.Name);
    while (!Typed.empty() && Typed.back() == u' ') Typed.pop_back();
    if (Typed.empty()) {
        int Sel = int(SendMessageW(C.List, LB_GETCURSEL, 0, 0));
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

INT_PTR ChooserProc(HWND Dlg, UINT Msg, WPARAM W, LPARAM L) {
    if (Msg == WM_INITDIALOG) {
        auto* C = reinterpret_cast<TChooser*>(L);
        SetWindowLongPtrW(Dlg, DWLP_USER, L);
        C->Dlg = Dlg;
        C->List = GetDlgItem(Dlg, kIdList);
        C->Name = GetDlgItem(Dlg, kIdName);
        C->Filters = GetDlgItem(Dlg, kIdFilter);
        C->FolderLabel = GetDlgItem(Dlg, kIdFolder);
        if (C->Filters) {
            for (const auto& F : C->Q.Filters) SendMessageW(C->Filters, CB_ADDSTRING, 0, LPARAM(F.Name.c_str()));
            SendMessageW(C->Filters, CB_SETCURSEL, WPARAM(C->Filter), 0);
        }
        std::u16string Start = C->Q.InitialFolder.empty() ? GetFullPathNameW(u".") : GetFullPathNameW(C->Q.InitialFolder);
        Enter(*C, Start.empty() ? std::u16string(u"/") : Start);
        SetFocus(C->Name);
        return FALSE;  // the focus is set
    }
    auto* C = reinterpret_cast<TChooser*>(GetWindowLongPtrW(Dlg, DWLP_USER));
    if (!C || Msg != WM_COMMAND) return FALSE;
    int Id = LOWORD(W), Code = HIWORD(W);
    auto Selected = [&]() -> const TEntry* {
        int Sel = int(SendMessageW(C->List, LB_GETCURSEL, 0, 0));
        return Sel >= 0 && size_t(Sel) < C->Entries.size() ? &C->Entries[size_t(Sel)] : nullptr;
    };
    if (Id == IDOK && Code == BN_CLICKED) {
        Accept(*C);
        if (C->Done) EndDialog(Dlg, IDOK);
    } else if (Id == IDCANCEL && Code == BN_CLICKED) {
        EndDialog(Dlg, IDCANCEL);
    } else if (Id == kIdList && Code == LBN_SELCHANGE) {
        if (const TEntry* E = Selected(); E && !E->Folder) SetWindowTextW(C->Name, E->Name.c_str());
    } else if (Id == kIdList && Code == LBN_DBLCLK) {
        if (const TEntry* E = Selected()) {
            std::u16string Full = Join(C->Folder, E->Name);
            if (E->Folder) {
                Enter(*C, Full);
            } else {
                Finish(*C, {Full});
                EndDialog(Dlg, IDOK);
            }
        }
    } else if (Id == kIdFilter && Code == CBN_SELCHANGE) {
        int Sel = int(SendMessageW(C->Filters, CB_GETCURSEL, 0, 0));
        if (Sel >= 0 && size_t(Sel) < C->Q.Filters.size()) {
            C->Filter = Sel;
            Fill(*C);
        }
    }
    return TRUE;
}

TDialogTemplate Layout(const TChooser& C) {
    const TFileChooserRequest& Q = C.Q;
    TDialogTemplate T;
    T.Title = !Q.Title.empty()                        ? Q.Title
              : Q.Kind == TFileChooserKind::Save   ? u"Save"
              : Q.Kind == TFileChooserKind::Folder ? u"Choose a folder"
                                                   : u"Open";
    T.Width = 460;
    T.Height = 300;
    auto Item = [&](const char16_t* Class, std::u16string Text, int Id, DWORD Style, RECT R) {
        TDialogItem I;
        I.Class = Class;
        I.Text = std::move(Text);
        I.Id = Id;
        I.Style = WS_CHILD | WS_VISIBLE | Style;
        I.Rect = R;
        T.Items.push_back(std::move(I));
    };
    bool Many = Q.Multiple && Q.Kind == TFileChooserKind::Open;
    bool Typed = !Q.Filters.empty() && Q.Kind != TFileChooserKind::Folder;
    // In tab order: the name first, where the focus starts.
    Item(u"static", Q.Kind == TFileChooserKind::Folder ? u"Folder:" : u"Name:", -1, 0, {8, 211, 68, 227});
    Item(u"edit", Q.FileName, kIdName, WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, {72, 208, 452, 230});
    Item(u"static", u"", kIdFolder, SS_LEFT, {8, 8, 452, 24});
    Item(u"listbox", u"", kIdList, WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | (Many ? LBS_EXTENDEDSEL : 0),
         {8, 28, 452, 200});
    if (Typed) {
        Item(u"static", u"Type:", -1, 0, {8, 241, 68, 257});
        Item(u"combobox", u"", kIdFilter, WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, {72, 238, 452, 400});
    }
    const char16_t* Ok = Q.Kind == TFileChooserKind::Save     ? u"Save"
                         : Q.Kind == TFileChooserKind::Folder ? u"Choose"
                                                              : u"Open";
    Item(u"button", Ok, IDOK, WS_TABSTOP | BS_DEFPUSHBUTTON, {284, 268, 364, 292});
    Item(u"button", u"Cancel", IDCANCEL, WS_TABSTOP, {372, 268, 452, 292});
    return T;
}

}  // namespace

TFileChooserResult ShowOwnFileChooser(const TFileChooserRequest& Request) {
    TChooser C;
    C.Q = Request;
    C.Result.Road = TFileChooserRoad::Own;
    C.Filter = (Request.FilterIndex >= 0 && size_t(Request.FilterIndex) < Request.Filters.size()) ? Request.FilterIndex : 0;
    TDialogTemplate T = Layout(C);
    HWND Owner = Request.Owner && IsWindow(Request.Owner) ? Request.Owner : nullptr;
    INT_PTR R = DialogBoxIndirectParamW(nullptr, &T, Owner, ChooserProc, reinterpret_cast<LPARAM>(&C));
    if (R == -1) C.Result.Road = TFileChooserRoad::None;
    if (R != IDOK || !C.Done) {
        C.Result.Accepted = false;
        C.Result.Files.clear();
    }
    return C.Result;
}

}  // namespace velmo
