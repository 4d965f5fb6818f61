// The application's small helpers shared by the main window and its tools:
// text splitting, cutting and replacing, rounding half up, file sizes and
// their display, the folder walker, the folder picker, folder creation and
// opening a document or web address with its associated program.
//
// Paths use "/" as separator. Case-insensitive comparisons fold ASCII
// letters only, so results are the same on every machine.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui/components/Classes.h"

namespace velmo {

// The silent abort: the button action that meets it ends at once without a
// message, keeping what it had already done. It is the component layer's
// own, so the application object recognises it.
using vcl::EAbort;

// An input/output error with its code (3: path not found).
class EInOutError : public std::runtime_error {
public:
    EInOutError(int code, const std::string& message)
        : std::runtime_error(message), ErrorCode(code) {}
    int ErrorCode;
};

using Fqenfenjiestr = std::vector<std::u16string>;

// Full name of a found file, the is-a-folder flag (always false from the
// walker) and the stop flag, which ends the walk after the current file.
using TFoundFileProc =
    std::function<void(const std::u16string& FileName, bool IsFolder, bool& Stop)>;

// ---- text ----

// Cuts the text between the first StartMark and the next EndMark. Without
// StartMark: Between is empty and Rest is S. Without EndMark after it:
// Between is empty and Rest is the text after StartMark from the position
// of EndMark's length on (all of it for a one-character mark).
void TextBetween(std::u16string_view S, std::u16string_view StartMark, std::u16string_view EndMark,
                 std::u16string& Between, std::u16string& Rest);
// Replaces the first (or every) occurrence of OldPattern, left to right,
// never re-scanning inserted text. An empty OldPattern changes nothing.
std::u16string StrReplace(std::u16string_view S, std::u16string_view OldPattern,
                          std::u16string_view NewPattern, bool ReplaceAll, bool IgnoreCase);
// 1 plus the number of Ch in S.
int FieldCount(std::u16string_view S, char16_t Ch);
// The pieces between separators, empty pieces kept; empty S gives none.
Fqenfenjiestr SplitByChar(std::u16string_view S, char16_t Ch);
// FileName unchanged when Ext occurs anywhere in it (ignoring case), else
// FileName + Ext.
std::u16string AppendExtIfMissing(std::u16string_view FileName, std::u16string_view Ext);
// ASCII lower-case form.
std::u16string LowerAscii(std::u16string_view S);

// ---- numbers ----

// The integer part of X plus 1 when its fractional part is 0.5 or more
// (-2.5 gives -2). NaN gives 0; values beyond the 64-bit range saturate.
int64_t RoundHalfUp(double X);

// ---- files ----

// Size of the first file matching FileName (wildcards '*' and '?' allowed
// in the last part); 0 when nothing matches or for a folder.
uint64_t FileSizeOf(const std::u16string& FileName);
// "0 B" .. "1024 B", "1.00 KB" .. "1024.00 KB", then MB, then GB, with a
// point as decimal separator.
std::u16string FormatFileSize(uint64_t Size);
// Creates Path and every missing parent. Empty Path raises EInOutError(3,
// "Unable to create directory"). "/" and an existing folder count as done;
// false when a folder cannot be made.
bool MakeFolder(const std::u16string& Path);
// Hands every file of Folder (not its sub-folders) whose extension occurs
// in Filter (or every file when Filter holds "*.*") to Proc, sorted by name
// (ordinal, ASCII case folded), and returns how many were handed over
// without error. Errors raised by Proc are swallowed; that file is not
// counted.
int ForEachFile(const std::u16string& Folder, const std::u16string& Filter,
                const TFoundFileProc& Proc);

// ---- dialog and shell ----

// The folder dialog: the chosen folder, or nothing when cancelled. The
// window layer installs it; without one every pick counts as cancelled.
using TFolderPicker = std::function<std::optional<std::u16string>()>;
// Installs Picker and returns the one it replaces.
TFolderPicker SetFolderPicker(TFolderPicker Picker);
// The chosen folder's full path; a cancel raises EAbort.
std::u16string PickFolder();

// Starts a program (Argv[0] looked up on PATH) in WorkDir without waiting
// for it; true when it was started.
using TShellLauncher =
    std::function<bool(const std::vector<std::string>& Argv, const std::string& WorkDir)>;
// Installs Launcher (null: the default, posix_spawn) and returns the one it
// replaces.
TShellLauncher SetShellLauncher(TShellLauncher Launcher);
// Opens FileName (a document or a web address) with its associated program
// through xdg-open, with the folder of FileName as working folder. xdg-open
// takes no arguments for the program it starts, so Parameters and ShowCmd
// have no effect. True when xdg-open was started.
bool OpenWithShell(const std::u16string& FileName, const std::u16string& Parameters = u"",
                   int ShowCmd = 1);

}  // namespace velmo
