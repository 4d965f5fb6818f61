// Framebuffers, visible and update regions, window DCs, WM_PAINT and the
// default painting of the frame and background.
#include <algorithm>
#include <unordered_map>

#include "platform/fonts/DCText.h"
#include "platform/ui/Icons.h"
#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

namespace {

// A framebuffer never exceeds this many pixels a side, whatever size its
// window was given; painting beyond it is clipped away.
constexpr int kMaxFrameSide = 4096;

struct TWindowDc {
    HWND Wnd = nullptr;
    HWND Root = nullptr;
};
std::unordered_map<HDC, TWindowDc>& WindowDcs() {
    static auto* M = new std::unordered_map<HDC, TWindowDc>;
    return *M;
}

RECT Offset(RECT R, int Dx, int Dy) { return {R.left + Dx, R.top + Dy, R.right + Dx, R.bottom + Dy}; }

TWindow* RootOf(const TWindow& W) {
    const TWindow* C = &W;
    for (int D = 0; C && C->Parent && D < 1000; ++D) C = Find(C->Parent);
    return const_cast<TWindow*>(C);
}

// Makes the root's framebuffer match its window's size (capped).
void EnsureFrame(TWindow& Root) {
    int Wd = std::clamp(int(Root.Rect.right - Root.Rect.left), 1, kMaxFrameSide);
    int Ht = std::clamp(int(Root.Rect.bottom - Root.Rect.top), 1, kMaxFrameSide);
    if (!Root.Frame) {
        Root.Frame = std::make_unique<TBitmap>(Wd, Ht, pf32bit);
        Root.FrameObject = AttachBitmapObject(*Root.Frame);
        Root.Dirty.Add(TRgn(RECT{0, 0, Wd, Ht}));
    } else if (Root.Frame->Width() != Wd || Root.Frame->Height() != Ht) {
        Root.Frame->SetSize(Wd, Ht);
        Root.Dirty.Add(TRgn(RECT{0, 0, Wd, Ht}));
    }
}

// What a window covers in its root's framebuffer: its rectangle within its
// shape.
TRgn AreaOf(const TWindow& W) {
    RECT R = RootRect(W, false);
    if (!W.Shape) return TRgn(R);
    TRgn S = *W.Shape;
    S.Offset(R.left, R.top);
    S.Intersect(TRgn(R));
    return S;
}

// The visible part of a window in its root's framebuffer.
TRgn VisibleRegion(const TWindow& W, bool Client, bool ClipChildren, bool ClipSiblings) {
    if (!Visible(W)) return TRgn();
    TRgn Vis(RootRect(W, Client));
    const TWindow* C = &W;
    bool First = true;
    for (int D = 0; D < 1000; ++D) {
        Vis.Intersect(AreaOf(*C));
        if (!C->Parent) break;
        TWindow* P = Find(C->Parent);
        if (!P) return TRgn();
        Vis.Intersect(TRgn(RootRect(*P, true)));
        if ((C->Style & WS_CLIPSIBLINGS) || (First && ClipSiblings)) {
            for (HWND S : P->Children) {
                if (S == C->Handle) break;
                TWindow* Sw = Find(S);
                if (Sw && (Sw->Style & WS_VISIBLE)) Vis.Subtract(AreaOf(*Sw));
            }
        }
        First = false;
        C = P;
    }
    Vis.Intersect(TRgn(RECT{0, 0, kMaxFrameSide, kMaxFrameSide}));
    if (ClipChildren || (W.Style & WS_CLIPCHILDREN)) {
        for (HWND K : W.Children) {
            TWindow* Kw = Find(K);
            if (Kw && (Kw->Style & WS_VISIBLE)) Vis.Subtract(AreaOf(*Kw));
        }
    }
    return Vis;
}

HRGN ToGdiRegion(const TRgn& R) {
    HRGN Out = CreateRectRgn(0, 0, 0, 0);
    for (const RECT& B : R.Rects()) {
        HRGN Part = CreateRectRgn(B.left, B.top, B.right, B.bottom);
        CombineRgn(Out, Out, Part, RGN_OR);
        DeleteObject(Part);
    }
    return Out;
}

// Reads a region object (any coordinates) into a TRgn.
TRgn FromGdiRegion(HRGN Region) {
    TRgn Out;
    std::vector<RECT> Rects;
    if (!GetRegionRects(Region, Rects)) return Out;
    for (const RECT& R : Rects) Out.Add(TRgn(R));
    return Out;
}

HDC MakeDc(HWND Wnd, bool Client, DWORD Flags, const TRgn* Limit) {
    TWindow* W = Find(Wnd);
    if (!W) return nullptr;
    TWindow* Root = RootOf(*W);
    if (!Root) return nullptr;
    EnsureFrame(*Root);
    HDC Dc = CreateCompatibleDC(nullptr);
    if (!Dc) return nullptr;
    SelectObject(Dc, Root->FrameObject);
    TRgn Vis = VisibleRegion(*W, Client, (Flags & DCX_CLIPCHILDREN) != 0, (Flags & DCX_CLIPSIBLINGS) != 0);
    if (Limit) Vis.Intersect(*Limit);
    RECT Origin = RootRect(*W, Client);
    HRGN System = ToGdiRegion(Vis);
    SetDeviceOrigin(Dc, Origin.left, Origin.top, System);
    DeleteObject(System);
    WindowDcs()[Dc] = {Wnd, Root->Handle};
    return Dc;
}

// The window's update region within its client area, in root pixels.
TRgn ClientUpdate(const TWindow& W) {
    TRgn U = W.Update;
    RECT Wr = RootRect(W, false);
    U.Offset(Wr.left, Wr.top);
    U.Intersect(TRgn(RootRect(W, true)));
    return U;
}

// Adds Region (window coordinates of W) to the update regions of W and, as
// the flags and styles say, of its children.
void InvalidateTree(TWindow& W, TRgn Region, UINT Flags, int Depth) {
    if (!(W.Style & WS_VISIBLE) || Depth > 100) return;
    RECT Wr = ScreenRect(W);
    RECT Whole{0, 0, Wr.right - Wr.left, Wr.bottom - Wr.top};
    Region.Intersect(TRgn(Whole));
    if (Region.Empty()) return;
    RECT Cr = Offset(W.Client, -W.Rect.left, -W.Rect.top);
    TRgn Own = Region;
    if (!(Flags & RDW_FRAME)) Own.Intersect(TRgn(Cr));
    if (Flags & RDW_VALIDATE) {
        W.Update.Subtract(Own);
        if (Flags & RDW_FRAME) W.NcPaintDue = false;
        if (W.Update.Empty()) W.EraseDue = false;
    } else {
        W.Update.Add(Own);
        if (Flags & RDW_ERASE) W.EraseDue = true;
        if (Flags & RDW_FRAME) {
            TRgn Frame(Whole);
            Frame.Subtract(TRgn(Cr));
            Frame.Intersect(Region);
            if (!Frame.Empty()) W.NcPaintDue = true;
        }
    }
    bool Kids = (Flags & RDW_ALLCHILDREN) || (!(Flags & RDW_NOCHILDREN) && !(W.Style & WS_CLIPCHILDREN));
    if (!Kids) return;
    std::vector<HWND> Children = W.Children;
    for (HWND K : Children) {
        TWindow* Kw = Find(K);
        if (!Kw) continue;
        TRgn Sub = Region;
        RECT Kr = ScreenRect(*Kw);
        Sub.Offset(Wr.left - Kr.left, Wr.top - Kr.top);
        // A child's own frame is repainted when the parent's paint reaches it.
        InvalidateTree(*Kw, Sub, Flags | RDW_FRAME, Depth + 1);
    }
}

void PaintNow(HWND Wnd, bool Children, int Depth) {
    TWindow* W = Find(Wnd);
    if (!W || Depth > 100) return;
    if (Visible(*W) && (!W->Update.Empty() || W->NcPaintDue || W->EraseDue)) {
        Deliver(Wnd, WM_PAINT, 0, 0);
        AfterPaintMessage(Wnd);
    }
    if (!Children || !(W = Find(Wnd))) return;
    std::vector<HWND> Kids = W->Children;
    for (HWND K : Kids) PaintNow(K, true, Depth + 1);
}

HWND FindPaint(const std::vector<HWND>& List, HWND Filter, int Depth) {
    for (HWND H : List) {
        TWindow* W = Find(H);
        if (!W || !(W->Style & WS_VISIBLE) || Depth > 100) continue;
        bool Wanted = !Filter || H == Filter || IsChild(Filter, H);
        if (Wanted && (!W->Update.Empty() || W->NcPaintDue)) return H;
        if (HWND K = FindPaint(W->Children, Filter, Depth + 1)) return K;
    }
    return nullptr;
}

void MarkDirty(const TWindowDc& D) {
    TWindow* Root = Find(D.Root);
    TWindow* W = Find(D.Wnd);
    if (!Root || !W) return;
    Root->Dirty.Add(VisibleRegion(*W, false, false, false));
}

// The window's title in its caption bar, in the caption font, left-aligned
// between the small-icon slot and the caption buttons (whose left edge is
// Right), shortened with an ellipsis when it does not fit.
void PaintCaptionTitle(const TWindow* W, HDC Dc, int Left, int Top, int Right, int Height) {
    if (W->Text.empty() || Right <= Left) return;
    NONCLIENTMETRICSW Metrics;
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof Metrics, &Metrics, 0)) return;
    const bool Tool = W->ExStyle & WS_EX_TOOLWINDOW;
    HFONT Font = CreateFontIndirectW(Tool ? Metrics.lfSmCaptionFont : Metrics.lfCaptionFont);
    if (!Font) return;
    const int Saved = SaveDC(Dc);
    SelectObject(Dc, Font);
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, GetSysColor(W->NcActive ? COLOR_CAPTIONTEXT : COLOR_INACTIVECAPTIONTEXT));
    RECT Title{Left, Top, Right, Top + Height};
    DrawTextW(Dc, W->Text.c_str(), int(W->Text.size()), &Title,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
    RestoreDC(Dc, Saved);
    DeleteObject(Font);
}

