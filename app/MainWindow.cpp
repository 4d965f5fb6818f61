// The main window's stored form, its page switching, the welcome page and
// credit line, and the drop panel.
#include "app/MainWindow.h"

#include <unistd.h>

#include <filesystem>
#include <string_view>

#include "app/Utilities.h"
#include "core/Unicode.h"

namespace velmo::app {

using namespace velmo::vcl;

// ---- the drop panel ---------------------------------------------------------

TAIFileDropPan::TAIFileDropPan(TComponent* AOwner) : TPanel(AOwner) {
    if (auto* P = dynamic_cast<TWinControl*>(AOwner)) SetParent(P);
    SetAcceptFile(true);
}

TAIFileDropPan::~TAIFileDropPan() {
    if (Parent() && FAcceptFile) SetAcceptFile(false);
}

void TAIFileDropPan::ListProperties(TPropList& Out) const {
    static const std::vector<TPropInfo> Props = {
        BoolProp<TAIFileDropPan>("AcceptFile", &TAIFileDropPan::AcceptFile,
                                 &TAIFileDropPan::SetAcceptFile),
    };
    TPanel::ListProperties(Out);
    for (const auto& P : Props) Out.push_back(&P);
}

void TAIFileDropPan::SetAcceptFile(bool Value) {
    FAcceptFile = Value;
    // The window is registered as soon as it exists; a panel without a
    // parent has none yet and is registered when it is made.
    if (HandleAllocated() || Parent()) DragAcceptFiles(Handle(), Value ? TRUE : FALSE);
}

void TAIFileDropPan::InitializeHandle() {
    TPanel::InitializeHandle();
    if (FAcceptFile) DragAcceptFiles(Handle(), TRUE);
}

void TAIFileDropPan::WndProc(TMessage& Message) {
    if (Message.Msg == WM_DROPFILES) {
        WithDropFIles(Message);
        return;
    }
    TPanel::WndProc(Message);
}

void TAIFileDropPan::WithDropFIles(TMessage& Message) {
    auto Drop = reinterpret_cast<HDROP>(Message.WParam);
    const UINT Count = DragQueryFileW(Drop, 0xFFFFFFFFu, nullptr, 0);
    FFileList.clear();
    for (UINT I = 0; I < Count; ++I) {
        // Ask for each name's length first: names are taken whole.
        const UINT Length = DragQueryFileW(Drop, I, nullptr, 0);
        std::u16string Name(Length + 1, u'\0');
        const UINT Got = DragQueryFileW(Drop, I, reinterpret_cast<LPWSTR>(Name.data()),
                                        UINT(Name.size()));
        Name.resize(std::min<size_t>(Got, Length));
        FFileList.push_back(std::move(Name));
    }
    DragFinish(Drop);
    Message.Result = 0;
    if (OnDragFile) OnDragFile(this, FFileList);
}

// ---- the stored form --------------------------------------------------------

namespace {

using TProps = std::vector<std::pair<std::string, std::u16string>>;

// One entry of the table: creates a T, stores it in the form's field and
// runs Extra (fonts, items, tab settings) while the component is loading.
template <class T>
TStoredComponent Entry(T* TForm_main::*Field, std::u16string Name, std::u16string Parent,
                       TProps Props, std::function<void(T&)> Extra = {}) {
    TStoredComponent E;
    E.Create = [](TComponent* Root) -> TComponent* { return new T(Root); };
    E.Name = std::move(Name);
    E.Parent = std::move(Parent);
    E.Properties = std::move(Props);
    E.Assign = [Field, Extra](TComponent* C) {
        auto& Form = static_cast<TForm_main&>(*C->Owner());
        T* Typed = static_cast<T*>(C);
        Form.*Field = Typed;
        if (Extra) Extra(*Typed);
    };
    return E;
}

std::u16string Num(int V) { return UTF8ToWide(std::to_string(V)); }

// Left, top, width and height as stored.
TProps Bounds(int L, int T, int W, int H, TProps More = {}) {
    TProps P = {{"Left", Num(L)}, {"Top", Num(T)}, {"Width", Num(W)}, {"Height", Num(H)}};
    P.insert(P.end(), More.begin(), More.end());
    return P;
}
// A label sized by its text: left and top only.
TProps At(int L, int T, TProps More = {}) {
    TProps P = {{"Left", Num(L)}, {"Top", Num(T)}};
    P.insert(P.end(), More.begin(), More.end());
    return P;
}

// 宋体 bold of the given character height and colour.
std::function<void(TLabel&)> BoldSong(int Height, TColor Color) {
    return [Height, Color](TLabel& L) {
        L.Font()->SetName(u"宋体");
        L.Font()->SetHeight(-Height);
        L.Font()->SetColor(Color);
        L.Font()->SetStyle(fsBold);
    };
}

std::function<void(TLabel&)> HandLink() {
    return [](TLabel& L) {
        BoldSong(21, clGreen)(L);
        L.SetCursor(crHandPoint);
    };
}

std::function<void(TTabSheet&)> HiddenTab(TPageControl* TForm_main::*Pages) {
    return [Pages](TTabSheet& S) {
        auto& Form = static_cast<TForm_main&>(*S.Owner());
        S.SetPageControl(Form.*Pages);
        S.SetTabVisible(false);
    };
}

// The three group boxes of the batch page share one layout.
void FolderRow(std::vector<TStoredComponent>& T, std::u16string_view Group,
               TLabel* TForm_main::*Label, std::u16string LabelName, TEdit* TForm_main::*Edit,
               std::u16string EditName, TButton* TForm_main::*Pick, std::u16string PickName) {
    const std::u16string G(Group);
    T.push_back(Entry(Label, LabelName, G, At(20, 28, {{"Caption", u"文件夹"}})));
    T.push_back(Entry(Edit, EditName, G, Bounds(76, 24, 397, 24)));
    T.push_back(Entry(Pick, PickName, G, Bounds(504, 20, 85, 33, {{"Caption", u"指定位置"}})));
}

std::vector<TStoredComponent> FormTable() {
    std::vector<TStoredComponent> T;
    TStoredComponent Root;
    Root.Name = u"Form_main";
    Root.Properties = {{"Caption", u"OrvekanPDF图片转换工具"},
                       {"ClientWidth", u"713"},
                       {"ClientHeight", u"474"},
                       {"Color", Num(int(clBtnFace))},
                       {"Font.Name", u"宋体"},
                       {"Font.Height", u"-16"},
                       {"Position", u"poScreenCenter"}};
    T.push_back(std::move(Root));

    // Top strip.
    T.push_back(Entry(&TForm_main::pnl1, u"pnl1", u"Form_main",
                      {{"Align", u"alTop"}, {"Height", u"69"}, {"Caption", u""}}));
    T.push_back(Entry(&TForm_main::btn1, u"btn1", u"pnl1",
                      Bounds(20, 8, 117, 49, {{"Caption", u"PDF转图片"}})));
    T.push_back(Entry(&TForm_main::btn2, u"btn2", u"pnl1",
                      Bounds(166, 8, 117, 49, {{"Caption", u"批量修改图片"}})));
    T.push_back(Entry(&TForm_main::btn3, u"btn3", u"pnl1",
                      Bounds(312, 8, 117, 49, {{"Caption", u"图片转PDF"}})));
    T.push_back(Entry<TLabel>(&TForm_main::lbl21, u"lbl21", u"pnl1",
                              Bounds(456, 24, 255, 16,
                                     {{"AutoSize", u"False"},
                                      {"Caption", u"开源项目·点此阅读使用说明"}}),
                              [](TLabel& L) {
                                  BoldSong(16, clNavy)(L);
                                  L.SetCursor(crHandPoint);
                              }));

    // The page control and its four pages, tabs hidden. The stored form
    // names the last page active; the window shows the welcome page at
    // creation.
    T.push_back(Entry(&TForm_main::pgc1, u"pgc1", u"Form_main", {{"Align", u"alClient"}}));
    T.push_back(Entry(&TForm_main::ts1, u"ts1", u"pgc1", {}, HiddenTab(&TForm_main::pgc1)));
    T.push_back(Entry(&TForm_main::ts2, u"ts2", u"pgc1", {}, HiddenTab(&TForm_main::pgc1)));
    T.push_back(Entry(&TForm_main::ts3, u"ts3", u"pgc1", {}, HiddenTab(&TForm_main::pgc1)));
    T.push_back(Entry<TTabSheet>(&TForm_main::ts4, u"ts4", u"pgc1", {}, [](TTabSheet& S) {
        HiddenTab(&TForm_main::pgc1)(S);
        S.PageControl()->SetActivePage(&S);
    }));

    // Page 0: welcome.
    T.push_back(Entry<TLabel>(&TForm_main::lbl1, u"lbl1", u"ts1",
                              Bounds(162, 28, 348, 39,
                                     {{"AutoSize", u"False"},
                                      {"Caption", u"OrvekanPDF图片转换工具"}}),
                              [](TLabel& L) {
                                  L.Font()->SetName(u"微软雅黑");
                                  L.Font()->SetHeight(-29);
                                  L.Font()->SetStyle(fsBold);
                                  L.Font()->SetColor(clOlive);
                                  L.Font()->SetCharset(GB2312_CHARSET);
                              }));
    T.push_back(Entry<TLabel>(&TForm_main::lbl2, u"lbl2", u"ts1",
                              At(48, 120, {{"Caption", u"本工具是一个开源项目，免费使用。"}}),
                              HandLink()));
    T.push_back(Entry<TLabel>(&TForm_main::lbl3, u"lbl3", u"ts1",
                              At(48, 166, {{"Caption", u"PDF转图片、批量修改图片、图片转PDF。"}}),
                              HandLink()));
    T.push_back(Entry<TLabel>(&TForm_main::lbl4, u"lbl4", u"ts1",
                              At(48, 213, {{"Caption", u"点击这里阅读项目的使用说明。"}}),
                              HandLink()));
    T.push_back(Entry<TLabel>(&TForm_main::lbl5, u"lbl5", u"ts1",
                              At(48, 260, {{"Caption", u"问题与建议请见使用说明中的反馈方式。"}}),
                              HandLink()));

    // Page 1: PDF to images, every control on the drop panel.
    T.push_back(Entry<TAIFileDropPan>(&TForm_main::dp1, u"dp1", u"ts2",
                                      {{"Align", u"alClient"},
                                       {"BevelOuter", u"bvNone"},
                                       {"Caption", u""},
                                       {"AcceptFile", u"True"}}));
    T.push_back(Entry(&TForm_main::lbl6, u"lbl6", u"dp1", At(72, 50, {{"Caption", u"PDF文件"}})));
    T.push_back(Entry(&TForm_main::edt1, u"edt1", u"dp1", Bounds(134, 46, 377, 24)));
    T.push_back(Entry(&TForm_main::btn4, u"btn4", u"dp1",
                      Bounds(520, 40, 81, 37, {{"Caption", u"选择文件"}})));
    T.push_back(Entry(&TForm_main::lbl7, u"lbl7", u"dp1", At(203, 117, {{"Caption", u"转换格式"}})));
    T.push_back(Entry<TComboBox>(&TForm_main::cbb1, u"cbb1", u"dp1", Bounds(280, 113, 161, 24),
                                 [](TComboBox& C) {
                                     for (const char16_t* S : {u"BMP", u"JPG", u"WMF", u"EMF",
                                                               u"EPS", u"PNG", u"GIF", u"TIFF",
                                                               u"EMF", u"HTML"})
                                         C.AddItem(S);
                                     C.SetItemIndex(1);
                                 }));
    T.push_back(Entry(&TForm_main::lbl9, u"lbl9", u"dp1", At(68, 174, {{"Caption", u"保存到"}})));
    T.push_back(Entry(&TForm_main::edt2, u"edt2", u"dp1", Bounds(130, 170, 377, 24)));
    T.push_back(Entry(&TForm_main::btn6, u"btn6", u"dp1",
                      Bounds(516, 164, 81, 37, {{"Caption", u"选择路径"}})));
    T.push_back(Entry(&TForm_main::btn5, u"btn5", u"dp1",
                      Bounds(272, 228, 121, 45, {{"Caption", u"开始转换"}})));
    T.push_back(Entry<TLabel>(&TForm_main::lbl8, u"lbl8", u"dp1",
                              At(164, 296, {{"Caption", u"进度："}}), BoldSong(19, clNavy)));

    // Page 2: batch image edits.
    T.push_back(Entry(&TForm_main::grp1, u"grp1", u"ts3",
                      Bounds(8, 8, 649, 125, {{"Caption", u"图片转成JPG格式"}})));
    FolderRow(T, u"grp1", &TForm_main::lbl10, u"lbl10", &TForm_main::edt3, u"edt3",
              &TForm_main::btn7, u"btn7");
    T.push_back(Entry(&TForm_main::chk1, u"chk1", u"grp1",
                      Bounds(16, 62, 165, 29, {{"Caption", u"转换后删除原文件"}})));
    T.push_back(Entry(&TForm_main::btn8, u"btn8", u"grp1",
                      Bounds(264, 54, 113, 41, {{"Caption", u"开始转换"}})));
    T.push_back(Entry<TLabel>(&TForm_main::lbl11, u"lbl11", u"grp1",
                              At(90, 97, {{"Caption", u"进度："}}), BoldSong(16, clGreen)));

    T.push_back(Entry(&TForm_main::grp2, u"grp2", u"ts3",
                      Bounds(8, 139, 649, 126, {{"Caption", u"修改图片尺寸"}})));
    FolderRow(T, u"grp2", &TForm_main::lbl12, u"lbl12", &TForm_main::edt4, u"edt4",
              &TForm_main::btn9, u"btn9");
    T.push_back(Entry(&TForm_main::lbl16, u"lbl16", u"grp2", At(44, 66, {{"Caption", u"统一宽度"}})));
    T.push_back(Entry(&TForm_main::edt6, u"edt6", u"grp2", Bounds(114, 62, 77, 24)));
    T.push_back(Entry(&TForm_main::btn10, u"btn10", u"grp2",
                      Bounds(264, 54, 113, 41, {{"Caption", u"开始转换"}})));
    T.push_back(Entry<TLabel>(&TForm_main::lbl13, u"lbl13", u"grp2",
                              At(90, 94, {{"Caption", u"进度："}}), BoldSong(16, clGreen)));

    T.push_back(Entry(&TForm_main::grp3, u"grp3", u"ts3",
                      Bounds(8, 266, 649, 126, {{"Caption", u"修改JPG图片质量"}})));
    FolderRow(T, u"grp3", &TForm_main::lbl14, u"lbl14", &TForm_main::edt5, u"edt5",
              &TForm_main::btn11, u"btn11");
    T.push_back(Entry(&TForm_main::lbl17, u"lbl17", u"grp3", At(44, 66, {{"Caption", u"图片质量"}})));
    T.push_back(Entry(&TForm_main::edt7, u"edt7", u"grp3",
                      Bounds(114, 62, 77, 24, {{"Text", u"100"}})));
    T.push_back(Entry(&TForm_main::lbl18, u"lbl18", u"grp3", At(196, 64, {{"Caption", u"%"}})));
    T.push_back(Entry(&TForm_main::btn12, u"btn12", u"grp3",
                      Bounds(264, 54, 113, 41, {{"Caption", u"开始转换"}})));
    T.push_back(Entry<TLabel>(&TForm_main::lbl15, u"lbl15", u"grp3",
                              At(90, 94, {{"Caption", u"进度："}}), BoldSong(16, clGreen)));

    // Page 3: images to PDF.
    T.push_back(Entry(&TForm_main::lst1, u"lst1", u"ts4", {{"Align", u"alTop"}, {"Height", u"197"}}));
    T.push_back(Entry(&TForm_main::btn13, u"btn13", u"ts4",
                      Bounds(154, 203, 125, 49, {{"Caption", u"选择图片"}})));
    T.push_back(Entry(&TForm_main::btn14, u"btn14", u"ts4",
                      Bounds(318, 203, 77, 49, {{"Caption", u"上移"}})));
    T.push_back(Entry(&TForm_main::btn15, u"btn15", u"ts4",
                      Bounds(434, 203, 77, 49, {{"Caption", u"下移"}})));
    T.push_back(Entry(&TForm_main::lbl20, u"lbl20", u"ts4", At(16, 274, {{"Caption", u"保存PDF文件名"}})));
    T.push_back(Entry(&TForm_main::edt8, u"edt8", u"ts4", Bounds(128, 270, 409, 24)));
    T.push_back(Entry(&TForm_main::btn16, u"btn16", u"ts4",
                      Bounds(544, 264, 89, 37, {{"Caption", u"设定文件"}})));
    T.push_back(Entry(&TForm_main::btn17, u"btn17", u"ts4",
                      Bounds(248, 300, 121, 41, {{"Caption", u"生成PDF"}})));
    T.push_back(Entry<TLabel>(&TForm_main::lbl19, u"lbl19", u"ts4",
                              At(36, 352, {{"Caption", u"进度："}}), BoldSong(16, clGreen)));

    // Components without a window.
    T.push_back(Entry(&TForm_main::OpenDialog1, u"OpenDialog1", {}, {}));
    T.push_back(Entry<TSaveDialog>(&TForm_main::SaveDialog1, u"SaveDialog1", {},
                                   {{"Filter", u"*.pdf|*.pdf"}}));
    return T;
}

}  // namespace

TForm_main::TForm_main(TComponent* AOwner) : TForm(AOwner) {
    OnCreate = [this](TObject* S) { FormCreate(S); };
    ReadStoredForm(FormTable());

    btn1->OnClick = [this](TObject* S) { btn1Click(S); };
    btn2->OnClick = [this](TObject* S) { btn2Click(S); };
    btn3->OnClick = [this](TObject* S) { btn3Click(S); };
    lbl21->OnClick = [this](TObject* S) { lbl21Click(S); };
    lbl21->OnMouseEnter = [this](TObject* S) { lbl21MouseEnter(S); };
    lbl21->OnMouseLeave = [this](TObject* S) { lbl21MouseLeave(S); };
    for (TLabel* L : {lbl2, lbl3, lbl4}) L->OnClick = [this](TObject* S) { lbl4Click(S); };
    lbl5->OnClick = [this](TObject* S) { lbl5Click(S); };

    btn4->OnClick = [this](TObject* S) { btn4Click(S); };
    btn5->OnClick = [this](TObject* S) { btn5Click(S); };
    btn6->OnClick = [this](TObject* S) { btn6Click(S); };
    dp1->OnDragFile = [this](TObject* S, const std::vector<std::u16string>& L) {
        dp1DragFile(S, L);
    };

    btn7->OnClick = [this](TObject* S) { btn7Click(S); };
    btn8->OnClick = [this](TObject* S) { btn8Click(S); };
    btn9->OnClick = [this](TObject* S) { btn9Click(S); };
    btn10->OnClick = [this](TObject* S) { btn10Click(S); };
    btn11->OnClick = [this](TObject* S) { btn11Click(S); };
    btn12->OnClick = [this](TObject* S) { btn12Click(S); };
    edt7->OnMouseDown = [this](TObject* S, TMouseButton B, TShiftState Sh, int X, int Y) {
        edt7MouseDown(S, B, Sh, X, Y);
    };

    btn13->OnClick = [this](TObject* S) { btn13Click(S); };
    btn14->OnClick = [this](TObject* S) { btn14Click(S); };
    btn15->OnClick = [this](TObject* S) { btn15Click(S); };
    btn16->OnClick = [this](TObject* S) { btn16Click(S); };
    btn17->OnClick = [this](TObject* S) { btn17Click(S); };
}

TForm_main::~TForm_main() = default;

void TForm_main::LetMessagesRun() { Application()->ProcessMessages(); }

// ---- page switching, welcome page and credit --------------------------------

void TForm_main::FormCreate(TObject*) { pgc1->SetActivePageIndex(0); }
void TForm_main::btn1Click(TObject*) { pgc1->SetActivePageIndex(1); }
void TForm_main::btn2Click(TObject*) { pgc1->SetActivePageIndex(2); }
void TForm_main::btn3Click(TObject*) { pgc1->SetActivePageIndex(3); }

void TForm_main::lbl21Click(TObject*) { OpenWithShell(ProjectPageAddress(), u"", 1); }
void TForm_main::lbl21MouseEnter(TObject*) { lbl21->Font()->SetColor(clYellow); }
void TForm_main::lbl21MouseLeave(TObject*) { lbl21->Font()->SetColor(clGreen); }
void TForm_main::lbl4Click(TObject*) { OpenWithShell(ProjectPageAddress(), u"", 1); }
void TForm_main::lbl5Click(TObject*) { OpenWithShell(ProjectPageAddress(), u"", 1); }

std::u16string ProjectPageAddress() {
    namespace fs = std::filesystem;
    std::error_code Ec;
    const fs::path Exe = fs::read_symlink("/proc/self/exe", Ec);
    if (!Ec) {
        // Installed: <prefix>/bin/velmo-convert with the README in
        // <prefix>/share/doc/velmo-convert; in the build tree the source
        // tree's README is found by walking up.
        const fs::path Doc = Exe.parent_path().parent_path() / "share/doc/velmo-convert/README.md";
        if (fs::exists(Doc, Ec)) return UTF8ToWide(Doc.string());
        for (fs::path P = Exe.parent_path(); !P.empty() && P != P.root_path();
             P = P.parent_path()) {
            if (fs::exists(P / "README.md", Ec) && fs::exists(P / "app/MainWindow.h", Ec))
                return UTF8ToWide((P / "README.md").string());
        }
    }
#ifdef VPL_SOURCE_DIR
    return UTF8ToWide(std::string(VPL_SOURCE_DIR) + "/README.md");
#else
    return u"README.md";
#endif
}

}  // namespace velmo::app
