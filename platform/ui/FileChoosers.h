// Open, save and folder choosers: the desktop's own. The desktop portal's
// file chooser over the session bus when the bus offers it; else zenity or
// kdialog run as a child process; else a dialog of our own made of the
// layer's controls. The calling thread's windows keep being painted and
// served while the chooser is open; the owner is disabled meanwhile.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/Window.h"

namespace velmo {

enum class TFileChooserKind { Open, Save, Folder };

// Which chooser answered.
enum class TFileChooserRoad { None, Portal, Zenity, Kdialog, Own };

struct TFileFilter {
    std::u16string Name;                   // "PDF files (*.pdf)"
    std::vector<std::u16string> Patterns;  // "*.pdf"
};

struct TFileChooserRequest {
    TFileChooserKind Kind = TFileChooserKind::Open;
    HWND Owner = nullptr;
    std::u16string Title;
    std::u16string InitialFolder;
    std::u16string FileName;  // proposed name of a save
    std::vector<TFileFilter> Filters;
    int FilterIndex = 0;      // the filter shown first, from 0
    bool Multiple = false;    // an open may return several files
};

struct TFileChooserResult {
    bool Accepted = false;  // false: cancelled, or no chooser could be shown
    std::vector<std::u16string> Files;  // full names
    int FilterIndex = -1;   // the filter in use at the end, when known
    TFileChooserRoad Road = TFileChooserRoad::None;
};

TFileChooserResult ShowFileChooser(const TFileChooserRequest& Request);

// The one replaceable handler every file chooser goes through (the dialog
// components too), so a test can script the answers: ShowFileChooser calls
// it. Returns the previous one; null puts back the default, which tries the
// roads above in order.
using TFileDialogProc = std::function<TFileChooserResult(const TFileChooserRequest&)>;
TFileDialogProc SetFileDialogProc(TFileDialogProc Proc);
// The roads in order, whatever handler is set.
TFileChooserResult ShowDesktopFileChooser(const TFileChooserRequest& Request);

// The last road alone: our own dialog, made of the layer's "static",
// "listbox", "combobox", "edit" and "button" controls, in a modal loop.
// Enter accepts the typed name (or opens the folder it names), Escape
// cancels. Not accepted when the controls cannot be made.
TFileChooserResult ShowOwnFileChooser(const TFileChooserRequest& Request);

// "Name|*.a;*.b|Name 2|*.*" (the form a dialog component's Filter takes).
// A name without patterns is dropped.
std::vector<TFileFilter> ParseFileFilter(std::u16string_view Filter);

// The local path of a file: URI, percent escapes decoded (UTF-8 bytes);
// empty for another scheme or a malformed escape.
std::u16string FileUriToPath(std::string_view Uri);

}  // namespace velmo
