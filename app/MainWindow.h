// The conversion tool's one window: a strip of three buttons over a page
// control whose hidden-tab pages hold the welcome text and the three tools
// (PDF to page images, batch image edits, JPEG files to one PDF).
//
// The form is built from its stored table (MainWindow.cpp); the handlers of
// each tool live in a file of their own (PdfToImagesTool.cpp,
// BatchImageTools.cpp, ImagesToPdfTool.cpp). Every handler runs on the
// user-interface thread; before long steps it lets pending messages run, so
// a progress line repaints and a click may start another action nested in
// the running one.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/ui/components/StdCtrls.h"

namespace velmo::app {

using vcl::TObject;
using vcl::TComponent;

// OnDragFile of the drop panel: the panel and the names of the last drop,
// whole and in the order the desktop gave them.
using TDragFileEvent =
    std::function<void(TObject* Sender, const std::vector<std::u16string>& FileList)>;

// A panel that takes files dropped from the desktop.
class TAIFileDropPan : public vcl::TPanel {
public:
    // AOwner must be a windowed control; it becomes the panel's parent too.
    explicit TAIFileDropPan(TComponent* AOwner);
    ~TAIFileDropPan() override;
    const char* ClassName() const override { return "TAIFileDropPan"; }
    void ListProperties(vcl::TPropList& Out) const override;

    bool AcceptFile() const { return FAcceptFile; }
    // Registers (True) or unregisters the panel's window as a drop target.
    void SetAcceptFile(bool Value);
    const std::vector<std::u16string>& FileList() const { return FFileList; }
    TDragFileEvent OnDragFile;

    void WndProc(vcl::TMessage& Message) override;

protected:
    void InitializeHandle() override;

private:
    void WithDropFIles(vcl::TMessage& Message);
    bool FAcceptFile = false;
    std::vector<std::u16string> FFileList;
};

class TForm_main : public vcl::TForm {
public:
    explicit TForm_main(TComponent* AOwner);
    ~TForm_main() override;
    const char* ClassName() const override { return "TForm_main"; }

    // ---- controls, by parent ----
    // Top strip.
    vcl::TPanel* pnl1 = nullptr;
    vcl::TButton *btn1 = nullptr, *btn2 = nullptr, *btn3 = nullptr;
    vcl::TLabel* lbl21 = nullptr;
    // Pages.
    vcl::TPageControl* pgc1 = nullptr;
    vcl::TTabSheet *ts1 = nullptr, *ts2 = nullptr, *ts3 = nullptr, *ts4 = nullptr;
    // Page 0: welcome.
    vcl::TLabel *lbl1 = nullptr, *lbl2 = nullptr, *lbl3 = nullptr, *lbl4 = nullptr,
               *lbl5 = nullptr;
    // Page 1: PDF to images, on the drop panel.
    TAIFileDropPan* dp1 = nullptr;
    vcl::TLabel *lbl6 = nullptr, *lbl7 = nullptr, *lbl8 = nullptr, *lbl9 = nullptr;
    vcl::TEdit *edt1 = nullptr, *edt2 = nullptr;
    vcl::TButton *btn4 = nullptr, *btn5 = nullptr, *btn6 = nullptr;
    vcl::TComboBox* cbb1 = nullptr;
    // Page 2: batch image edits.
    vcl::TGroupBox *grp1 = nullptr, *grp2 = nullptr, *grp3 = nullptr;
    vcl::TLabel *lbl10 = nullptr, *lbl11 = nullptr, *lbl12 = nullptr, *lbl13 = nullptr,
               *lbl14 = nullptr, *lbl15 = nullptr, *lbl16 = nullptr, *lbl17 = nullptr,
               *lbl18 = nullptr;
    vcl::TEdit *edt3 = nullptr, *edt4 = nullptr, *edt5 = nullptr, *edt6 = nullptr,
              *edt7 = nullptr;
    vcl::TButton *btn7 = nullptr, *btn8 = nullptr, *btn9 = nullptr, *btn10 = nullptr,
                *btn11 = nullptr, *btn12 = nullptr;
    vcl::TCheckBox* chk1 = nullptr;
    // Page 3: images to PDF.
    vcl::TListBox* lst1 = nullptr;
    vcl::TButton *btn13 = nullptr, *btn14 = nullptr, *btn15 = nullptr, *btn16 = nullptr,
                *btn17 = nullptr;
    vcl::TLabel *lbl19 = nullptr, *lbl20 = nullptr;
    vcl::TEdit* edt8 = nullptr;
    // Without a window.
    vcl::TOpenDialog* OpenDialog1 = nullptr;
    vcl::TSaveDialog* SaveDialog1 = nullptr;

    // Bytes handled by the running folder action (64-bit: totals over 4 GiB
    // are shown as they are).
    uint64_t TotalSize = 0;

    // ---- handlers ----
    void FormCreate(TObject* Sender);
    void btn1Click(TObject* Sender);
    void btn2Click(TObject* Sender);
    void btn3Click(TObject* Sender);
    void lbl21Click(TObject* Sender);
    void lbl21MouseEnter(TObject* Sender);
    void lbl21MouseLeave(TObject* Sender);
    void lbl4Click(TObject* Sender);
    void lbl5Click(TObject* Sender);
    // PDF to images (PdfToImagesTool.cpp).
    void btn4Click(TObject* Sender);
    void btn5Click(TObject* Sender);
    void btn6Click(TObject* Sender);
    void dp1DragFile(TObject* Sender, const std::vector<std::u16string>& FileList);
    // Batch image edits (BatchImageTools.cpp).
    void btn7Click(TObject* Sender);
    void btn8Click(TObject* Sender);
    void btn9Click(TObject* Sender);
    void btn10Click(TObject* Sender);
    void btn11Click(TObject* Sender);
    void btn12Click(TObject* Sender);
    void edt7MouseDown(TObject* Sender, vcl::TMouseButton Button, vcl::TShiftState Shift, int X,
                       int Y);
    // Images to PDF (ImagesToPdfTool.cpp).
    void btn13Click(TObject* Sender);
    void btn14Click(TObject* Sender);
    void btn15Click(TObject* Sender);
    void btn16Click(TObject* Sender);
    void btn17Click(TObject* Sender);

private:
    // Lets the messages pending now run (progress lines repaint).
    void LetMessagesRun();
    // Per-file steps of the folder walks.
    void AddImageToList(const std::u16string& FileName, bool IsFolder, bool& Stop);
    void ConvertOneFile(const std::u16string& FileName, bool IsFolder, bool& Stop);
    void ResizeOneFile(const std::u16string& FileName, bool IsFolder, bool& Stop);
    void RecompressOneFile(const std::u16string& FileName, bool IsFolder, bool& Stop);
};

// The project's page that the credit lines open: the README shipped next
// to the program (or in the source tree when run from the build tree).
std::u16string ProjectPageAddress();

// The program's icon (32 x 32, drawn in code); the caller owns it.
HICON MakeProgramIcon();

}  // namespace velmo::app
