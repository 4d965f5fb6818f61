// Controls: visual components with a chainable message handler
// (WindowProc), windowed controls with a window made on demand, graphic
// controls painted by their parent, and the component messages (CM_*) and
// reflected notifications (CN_*) they exchange.
#pragma once

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/OwnerDraw.h"
#include "platform/ui/Window.h"
#include "platform/ui/components/Classes.h"
#include "platform/ui/components/Graphics.h"

namespace velmo::vcl {

// --- Messages ------------------------------------------------------------------------
struct TMessage {
    UINT Msg = 0;
    WPARAM WParam = 0;
    LPARAM LParam = 0;
    LRESULT Result = 0;
};

constexpr UINT CM_BASE = 0xB000;
constexpr UINT CM_ACTIVATE = CM_BASE + 0x00;
constexpr UINT CM_DEACTIVATE = CM_BASE + 0x01;
constexpr UINT CM_DIALOGKEY = CM_BASE + 0x05;
constexpr UINT CM_DIALOGCHAR = CM_BASE + 0x06;
constexpr UINT CM_FOCUSCHANGED = CM_BASE + 0x07;
constexpr UINT CM_PARENTFONTCHANGED = CM_BASE + 0x08;
constexpr UINT CM_PARENTCOLORCHANGED = CM_BASE + 0x09;
constexpr UINT CM_VISIBLECHANGED = CM_BASE + 0x0B;
constexpr UINT CM_ENABLEDCHANGED = CM_BASE + 0x0C;
constexpr UINT CM_COLORCHANGED = CM_BASE + 0x0D;
constexpr UINT CM_FONTCHANGED = CM_BASE + 0x0E;
constexpr UINT CM_TEXTCHANGED = CM_BASE + 0x12;
constexpr UINT CM_MOUSEENTER = CM_BASE + 0x13;
constexpr UINT CM_MOUSELEAVE = CM_BASE + 0x14;
constexpr UINT CM_MENUCHANGED = CM_BASE + 0x15;
constexpr UINT CM_SHOWINGCHANGED = CM_BASE + 0x19;
constexpr UINT CM_ENTER = CM_BASE + 0x1A;
constexpr UINT CM_EXIT = CM_BASE + 0x1B;
constexpr UINT CM_RELEASE = CM_BASE + 0x21;
constexpr UINT CM_HINTSHOW = CM_BASE + 0x30;
constexpr UINT CM_RECREATEWND = CM_BASE + 0x33;

// A notification a parent received, reflected to the control it concerns.
constexpr UINT CN_BASE = 0xBC00;
constexpr UINT CN_CTLCOLORMSGBOX = CN_BASE + WM_CTLCOLORMSGBOX;
constexpr UINT CN_CTLCOLORBTN = CN_BASE + WM_CTLCOLORBTN;
constexpr UINT CN_CTLCOLOREDIT = CN_BASE + WM_CTLCOLOREDIT;
constexpr UINT CN_CTLCOLORLISTBOX = CN_BASE + WM_CTLCOLORLISTBOX;
constexpr UINT CN_CTLCOLORSTATIC = CN_BASE + WM_CTLCOLORSTATIC;
constexpr UINT CN_DRAWITEM = CN_BASE + WM_DRAWITEM;
constexpr UINT CN_MEASUREITEM = CN_BASE + WM_MEASUREITEM;
constexpr UINT CN_NOTIFY = CN_BASE + WM_NOTIFY;
constexpr UINT CN_COMMAND = CN_BASE + WM_COMMAND;
constexpr UINT CN_HSCROLL = CN_BASE + WM_HSCROLL;
constexpr UINT CN_VSCROLL = CN_BASE + WM_VSCROLL;
// The skinning layer's value in LParam of its own message numbered like
// CN_NOTIFY: such a message carries no notification header.
constexpr LPARAM SkinMessageMark = 0x41A2;

// Notification headers of WM_NOTIFY.
struct NMHDR {
    HWND hwndFrom = nullptr;
    UINT_PTR idFrom = 0;
    UINT code = 0;
};

// --- WindowProc values -------------------------------------------------------------------
// A message handler bound to an object: comparable by value, like the
// method pointer a control's WindowProc holds.
struct TWndMethod {
    void (*Code)(void* Data, TMessage& Message) = nullptr;
    void* Data = nullptr;
    explicit operator bool() const { return Code != nullptr; }
    void operator()(TMessage& M) const {
        if (Code) Code(Data, M);
    }
    friend bool operator==(const TWndMethod&, const TWndMethod&) = default;
};

namespace detail {
template <class T>
struct TMemberOf;
template <class C>
struct TMemberOf<void (C::*)(TMessage&)> {
    using Class = C;
};
template <auto Method>
void MethodThunk(void* Data, TMessage& M) {
    using C = typename TMemberOf<decltype(Method)>::Class;
    (static_cast<C*>(Data)->*Method)(M);
}
}  // namespace detail

// WndMethod<&TMySkinner::NewWndProc>(this)
template <auto Method>
TWndMethod WndMethod(typename detail::TMemberOf<decltype(Method)>::Class* Object) {
    return TWndMethod{&detail::MethodThunk<Method>, Object};
}

// --- Controls --------------------------------------------------------------------------
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };
enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TBiDiMode { bdLeftToRight, bdRightToLeft };
using TShiftState = uint8_t;
constexpr TShiftState ssShift = 1, ssAlt = 2, ssCtrl = 4, ssLeft = 8, ssRight = 16, ssMiddle = 32;
using TCursor = int;
constexpr TCursor crDefault = 0, crHandPoint = -21;