// The small icon the caption shows: the window's own (asked for, so a
// procedure may answer), else its class's small one, else the big ones.
HICON CaptionIcon(HWND Wnd) {
    auto Ask = [&](WPARAM Kind) -> HICON {
        return Find(Wnd) ? reinterpret_cast<HICON>(Deliver(Wnd, WM_GETICON, Kind, 0)) : nullptr;
    };
    HICON Icon = Ask(ICON_SMALL);
    TWindow* W = Find(Wnd);
    if (!Icon && W && W->Class) Icon = W->Class->Info.hIconSm;
    if (!Icon) Icon = Ask(ICON_BIG);
    if (!Icon && (W = Find(Wnd)) && W->Class) Icon = W->Class->Info.hIcon;
    return Icon;
}

enum class TGlyph { Close, Maximize, Minimize, Restore, Help };

// One caption button: a raised box (sunken while pressed) with its glyph
// in the button-text colour, or embossed in the highlight and shadow
// colours when greyed. The glyphs follow the box's height, so the small
// buttons of tool windows get smaller ones.
void PaintCaptionButton(HDC Dc, RECT Box, TGlyph Glyph, bool Enabled, bool Pushed) {
    FillRect(Dc, &Box, GetSysColorBrush(COLOR_BTNFACE));
    RECT Edge = Box;
    DrawEdge(Dc, &Edge, Pushed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
    const int G = std::max(3, int(Box.bottom - Box.top) / 2);
    const int Cx = (Box.left + Box.right) / 2 + (Pushed ? 1 : 0);
    const int Cy = (Box.top + Box.bottom) / 2 + (Pushed ? 1 : 0);
    auto Draw = [&](int Dx, int Dy, int Color) {
        HBRUSH Brush = GetSysColorBrush(Color);
        auto Px = [&](int X, int Y, int W, int H) {
            RECT R{X + Dx, Y + Dy, X + Dx + W, Y + Dy + H};
            FillRect(Dc, &R, Brush);
        };
        // A window outline with a thick top edge.
        auto Frame = [&](int X, int Y, int W, int H) {
            Px(X, Y, W, 2);
            Px(X, Y + H - 1, W, 1);
            Px(X, Y, 1, H);
            Px(X + W - 1, Y, 1, H);
        };
        switch (Glyph) {
        case TGlyph::Close: {
            const int X0 = Cx - (G + 1) / 2, Y0 = Cy - G / 2;
            for (int I = 0; I < G; ++I) {
                Px(X0 + I, Y0 + I, 2, 1);
                Px(X0 + G - 1 - I, Y0 + I, 2, 1);
            }
            break;
        }
        case TGlyph::Minimize: Px(Cx - G / 2, Cy + G / 2 - 1, G - 1, 2); break;
        case TGlyph::Maximize: Frame(Cx - (G + 2) / 2, Cy - (G + 1) / 2, G + 2, G + 1); break;
        case TGlyph::Restore: {
            const int S = std::max(4, G - 1), X0 = Cx - (S + 3) / 2, Y0 = Cy - (S + 2) / 2;
            Frame(X0 + 3, Y0, S, S - 1);
            // The front window hides the back one where they overlap.
            if (Color != COLOR_BTNHIGHLIGHT) {
                RECT Inside{X0 + Dx + 1, Y0 + 3 + Dy + 2, X0 + Dx + S - 1, Y0 + 3 + Dy + S - 2};
                FillRect(Dc, &Inside, GetSysColorBrush(COLOR_BTNFACE));
            }
            Frame(X0, Y0 + 3, S, S - 1);
            break;
        }
        case TGlyph::Help: {
            static const char* const Rows[] = {".###.", "##.##", "...##", "..##.", "..##.", ".....", "..##."};
            const int X0 = Cx - 3, Y0 = Cy - 4;
            for (int Y = 0; Y < 7; ++Y)
                for (int X = 0; X < 5; ++X)
                    if (Rows[Y][X] == '#') Px(X0 + X, Y0 + Y, 1, 1);
            break;
        }
        }
    };
    if (Enabled) {
        Draw(0, 0, COLOR_BTNTEXT);
    } else {
        Draw(1, 1, COLOR_BTNHIGHLIGHT);
        Draw(0, 0, COLOR_BTNSHADOW);
    }
}

// The plain frame: border, caption, caption-button boxes, menu strip,
// client edge and scroll-bar areas, from the styles and the metrics table.
void PaintFrameInto(const TWindow* W, HDC Dc) {
    TFrameMetrics F = FrameMetricsOf(W->Style, W->ExStyle, W->Menu != nullptr);
    int Wd = W->Rect.right - W->Rect.left, Ht = W->Rect.bottom - W->Rect.top;
    auto Fill = [&](RECT R, int Color) { FillRect(Dc, &R, GetSysColorBrush(Color)); };
    int B = F.Border;
    if (B > 0) {
        int Color = W->NcActive ? COLOR_ACTIVEBORDER : COLOR_INACTIVEBORDER;
        if (B == 1) Color = COLOR_WINDOWFRAME;
        Fill({0, 0, Wd, B}, Color);
        Fill({0, Ht - B, Wd, Ht}, Color);
        Fill({0, 0, B, Ht}, Color);
        Fill({Wd - B, 0, Wd, Ht}, Color);
    }
    int Row = B;
    if (F.Caption) {
        Fill({B, Row, Wd - B, Row + F.Caption - 1}, W->NcActive ? COLOR_ACTIVECAPTION : COLOR_INACTIVECAPTION);
        Fill({B, Row + F.Caption - 1, Wd - B, Row + F.Caption}, COLOR_BTNFACE);
        int TitleLeft = B + 2, TitleRight = Wd - B - 2;
        if (W->Style & WS_SYSMENU) {
            bool Tool = W->ExStyle & WS_EX_TOOLWINDOW;
            int Bw = GetSystemMetrics(Tool ? SM_CXSMSIZE : SM_CXSIZE) - 2;
            int Bh = GetSystemMetrics(Tool ? SM_CYSMSIZE : SM_CYSIZE) - 4;
            int Top = Row + 2, Right = Wd - B - 2;
            const HWND Wnd = W->Handle;
            const LRESULT Down = PressedCaptionButton(Wnd);
            auto Button = [&](int Left, LRESULT Hit, TGlyph Glyph) {
                PaintCaptionButton(Dc, {Left, Top, Left + Bw, Top + Bh}, Glyph, CaptionButtonEnabled(*W, Hit),
                                   Down == Hit);
            };
            // Same places as the hit test gives them.
            Button(Right - Bw, HTCLOSE, TGlyph::Close);
            Right -= Bw + 2;
            if (!Tool && (W->Style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX))) {
                Button(Right - Bw, HTMAXBUTTON, (W->Style & WS_MAXIMIZE) ? TGlyph::Restore : TGlyph::Maximize);
                Button(Right - 2 * Bw, HTMINBUTTON, (W->Style & WS_MINIMIZE) ? TGlyph::Restore : TGlyph::Minimize);
                Right -= 2 * Bw;
            } else if (!Tool && (W->ExStyle & WS_EX_CONTEXTHELP)) {
                Button(Right - Bw, HTHELP, TGlyph::Help);
                Right -= Bw;
            }
            TitleRight = Right - 2;
            if (!Tool) {
                const int Cx = GetSystemMetrics(SM_CXSMICON), Cy = GetSystemMetrics(SM_CYSMICON);
                // Asking for the icon runs the window's procedure, which
                // may destroy the window.
                if (HICON Icon = CaptionIcon(Wnd)) {
                    if (!Find(Wnd)) return;
                    DrawIconEx(Dc, TitleLeft, Row + std::max(0, (F.Caption - 1 - Cy) / 2), Icon, Cx, Cy, 0, nullptr,
                               DI_NORMAL);
                }
                if (!Find(Wnd)) return;
                TitleLeft += Cx + 2;
            }
        }
        PaintCaptionTitle(W, Dc, TitleLeft, Row, TitleRight, F.Caption - 1);
        Row += F.Caption;
    }
    if (F.Menu) {
        PaintMenuBar(W->Handle, Dc, {B, Row, Wd - B, Row + F.Menu});
        Row += F.Menu;
    }
    int E = F.ClientEdge;
    if (E > 0) {
        Fill({B, Row, Wd - B, Row + 1}, COLOR_BTNSHADOW);
        Fill({B, Row, B + 1, Ht - B}, COLOR_BTNSHADOW);
        Fill({B, Ht - B - 1, Wd - B, Ht - B}, COLOR_BTNHIGHLIGHT);
        Fill({Wd - B - 1, Row, Wd - B, Ht - B}, COLOR_BTNHIGHLIGHT);
        if (E > 1) {
            Fill({B + 1, Row + 1, Wd - B - 1, Row + 2}, COLOR_3DDKSHADOW);
            Fill({B + 1, Row + 1, B + 2, Ht - B - 1}, COLOR_3DDKSHADOW);
            Fill({B + 1, Ht - B - 2, Wd - B - 1, Ht - B - 1}, COLOR_3DLIGHT);
            Fill({Wd - B - 2, Row + 1, Wd - B - 1, Ht - B - 1}, COLOR_3DLIGHT);
        }
    }
    if (F.VScroll || F.HScroll) PaintWindowScrollBars(*W, Dc);
}

