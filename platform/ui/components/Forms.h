// Forms, the application object, the screen object, timers, panels and the
// hint window.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/components/Controls.h"

namespace velmo::vcl {

class TMainMenu;
class TMenuItem;

// --- Panels ----------------------------------------------------------------------------
enum TBevelCut { bvNone, bvLowered, bvRaised };
enum TAlignment { taLeftJustify, taRightJustify, taCenter };

class TCustomPanel : public TCustomControl {
public:
    explicit TCustomPanel(TComponent* AOwner);
    const char* ClassName() const override { return "TCustomPanel"; }
    void ListProperties(TPropList& Out) const override;
    TBevelCut BevelOuter() const { return FBevelOuter; }
    void SetBevelOuter(TBevelCut V);
    TAlignment Alignment() const { return FAlignment; }
    void SetAlignment(TAlignment V);
    bool Transparent() const { return FTransparent; }
    void SetTransparent(bool V);
    void AdjustClientRect(RECT& Rect) const override;

protected:
    void Paint() override;
    bool ClicksOnMouseUp() const override { return true; }
    TBevelCut FBevelOuter = bvRaised;
    TAlignment FAlignment = taCenter;
    bool FTransparent = false;
};

class TPanel : public TCustomPanel {
public:
    using TCustomPanel::TCustomPanel;
    const char* ClassName() const override { return "TPanel"; }
};

// --- Forms --------------------------------------------------------------------------------
enum TPosition { poDesigned, poScreenCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };

class TCustomForm : public TWinControl {
public:
    explicit TCustomForm(TComponent* AOwner);
    ~TCustomForm() override;
    const char* ClassName() const override { return "TCustomForm"; }
    void ListProperties(TPropList& Out) const override;

    // Reads the stored form: the table in stored order while loading, then
    // Loaded on the form and every component in creation order, then
    // OnCreate.
    void ReadStoredForm(const std::vector<TStoredComponent>& Table);

    void Show();
    void Close();
    // Destroys the form once the messages now pending have run.
    void Release();
    bool Showing() const override;
    int ClientWidth() const override;
    int ClientHeight() const override;
    void SetClientSize(int W, int H);

    TPosition Position() const { return FPosition; }
    void SetPosition(TPosition V) { FPosition = V; }
    TFormBorderStyle BorderStyle() const { return FBorderStyle; }
    void SetBorderStyle(TFormBorderStyle V);
    bool AutoScroll() const { return FAutoScroll; }
    void SetAutoScroll(bool V) { FAutoScroll = V; }
    TMainMenu* Menu() const { return FMenu; }
    void SetMenu(TMainMenu* V);
    TCanvas& Canvas() { return *FCanvas; }

    TNotifyEvent OnCreate;
    TNotifyEvent OnDestroy;
    TNotifyEvent OnShow;
    TNotifyEvent OnPaint;
    std::function<void(TObject*, TCloseAction&)> OnClose;

    void WndProc(TMessage& Message) override;

protected:
    void CreateParams(TCreateParams& Params) override;
    void InitializeHandle() override;
    void PaintWindow(HDC Dc) override;
    bool PaintsItself() const override { return true; }
    void Notification(TComponent* AComponent, TOperation Operation) override;
    virtual void DoCreate();
    // The owner-drawn menu item a WM_MEASUREITEM or WM_DRAWITEM names.
    TMenuItem* FindOwnerDrawItem(ULONG_PTR Data, UINT Id) const;
    void CreateParamsNoParent(TCreateParams& Params);