using TMouseEvent = std::function<void(TObject* Sender, TMouseButton, TShiftState, int X, int Y)>;

class TWinControl;

class TControl : public TComponent {
public:
    explicit TControl(TComponent* AOwner);
    ~TControl() override;
    const char* ClassName() const override { return "TControl"; }
    void ListProperties(TPropList& Out) const override;

    // The handler chain every message of this control runs through. A
    // value read here and put back later removes only the handler that was
    // installed over it, so handlers installed by different parties can be
    // taken off in any order; calling a read value goes on to whatever is
    // below it now.
    TWndMethod WindowProc() const;
    void SetWindowProc(const TWndMethod& Method);
    // Sends a message through the chain and answers its result.
    LRESULT Perform(UINT Msg, WPARAM W = 0, LPARAM L = 0);
    // The end of the chain: the control's own handling.
    virtual void WndProc(TMessage& Message);
    // What no handler answered.
    virtual void DefaultHandler(TMessage& Message) { (void)Message; }

    TWinControl* Parent() const { return FParent; }
    virtual void SetParent(TWinControl* Value);

    int Left() const { return FLeft; }
    int Top() const { return FTop; }
    int Width() const { return FWidth; }
    int Height() const { return FHeight; }
    void SetLeft(int V) { SetBounds(V, FTop, FWidth, FHeight); }
    void SetTop(int V) { SetBounds(FLeft, V, FWidth, FHeight); }
    void SetWidth(int V) { SetBounds(FLeft, FTop, V, FHeight); }
    void SetHeight(int V) { SetBounds(FLeft, FTop, FWidth, V); }
    virtual void SetBounds(int L, int T, int W, int H);
    RECT BoundsRect() const { return {FLeft, FTop, FLeft + FWidth, FTop + FHeight}; }
    virtual int ClientWidth() const { return FWidth; }
    virtual int ClientHeight() const { return FHeight; }
    void SetClientWidth(int V);
    void SetClientHeight(int V);
    virtual RECT ClientRect() const { return {0, 0, ClientWidth(), ClientHeight()}; }
    TAlign Align() const { return FAlign; }
    void SetAlign(TAlign V);

    bool Visible() const { return FVisible; }
    void SetVisible(bool V);
    void Show() { SetVisible(true); }
    void Hide() { SetVisible(false); }
    bool Enabled() const { return FEnabled; }
    virtual void SetEnabled(bool V);
    // Visible with every parent up to a shown window.
    virtual bool Showing() const;

    std::u16string Caption() const { return GetText(); }
    void SetCaption(const std::u16string& V) { SetText(V); }
    std::u16string Text() const { return GetText(); }
    void SetTextProp(const std::u16string& V) { SetText(V); }
    virtual std::u16string GetText() const { return FText; }
    virtual void SetText(const std::u16string& V);