void PaintDefaultFrame(HWND Wnd, HRGN Clip) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    HDC Dc = GetDCEx(Wnd, Clip, DCX_WINDOW | DCX_USESTYLE |
                                    (Clip && Clip != reinterpret_cast<HRGN>(uintptr_t(1)) ? DCX_INTERSECTRGN : 0));
    if (!Dc) return;
    PaintFrameInto(W, Dc);
    ReleaseDC(Wnd, Dc);
}

// WM_PRINT: the window as the flags ask, into Dc whose origin is the
// window's top-left corner.
void PrintInto(HWND Wnd, HDC Dc, LPARAM Flags, int Depth) {
    TWindow* W = Find(Wnd);
    if (!W || Depth > 100) return;
    if ((Flags & PRF_CHECKVISIBLE) && !Visible(*W)) return;
    int Saved = SaveDC(Dc);
    POINT Org;
    GetViewportOrgEx(Dc, &Org);
    if (Flags & PRF_NONCLIENT) PaintFrameInto(W, Dc);
    // Painting the frame asks the window for its icon.
    if (!(W = Find(Wnd))) {
        RestoreDC(Dc, Saved);
        return;
    }
    int Cx = W->Client.left - W->Rect.left, Cy = W->Client.top - W->Rect.top;
    SetViewportOrgEx(Dc, Org.x + Cx, Org.y + Cy, nullptr);
    IntersectClipRect(Dc, 0, 0, W->Client.right - W->Client.left, W->Client.bottom - W->Client.top);
    if (Flags & PRF_ERASEBKGND) Deliver(Wnd, WM_ERASEBKGND, WPARAM(Dc), 0);
    if ((Flags & PRF_CLIENT) && Find(Wnd)) Deliver(Wnd, WM_PRINTCLIENT, WPARAM(Dc), Flags);
    if ((Flags & PRF_CHILDREN) && (W = Find(Wnd))) {
        std::vector<HWND> Kids = W->Children;
        // Lowest first, so the upper children end on top.
        for (auto It = Kids.rbegin(); It != Kids.rend(); ++It) {
            TWindow* K = Find(*It);
            if (!K || !(K->Style & WS_VISIBLE)) continue;
            int S = SaveDC(Dc);
            SetViewportOrgEx(Dc, Org.x + Cx + K->Rect.left, Org.y + Cy + K->Rect.top, nullptr);
            PrintInto(*It, Dc, Flags | PRF_NONCLIENT | PRF_CLIENT | PRF_ERASEBKGND, Depth + 1);
            RestoreDC(Dc, S);
        }
    }
    RestoreDC(Dc, Saved);
}

}  // namespace