    TPosition FPosition = poDesigned;
    TFormBorderStyle FBorderStyle = bsSizeable;
    bool FAutoScroll = true;
    TMainMenu* FMenu = nullptr;
    std::unique_ptr<TCanvas> FCanvas;
    bool FCreated = false;
};

class TForm : public TCustomForm {
public:
    using TCustomForm::TCustomForm;
    const char* ClassName() const override { return "TForm"; }
};

// --- Hint window ------------------------------------------------------------------------------
class THintWindow : public TCustomControl {
public:
    explicit THintWindow(TComponent* AOwner);
    const char* ClassName() const override { return "THintWindow"; }
    // Shows Text in Rect (screen coordinates) without taking activation.
    void ActivateHint(RECT Rect, const std::u16string& Text);
    // The rectangle (at 0, 0) that Text needs, at most MaxWidth wide.
    RECT CalcHintRect(int MaxWidth, const std::u16string& Text);
    void ReleaseHandle() { DestroyHandle(); }

protected:
    void CreateParams(TCreateParams& Params) override;
    void Paint() override;
};

// --- Timer -----------------------------------------------------------------------------------
class TTimer : public TComponent {
public:
    explicit TTimer(TComponent* AOwner);
    ~TTimer() override;
    const char* ClassName() const override { return "TTimer"; }
    void ListProperties(TPropList& Out) const override;
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool V);
    int Interval() const { return FInterval; }
    void SetInterval(int V);
    void SetOnTimer(TNotifyEvent E);
    const TNotifyEvent& OnTimer() const { return FOnTimer; }

private:
    static LRESULT TimerWndProc(HWND, UINT, WPARAM, LPARAM);
    void UpdateTimer();
    bool FEnabled = true;
    int FInterval = 1000;
    TNotifyEvent FOnTimer;
    HWND FWindow = nullptr;
};

// --- Application ------------------------------------------------------------------------------
class TApplication : public TComponent {
public:
    explicit TApplication(TComponent* AOwner);
    ~TApplication() override;
    const char* ClassName() const override { return "TApplication"; }

    void Initialize();
    // The hidden window of the application (class "TApplication"), which
    // answers WM_GETICON with the program's icon.
    HWND Handle();
    template <class T, class... A>
    T* CreateForm(A&&... Args) {
        T* F = new T(this, std::forward<A>(Args)...);
        if (!FMainForm) FMainForm = F;
        return F;
    }
    // Shows the main form and runs the message loop until it ends.
    void Run();
    // Runs every message pending now (clicks that start handlers again
    // included) and returns.
    void ProcessMessages();
    // Handles one message or waits for one; false when the loop must end.
    bool HandleMessage();
    void Terminate();
    bool Terminated() const { return FTerminated; }
    // An error that escaped a handler: EAbort shows nothing; others go to
    // OnException or to a message box with the error's text.
    void HandleException(std::exception_ptr Error);
    void ShowException(const std::string& Message);

    TCustomForm* MainForm() const { return FMainForm; }
    void SetMainForm(TCustomForm* F) { FMainForm = F; }
    std::u16string Title() const { return FTitle; }
    void SetTitle(const std::u16string& V) { FTitle = V; }
    TIcon& Icon() { return FIcon; }

    // Hint timing, in milliseconds.
    int HintPause = 500;
    int HintShortPause = 50;
    int HintHidePause = 2500;
    bool ShowHint = true;
    THintWindow* HintWindow() const { return FHint; }
    // The control the pending or shown hint belongs to.
    TControl* HintControl() const { return FHintControl; }
    void CancelHint();

    std::function<void(TObject*, std::exception_ptr)> OnException;

protected:
    void Notification(TComponent* AComponent, TOperation Operation) override;

private:
    static LRESULT AppWndProc(HWND, UINT, WPARAM, LPARAM);
    void HintMouseMessage(const MSG& Msg);
    void HintTimerExpired(UINT_PTR Id);
    bool ProcessMessage(MSG& Msg);
    HWND FHandle = nullptr;
    TCustomForm* FMainForm = nullptr;
    bool FTerminated = false;
    std::u16string FTitle;
    TIcon FIcon;
    THintWindow* FHint = nullptr;
    TControl* FHintControl = nullptr;
    bool FHintShown = false;
};

// --- Screen ------------------------------------------------------------------------------------
class TScreen : public TComponent {
public:
    explicit TScreen(TComponent* AOwner) : TComponent(AOwner) {}
    const char* ClassName() const override { return "TScreen"; }
    int FormCount() const { return int(FForms.size()); }
    TCustomForm* Forms(int Index) const;
    // The form of the active window, or null.
    TCustomForm* ActiveForm() const;
    int Width() const { return GetSystemMetrics(SM_CXSCREEN); }
    int Height() const { return GetSystemMetrics(SM_CYSCREEN); }
    TCursor Cursor = crDefault;

private:
    friend class TCustomForm;
    std::vector<TCustomForm*> FForms;
};

// The process's application and screen objects (made on first use).
TApplication* Application();
TScreen* Screen();

}  // namespace velmo::vcl