    TColor Color() const { return FColor; }
    void SetColor(TColor V);
    bool ParentColor() const { return FParentColor; }
    void SetParentColor(bool V);
    TFont* Font() const { return FFont.get(); }
    void SetFont(TFont* V) {
        if (V) FFont->Assign(*V);
    }
    bool ParentFont() const { return FParentFont; }
    void SetParentFont(bool V);
    TCursor Cursor() const { return FCursor; }
    void SetCursor(TCursor V) { FCursor = V; }
    std::u16string Hint() const { return FHint; }
    void SetHint(const std::u16string& V) { FHint = V; }
    bool ShowHint() const { return FShowHint; }
    void SetShowHint(bool V) { FShowHint = V; }
    TBiDiMode BiDiMode() const { return FBiDiMode; }
    void SetBiDiMode(TBiDiMode V) { FBiDiMode = V; }

    virtual void Invalidate();
    virtual void Update() {}
    void Repaint() {
        Invalidate();
        Update();
    }
    POINT ClientToScreen(POINT P) const;
    POINT ScreenToClient(POINT P) const;
    // Runs the mouse-down handling as a click at (X, Y) would.
    void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);

    TNotifyEvent OnClick;
    TMouseEvent OnMouseDown;
    TMouseEvent OnMouseUp;
    std::function<void(TObject*, TShiftState, int X, int Y)> OnMouseMove;
    TNotifyEvent OnMouseEnter;
    TNotifyEvent OnMouseLeave;

    virtual void Click();

protected:
    // True for controls whose left click (down and up inside) is a Click.
    virtual bool ClicksOnMouseUp() const { return false; }
    virtual void Changed(UINT Msg) { Perform(Msg, 0, 0); }
    void Loaded() override;
    void FontChanged();

    TWinControl* FParent = nullptr;
    int FLeft = 0, FTop = 0, FWidth = 0, FHeight = 0;
    TAlign FAlign = alNone;
    bool FVisible = true;
    bool FEnabled = true;
    std::u16string FText;
    TColor FColor = clWindow;
    bool FParentColor = false;
    std::unique_ptr<TFont> FFont;
    bool FParentFont = true;
    TCursor FCursor = crDefault;
    std::u16string FHint;
    bool FShowHint = false;
    TBiDiMode FBiDiMode = bdLeftToRight;
    bool FMouseInside = false;  // CM_MOUSEENTER given, CM_MOUSELEAVE not yet
    bool FClicked = false;

private:
    struct TProcNode;
    static void ChainThunk(void* Data, TMessage& M);
    static void OwnThunk(void* Data, TMessage& M);
    std::vector<std::unique_ptr<TProcNode>>
        FNodes;  // every link made, alive as long as the control
    TProcNode* FTopLink = nullptr;
    TProcNode* FBase = nullptr;
    friend class TWinControl;
};

// Parameters of a window about to be made.
struct TCreateParams {
    std::u16string Caption;
    DWORD Style = 0;
    DWORD ExStyle = 0;
    int X = 0, Y = 0, Width = 0, Height = 0;
    HWND WndParent = nullptr;
    // The window class: named after the component class, over the
    // procedure of BaseClass when one is named (a standard control).
    std::u16string WinClassName;
    std::u16string BaseClass;
    UINT ClassStyle = CS_DBLCLKS;
};

class TWinControl : public TControl {
public:
    explicit TWinControl(TComponent* AOwner);
    ~TWinControl() override;
    const char* ClassName() const override { return "TWinControl"; }
    void ListProperties(TPropList& Out) const override;

    // The window, made (with its parents') on first use.
    HWND Handle();
    bool HandleAllocated() const { return FHandle != nullptr; }
    void HandleNeeded() { Handle(); }
    // Destroys the window and makes it anew with the current parameters.
    void RecreateWnd();
    void DestroyHandle();
    // A window that is not a control's, to stand in as the parent window.
    HWND ParentWindow() const { return FParentWindow; }
    void SetParentWindow(HWND Wnd);

    void WndProc(TMessage& Message) override;
    void DefaultHandler(TMessage& Message) override;
    // The window's text once the window exists: the user or a program may
    // change it there.
    std::u16string GetText() const override;

    int ControlCount() const { return int(FControls.size()); }
    TControl* Controls(int Index) const;
    void InsertControl(TControl* C);
    void RemoveControl(TControl* C);
    // The topmost visible graphic control at a client point, or null.
    TControl* ControlAtPos(POINT P) const;

    bool TabStop() const { return FTabStop; }
    void SetTabStop(bool V);
    int TabOrder() const;
    void SetTabOrder(int V);
    // The windowed children in tab order.
    std::vector<TWinControl*> TabOrderList() const;
    bool CanFocus() const;
    bool Focused() const;
    virtual void SetFocus();