namespace ui {

bool InShape(const TWindow& W, POINT Screen) {
    if (!W.Shape) return true;
    RECT R = ScreenRect(W);
    return W.Shape->Contains(Screen.x - R.left, Screen.y - R.top);
}

RECT RootRect(const TWindow& W, bool Client) {
    TWindow* Root = RootOf(W);
    RECT Rs = Root ? ScreenRect(*Root) : RECT{};
    RECT R;
    if (Client) {
        POINT O = ClientOrigin(W);
        R = {O.x, O.y, O.x + (W.Client.right - W.Client.left), O.y + (W.Client.bottom - W.Client.top)};
    } else {
        R = ScreenRect(W);
    }
    return Offset(R, -Rs.left, -Rs.top);
}

void InvalidateAfterChange(HWND Wnd, const RECT& OldScreen, bool WasVisible) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    bool NowVisible = W->Style & WS_VISIBLE;
    if (!WasVisible && !NowVisible) return;
    if (!W->Parent) {
        if (NowVisible) {
            EnsureFrame(*W);
            RECT Wr = ScreenRect(*W);
            InvalidateTree(*W, TRgn(RECT{0, 0, Wr.right - Wr.left, Wr.bottom - Wr.top}),
                           RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN, 0);
        }
        return;
    }
    TWindow* P = Find(W->Parent);
    if (!P) return;
    // What the window left and what it now covers, repainted in the parent
    // and every child of it there.
    RECT Pr = ScreenRect(*P);
    TRgn Area;
    if (WasVisible) Area.Add(TRgn(Offset(OldScreen, -Pr.left, -Pr.top)));
    if (NowVisible) Area.Add(TRgn(Offset(ScreenRect(*W), -Pr.left, -Pr.top)));
    InvalidateTree(*P, Area, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN, 0);
    if (!NowVisible) {
        W->Update.Clear();
        W->NcPaintDue = W->EraseDue = false;
    }
}

