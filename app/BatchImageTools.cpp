// Page 2 of the main window: conversions, scaling and re-encoding over
// every image of one folder.
//
// Each tool walks the folder's files (never its sub-folders), shows the file
// in hand and ends with the total size of the files it wrote. A file that
// fails is left as it was and not counted: every image is written through a
// temporary file that replaces the target only once it is complete.
#include <cmath>
#include <string>
#include <string_view>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "app/imaging/Imaging.h"
#include "core/StringHelpers.h"
#include "platform/files/WideFile.h"

namespace velmo::app {

namespace {

const std::u16string ImageFilter = u"*.bmp;*.jpg;*.png;*.gif;*.jpeg";
const std::u16string JPEGFilter = u"*.jpg;*.jpeg";
const std::u16string DoneText = u"进度：转换完成！生成文件总大小为：";
const std::u16string WorkingText = u"进度：正在转换";

// The name after the last "/".
std::u16string NameOf(const std::u16string& FileName) {
    const size_t slash = FileName.find_last_of(u'/');
    return slash == std::u16string::npos ? FileName : FileName.substr(slash + 1);
}

// Position of the extension's dot in the name part, or npos.
size_t ExtensionDot(const std::u16string& FileName) {
    const size_t dot = FileName.find_last_of(u'.');
    const size_t slash = FileName.find_last_of(u'/');
    if (dot == std::u16string::npos) return dot;
    if (slash != std::u16string::npos && dot < slash) return std::u16string::npos;
    return dot;
}

// A number typed into an edit: only ASCII text can be one.
std::string NumberText(const std::u16string& Text) {
    std::string s;
    s.reserve(Text.size());
    for (char16_t c : Text) {
        if (c > 0x7F) throw EConvertError("'" + s + "...' is not a valid number");
        s.push_back(char(c));
    }
    return s;
}

}  // namespace

// ---- folder pickers ---------------------------------------------------------

void TForm_main::btn7Click(TObject*) { edt3->SetText(PickFolder()); }
void TForm_main::btn9Click(TObject*) { edt4->SetText(PickFolder()); }
void TForm_main::btn11Click(TObject*) { edt5->SetText(PickFolder()); }

// Clicking into the quality edit to correct it empties it.
void TForm_main::edt7MouseDown(TObject*, vcl::TMouseButton, vcl::TShiftState, int, int) {
    edt7->SetText(u"");
}

// ---- convert to JPEG --------------------------------------------------------

void TForm_main::btn8Click(TObject*) {
    TotalSize = 0;
    ForEachFile(edt3->Text(), ImageFilter,
                [this](const std::u16string& F, bool IsFolder, bool& Stop) {
                    ConvertOneFile(F, IsFolder, Stop);
                });
    lbl11->SetCaption(DoneText + FormatFileSize(TotalSize));
}

void TForm_main::ConvertOneFile(const std::u16string& FileName, bool IsFolder, bool&) {
    if (IsFolder) return;
    lbl11->SetCaption(WorkingText + NameOf(FileName));
    LetMessagesRun();
    const size_t dot = ExtensionDot(FileName);
    const std::u16string stem = dot == std::u16string::npos ? FileName : FileName.substr(0, dot);
    const std::u16string ext = dot == std::u16string::npos ? u"" : FileName.substr(dot);
    // A ".JPG" source is its own target: file names here tell letter case
    // apart, and a copy beside it under ".jpg" would only duplicate it.
    const std::u16string out = LowerAscii(ext) == u".jpg" ? FileName : stem + u".jpg";
    ConvertImageFile(FileName, out);
    TotalSize += FileSizeOf(out);
    // Only a source whose JPEG was written gets here; a ".jpg" source (in
    // any letter case) is never deleted.
    if (chk1->Checked() && LowerAscii(ext) != u".jpg") DeleteFileW(FileName);
}

// ---- scale to a width -------------------------------------------------------

void TForm_main::btn10Click(TObject*) {
    TotalSize = 0;
    ForEachFile(edt4->Text(), ImageFilter,
                [this](const std::u16string& F, bool IsFolder, bool& Stop) {
                    ResizeOneFile(F, IsFolder, Stop);
                });
    lbl13->SetCaption(DoneText + FormatFileSize(TotalSize));
}

void TForm_main::ResizeOneFile(const std::u16string& FileName, bool IsFolder, bool&) {
    if (IsFolder) return;
    lbl13->SetCaption(WorkingText + NameOf(FileName));
    LetMessagesRun();
    // The image is decoded once: its size and its pixels come from the same
    // load (reading the size first and loading again to scale costs a second
    // decode of every file).
    TImagingImage image;
    image.LoadFromFile(FileName);
    const int w = image.Width(), h = image.Height();
    // Read for every file: the edit may change while the walk lets messages
    // run.
    const int32_t W = StrToIntA(NumberText(edt6->Text()));
    // A width below 1, or one whose height rounds to 0, cannot be made; the
    // file stays as it is.
    if (W < 1 || w < 1) throw EImagingError("Invalid image width");
    const int64_t H = RoundHalfUp(h * (double(W) / w));
    if (H < 1 || H > 65535 || W > 65535) throw EImagingError("Invalid image size");
    // Saved in the format it was loaded in, through a temporary file.
    ScaleWICImage(image, W, int(H));
    image.SaveToFile(FileName);
    TotalSize += FileSizeOf(FileName);
}

// ---- re-encode JPEG files ---------------------------------------------------

void TForm_main::btn12Click(TObject*) {
    TotalSize = 0;
    ForEachFile(edt5->Text(), JPEGFilter,
                [this](const std::u16string& F, bool IsFolder, bool& Stop) {
                    RecompressOneFile(F, IsFolder, Stop);
                });
    lbl15->SetCaption(DoneText + FormatFileSize(TotalSize));
}

void TForm_main::RecompressOneFile(const std::u16string& FileName, bool IsFolder, bool&) {
    if (IsFolder) return;
    lbl15->SetCaption(WorkingText + NameOf(FileName));
    LetMessagesRun();
    const double q = std::trunc(StrToFloatA(NumberText(edt7->Text())));
    if (!std::isfinite(q) || std::fabs(q) > 9.0e18) throw EConvertError("Invalid quality");
    // The quality is held in one byte; the encoder keeps it within 1..100.
    const int quality = int(uint64_t(int64_t(q)) & 0xFF);
    RecompressJPEGFile(FileName, quality);
    TotalSize += FileSizeOf(FileName);
}

}  // namespace velmo::app