    int ClientWidth() const override;
    int ClientHeight() const override;
    RECT ClientRect() const override;
    // The area the children are laid out in (the client rectangle less
    // any frame of the control's own).
    virtual void AdjustClientRect(RECT& Rect) const { (void)Rect; }
    void SetBounds(int L, int T, int W, int H) override;
    void Invalidate() override;
    void Update() override;
    bool Showing() const override;
    void Realign();
    // A solid brush of the control's colour (kept by the control).
    HBRUSH BrushHandle();

    std::function<void(TObject*, uint16_t& Key, TShiftState)> OnKeyDown;
    std::function<void(TObject*, char16_t& Key)> OnKeyPress;
    TNotifyEvent OnEnter;
    TNotifyEvent OnExit;

protected:
    virtual void CreateParams(TCreateParams& Params);
    virtual void CreateWnd();
    virtual void CreateHandle();
    // The window exists: give it what the control holds.
    virtual void CreateWindowHandle(const TCreateParams& Params);
    virtual void InitializeHandle() {}
    virtual void DestroyWnd();
    // Painting of a control with graphic children or a painter of its own.
    virtual void PaintWindow(HDC Dc);
    void PaintControls(HDC Dc);
    void PaintHandler(TMessage& Message);
    virtual bool PaintsItself() const { return false; }
    void UpdateShowing();
    void AlignControls();

public:
    void SetParent(TWinControl* Value) override;

protected:
    HWND FHandle = nullptr;
    HWND FParentWindow = nullptr;
    WNDPROC FDefWndProc = nullptr;
    bool FTabStop = false;
    std::vector<TControl*> FControls;     // graphic and windowed children, in z-order
    std::vector<TWinControl*> FTabList;   // windowed children in tab order
    TControl* FMouseControl = nullptr;    // hot child graphic control (or this)
    TControl* FCaptureControl = nullptr;  // graphic control holding the mouse
    bool FTrackingLeave = false;
    bool FRecreating = false;
    HBRUSH FBrushHandle = nullptr;
    TColor FBrushColor = 0;

private:
    friend LRESULT ControlWindowProc(HWND, UINT, WPARAM, LPARAM);
    friend class TControl;
    void MainWndProc(TMessage& Message);
    bool HandleChildMouse(TMessage& Message);
    void TrackHover(TMessage& Message);
    void ReflectNotification(TMessage& Message);
    void ClearChildReferences(TControl* C);
};

class TGraphicControl : public TControl {
public:
    explicit TGraphicControl(TComponent* AOwner);
    ~TGraphicControl() override;
    const char* ClassName() const override { return "TGraphicControl"; }
    void WndProc(TMessage& Message) override;
    TCanvas& Canvas() { return *FCanvas; }

protected:
    virtual void Paint() {}
    std::unique_ptr<TCanvas> FCanvas;
};

class TCustomControl : public TWinControl {
public:
    explicit TCustomControl(TComponent* AOwner);
    ~TCustomControl() override;
    const char* ClassName() const override { return "TCustomControl"; }
    TCanvas& Canvas() { return *FCanvas; }

protected:
    virtual void Paint();
    void PaintWindow(HDC Dc) override;
    bool PaintsItself() const override { return true; }
    std::unique_ptr<TCanvas> FCanvas;
};

// The window procedure of every control window.
LRESULT ControlWindowProc(HWND Wnd, UINT Msg, WPARAM W, LPARAM L);

// The atom under which a control is stored on its window
// ("ControlOfs" with the module instance and thread id in hexadecimal).
ATOM ControlAtom();
std::u16string ControlAtomString();
// The control of a window made by this layer, or null.
TWinControl* FindControl(HWND Wnd);
// The control of any window, or null.
TWinControl* GetControlOfWindow(HWND Wnd);

// The shift state of a mouse message's WParam.
TShiftState MouseShift(WPARAM W);

// An exception escaping a control's message handling ends there and goes to
// this handler (the application's); EAbort is dropped before it.
using TExceptionHandler = void (*)(std::exception_ptr Error);
void SetControlExceptionHandler(TExceptionHandler Handler);
void HandleControlException(std::exception_ptr Error);

// Owner-drawn item records of WM_DRAWITEM and WM_MEASUREITEM.
using TDrawItemStruct = DRAWITEMSTRUCT;
using TMeasureItemStruct = MEASUREITEMSTRUCT;

}  // namespace velmo::vcl