void ForgetPainting(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (!W) return;
    for (auto It = WindowDcs().begin(); It != WindowDcs().end();) {
        if (It->second.Wnd == Wnd) {
            DeleteDC(It->first);
            It = WindowDcs().erase(It);
        } else {
            ++It;
        }
    }
    if (W->FrameObject) {
        DetachBitmapObject(W->FrameObject);
        W->FrameObject = nullptr;
    }
    W->Frame.reset();
}

HWND WindowToPaint(HWND Filter) { return FindPaint(State().TopLevel, Filter, 0); }

void AfterPaintMessage(HWND Wnd) {
    // A procedure that answered WM_PAINT without painting would get it
    // forever; what it left is taken as painted.
    if (TWindow* W = Find(Wnd)) {
        W->Update.Clear();
        W->NcPaintDue = W->EraseDue = false;
    }
}

void PresentDirty() {
    TState& S = State();
    for (HWND H : S.TopLevel) {
        TWindow* W = Find(H);
        if (!W || !W->Frame || W->Dirty.Empty()) continue;
        std::vector<RECT> Rects = W->Dirty.Rects();
        W->Dirty.Clear();
        if (W->Style & WS_VISIBLE) S.Host->Present(H, *W->Frame, Rects);
    }
}

}  // namespace ui

HDC GetDCEx(HWND Wnd, HRGN Clip, DWORD Flags) {
    TWindow* W = Find(Wnd);
    if (!W) return nullptr;
    std::optional<TRgn> Limit;
    bool Whole = Clip == reinterpret_cast<HRGN>(uintptr_t(1));
    if (Clip && !Whole && (Flags & (DCX_INTERSECTRGN | DCX_EXCLUDERGN))) {
        TRgn R = FromGdiRegion(Clip);
        TWindow* Root = RootOf(*W);
        RECT Rs = Root ? ScreenRect(*Root) : RECT{};
        R.Offset(-Rs.left, -Rs.top);
        if (Flags & DCX_INTERSECTRGN) {
            Limit = R;
        } else {
            TRgn All(RECT{0, 0, kMaxFrameSide, kMaxFrameSide});
            All.Subtract(R);
            Limit = All;
        }
    }
    return MakeDc(Wnd, !(Flags & DCX_WINDOW), Flags, Limit ? &*Limit : nullptr);
}

HDC GetDC(HWND Wnd) { return GetDCEx(Wnd, nullptr, DCX_USESTYLE); }
HDC GetWindowDC(HWND Wnd) { return GetDCEx(Wnd, nullptr, DCX_WINDOW | DCX_USESTYLE); }

int ReleaseDC(HWND, HDC Dc) {
    auto It = WindowDcs().find(Dc);
    if (It == WindowDcs().end()) return 0;
    MarkDirty(It->second);
    DeleteDC(Dc);
    WindowDcs().erase(It);
    return 1;
}

HDC BeginPaint(HWND Wnd, PAINTSTRUCT* Paint) {
    TWindow* W = Find(Wnd);
    if (!W || !Paint) return nullptr;
    if (W->NcPaintDue) {
        W->NcPaintDue = false;
        Deliver(Wnd, WM_NCPAINT, 1, 0);
        if (!(W = Find(Wnd))) return nullptr;
    }
    TRgn Update = ClientUpdate(*W);
    bool Erase = W->EraseDue;
    W->Update.Clear();
    W->EraseDue = false;
    HDC Dc = MakeDc(Wnd, true, 0, &Update);
    if (!Dc) return nullptr;
    RECT Cr = RootRect(*W, true);
    Update.Offset(-Cr.left, -Cr.top);
    Paint->hdc = Dc;
    Paint->rcPaint = Update.Box();
    Paint->fErase = TRUE;
    if (Erase) Paint->fErase = Deliver(Wnd, WM_ERASEBKGND, WPARAM(Dc), 0) ? FALSE : TRUE;
    return Dc;
}

BOOL EndPaint(HWND Wnd, const PAINTSTRUCT* Paint) {
    if (!Paint) return FALSE;
    ReleaseDC(Wnd, Paint->hdc);
    return TRUE;
}

BOOL RedrawWindow(HWND Wnd, const RECT* Update, HRGN Region, UINT Flags) {
    TWindow* W = Find(Wnd);
    if (!W) return FALSE;
    if (Flags & (RDW_INVALIDATE | RDW_VALIDATE)) {
        RECT Cr = Offset(W->Client, -W->Rect.left, -W->Rect.top);
        TRgn Area;
        if (Region) {
            Area = FromGdiRegion(Region);
            Area.Offset(Cr.left, Cr.top);
        } else if (Update) {
            Area = TRgn(Offset(*Update, Cr.left, Cr.top));
        } else {
            RECT Wr = ScreenRect(*W);
            Area = TRgn(RECT{0, 0, Wr.right - Wr.left, Wr.bottom - Wr.top});
            if (!(Flags & RDW_FRAME)) Area.Intersect(TRgn(Cr));
        }
        if (Flags & RDW_NOERASE) Flags &= ~RDW_ERASE;
        InvalidateTree(*W, Area, Flags, 0);
    }
    if (Flags & (RDW_UPDATENOW | RDW_ERASENOW)) PaintNow(Wnd, (Flags & RDW_ALLCHILDREN) != 0, 0);
    return TRUE;
}

BOOL InvalidateRect(HWND Wnd, const RECT* Rect, BOOL Erase) {
    if (!Wnd) {
        for (HWND H : std::vector<HWND>(State().TopLevel))
            RedrawWindow(H, nullptr, nullptr, RDW_INVALIDATE | RDW_FRAME | RDW_ALLCHILDREN | (Erase ? RDW_ERASE : 0));
        return TRUE;
    }
    return RedrawWindow(Wnd, Rect, nullptr, RDW_INVALIDATE | (Erase ? RDW_ERASE : 0));
}

BOOL InvalidateRgn(HWND Wnd, HRGN Region, BOOL Erase) {
    return RedrawWindow(Wnd, nullptr, Region, RDW_INVALIDATE | (Erase ? RDW_ERASE : 0));
}

BOOL ValidateRect(HWND Wnd, const RECT* Rect) {
    return RedrawWindow(Wnd, Rect, nullptr, RDW_VALIDATE | RDW_NOCHILDREN);
}

BOOL GetUpdateRect(HWND Wnd, RECT* Rect, BOOL) {
    TWindow* W = Find(Wnd);
    if (!W) return FALSE;
    TRgn U = ClientUpdate(*W);
    RECT Cr = RootRect(*W, true);
    U.Offset(-Cr.left, -Cr.top);
    if (Rect) *Rect = U.Box();
    return U.Empty() ? FALSE : TRUE;
}

BOOL UpdateWindow(HWND Wnd) {
    if (!Find(Wnd)) return FALSE;
    PaintNow(Wnd, true, 0);
    return TRUE;
}

int SetWindowRgn(HWND Wnd, HRGN Region, BOOL Redraw) {
    TWindow* W = Find(Wnd);
    if (!W) return 0;
    std::optional<TRgn> Shape;
    if (Region) {
        Shape = FromGdiRegion(Region);
        DeleteObject(Region);
    }
    bool Same = (Shape && W->Shape && *Shape == *W->Shape) || (!Shape && !W->Shape);
    if (Same) return 1;
    RECT Old = ScreenRect(*W);
    // What the old shape covered is repainted below, the new one in the window.
    W->Shape.reset();
    if (Redraw) InvalidateAfterChange(Wnd, Old, (W->Style & WS_VISIBLE) != 0);
    W->Shape = Shape;
    if (!W->Parent) State().Host->TopLevelShape(Wnd, Shape ? Shape->Rects() : std::vector<RECT>{});
    if (Redraw) InvalidateAfterChange(Wnd, Old, (W->Style & WS_VISIBLE) != 0);
    return 1;
}

int GetWindowRgn(HWND Wnd, HRGN Region) {
    TWindow* W = Find(Wnd);
    if (!W || !W->Shape || !Region) return ERROR;
    HRGN Copy = ToGdiRegion(*W->Shape);
    int Type = CombineRgn(Region, Copy, nullptr, RGN_COPY);
    DeleteObject(Copy);
    return Type;
}

const TBitmap* GetWindowFramebuffer(HWND Wnd) {
    TWindow* W = Find(Wnd);
    if (!W || W->Parent) return nullptr;
    EnsureFrame(*W);
    return W->Frame.get();
}

namespace ui {

// Default painting messages, answered for DefWindowProcW.
bool DefaultPaint(HWND Wnd, UINT Msg, WPARAM W, LPARAM L, LRESULT& Result) {
    TWindow* Win = Find(Wnd);
    if (!Win) return false;
    switch (Msg) {
    case WM_PAINT: {
        // With a DC in wParam the caller paints into it and nothing is validated.
        if (W) {
            Result = 0;
            return true;
        }
        PAINTSTRUCT Ps;
        BeginPaint(Wnd, &Ps);
        EndPaint(Wnd, &Ps);
        Result = 0;
        return true;
    }
    case WM_ERASEBKGND: {
        HBRUSH Brush = Win->Class->Info.hbrBackground;
        if (!Brush) {
            Result = 0;
            return true;
        }
        // A small value names a system colour plus one.
        if (uintptr_t(Brush) <= uintptr_t(COLOR_MENUBAR + 1)) Brush = GetSysColorBrush(int(uintptr_t(Brush)) - 1);
        RECT R;
        GetClientRect(Wnd, &R);
        FillRect(reinterpret_cast<HDC>(W), &R, Brush);
        Result = 1;
        return true;
    }
    case WM_NCPAINT:
        PaintDefaultFrame(Wnd, reinterpret_cast<HRGN>(W));
        Result = 0;
        return true;
    case WM_PRINT:
        if (W) PrintInto(Wnd, reinterpret_cast<HDC>(W), L, 0);
        Result = 0;
        return true;
    default: (void)L; return false;
    }
}

}  // namespace ui

}  // namespace velmo

// Valid bits kept across a resize (WVR_VALIDRECTS).
namespace velmo::ui {

void CopyValidBits(HWND Wnd, const RECT& OldScreen, RECT Dest, RECT Source, LRESULT Align) {
    TWindow* W = Find(Wnd);
    if (!W || !Visible(*W)) return;
    TWindow* Root = RootOf(*W);
    if (!Root || !Root->Frame) return;
    // Both rectangles come in the parent's client coordinates (the screen's
    // for a top-level window); into framebuffer pixels, the source as the
    // window lay before the change.
    POINT DestShift{}, SourceShift{};
    if (!W->Parent) {
        DestShift = {-W->Rect.left, -W->Rect.top};
        SourceShift = {-OldScreen.left, -OldScreen.top};
    } else {
        TWindow* P = Find(W->Parent);
        if (!P) return;
        const RECT Pc = RootRect(*P, true);
        DestShift = SourceShift = {Pc.left, Pc.top};
    }
    Dest = Offset(Dest, DestShift.x, DestShift.y);
    Source = Offset(Source, SourceShift.x, SourceShift.y);
    const int64_t Wd = std::min<int64_t>(int64_t(Dest.right) - Dest.left, int64_t(Source.right) - Source.left);
    const int64_t Ht = std::min<int64_t>(int64_t(Dest.bottom) - Dest.top, int64_t(Source.bottom) - Source.top);
    if (Wd <= 0 || Ht <= 0) return;
    // The kept block sits at the top left of both rectangles unless the
    // answer aligns it to their right or bottom edges.
    int64_t Sx = Source.left, Sy = Source.top, Dx = Dest.left, Dy = Dest.top;
    if (Align & WVR_ALIGNRIGHT) Sx = Source.right - Wd, Dx = Dest.right - Wd;
    if (Align & WVR_ALIGNBOTTOM) Sy = Source.bottom - Ht, Dy = Dest.bottom - Ht;

    TBitmap& F = *Root->Frame;
    TRgn Kept(RECT{LONG(Dx), LONG(Dy), LONG(Dx + Wd), LONG(Dy + Ht)});
    Kept.Intersect(VisibleRegion(*W, true, false, false));
    // Only source pixels that exist in the framebuffer are carried over.
    TRgn From(RECT{0, 0, F.Width(), F.Height()});
    From.Offset(int(Dx - Sx), int(Dy - Sy));
    Kept.Intersect(From);
    if (Kept.Empty()) return;
    const TBitmap Before = F;
    for (const RECT& B : Kept.Rects())
        for (LONG Y = B.top; Y < B.bottom; ++Y)
            std::copy_n(Before.ScanLine(int(Y - Dy + Sy)) + size_t(B.left - Dx + Sx) * 4, size_t(B.right - B.left) * 4,
                        F.ScanLine(Y) + size_t(B.left) * 4);
    Root->Dirty.Add(Kept);

    // The kept pixels need no repainting by the window, nor by the parent
    // behind it.
    auto Validate = [&](TWindow& Of) {
        TRgn Own = Kept;
        const RECT R = RootRect(Of, false);
        Own.Offset(-R.left, -R.top);
        Of.Update.Subtract(Own);
        if (Of.Update.Empty()) Of.EraseDue = false;
    };
    Validate(*W);
    if (W->Parent)
        if (TWindow* P = Find(W->Parent)) Validate(*P);
}

}  // namespace velmo::ui
