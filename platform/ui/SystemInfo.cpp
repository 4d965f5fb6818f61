// The fixed answers of the system: version, metrics, colours, parameters.
#include <array>
#include <mutex>

#include "platform/ui/WindowInternal.h"

namespace velmo {

using namespace ui;

DWORD GetVersion() {
    // Windows NT 6.2, build 9200: every version branch of the skinners takes
    // the same road.
    return (DWORD(9200) << 16) | (DWORD(2) << 8) | DWORD(6);
}

int GetSystemMetrics(int Index) {
    IWindowHost& H = *State().Host;
    int Sw = H.ScreenWidth(), Sh = H.ScreenHeight();
    switch (Index) {
    case SM_CXSCREEN:
    case SM_CXFULLSCREEN:
    case SM_CXVIRTUALSCREEN: return Sw;
    case SM_CYSCREEN:
    case SM_CYVIRTUALSCREEN: return Sh;
    case SM_CYFULLSCREEN: return Sh - 19;
    case SM_CXMAXTRACK: return Sw + 12;
    case SM_CYMAXTRACK: return Sh + 12;
    case SM_CXMAXIMIZED: return Sw + 8;
    case SM_CYMAXIMIZED: return Sh + 8;
    default: break;
    }
    // Classic frame values at 96 dots per inch.
    static const std::array<std::pair<int, int>, 52> Table = {{
        {SM_CXVSCROLL, 17},      {SM_CYHSCROLL, 17},      {SM_CYCAPTION, 19},     {SM_CXBORDER, 1},
        {SM_CYBORDER, 1},        {SM_CXDLGFRAME, 3},      {SM_CYDLGFRAME, 3},     {SM_CYVTHUMB, 17},
        {SM_CXHTHUMB, 17},       {SM_CXICON, 32},         {SM_CYICON, 32},        {SM_CXCURSOR, 32},
        {SM_CYCURSOR, 32},       {SM_CYMENU, 19},         {SM_CYKANJIWINDOW, 0},  {SM_MOUSEPRESENT, 1},
        {SM_CYVSCROLL, 17},      {SM_CXHSCROLL, 17},      {SM_DEBUG, 0},          {SM_SWAPBUTTON, 0},
        {SM_CXMIN, 112},         {SM_CYMIN, 27},          {SM_CXSIZE, 18},        {SM_CYSIZE, 18},
        {SM_CXFRAME, 4},         {SM_CYFRAME, 4},         {SM_CXMINTRACK, 112},   {SM_CYMINTRACK, 27},
        {SM_CXDOUBLECLK, 4},     {SM_CYDOUBLECLK, 4},     {SM_CXICONSPACING, 75}, {SM_CYICONSPACING, 75},
        {SM_MENUDROPALIGNMENT, 0}, {SM_CMOUSEBUTTONS, 3}, {SM_CXEDGE, 2},         {SM_CYEDGE, 2},
        {SM_CXMINSPACING, 160},  {SM_CYMINSPACING, 24},   {SM_CXSMICON, 16},      {SM_CYSMICON, 16},
        {SM_CYSMCAPTION, 16},    {SM_CXSMSIZE, 12},       {SM_CYSMSIZE, 15},      {SM_CXMENUSIZE, 18},
        {SM_CYMENUSIZE, 18},     {SM_CXMINIMIZED, 160},   {SM_CYMINIMIZED, 24},   {SM_CXDRAG, 4},
        {SM_CYDRAG, 4},          {SM_CXMENUCHECK, 13},    {SM_CYMENUCHECK, 13},   {SM_MOUSEWHEELPRESENT, 1},
    }};
    for (const auto& [K, V] : Table)
        if (K == Index) return V;
    if (Index == SM_CMONITORS) return 1;
    return 0;
}

namespace {
constexpr COLORREF Rgb(int R, int G, int B) { return COLORREF(R | (G << 8) | (B << 16)); }

// One palette of classic system colours.
constexpr std::array<COLORREF, 31> Palette = {
    Rgb(212, 208, 200),  // COLOR_SCROLLBAR
    Rgb(58, 110, 165),   // COLOR_BACKGROUND
    Rgb(10, 36, 106),    // COLOR_ACTIVECAPTION
    Rgb(128, 128, 128),  // COLOR_INACTIVECAPTION
    Rgb(212, 208, 200),  // COLOR_MENU
    Rgb(255, 255, 255),  // COLOR_WINDOW
    Rgb(0, 0, 0),        // COLOR_WINDOWFRAME
    Rgb(0, 0, 0),        // COLOR_MENUTEXT
    Rgb(0, 0, 0),        // COLOR_WINDOWTEXT
    Rgb(255, 255, 255),  // COLOR_CAPTIONTEXT
    Rgb(212, 208, 200),  // COLOR_ACTIVEBORDER
    Rgb(212, 208, 200),  // COLOR_INACTIVEBORDER
    Rgb(128, 128, 128),  // COLOR_APPWORKSPACE
    Rgb(10, 36, 106),    // COLOR_HIGHLIGHT
    Rgb(255, 255, 255),  // COLOR_HIGHLIGHTTEXT
    Rgb(212, 208, 200),  // COLOR_BTNFACE
    Rgb(128, 128, 128),  // COLOR_BTNSHADOW
    Rgb(128, 128, 128),  // COLOR_GRAYTEXT
    Rgb(0, 0, 0),        // COLOR_BTNTEXT
    Rgb(212, 208, 200),  // COLOR_INACTIVECAPTIONTEXT
    Rgb(255, 255, 255),  // COLOR_BTNHIGHLIGHT
    Rgb(64, 64, 64),     // COLOR_3DDKSHADOW
    Rgb(212, 208, 200),  // COLOR_3DLIGHT
    Rgb(0, 0, 0),        // COLOR_INFOTEXT
    Rgb(255, 255, 225),  // COLOR_INFOBK
    Rgb(181, 181, 181),  // (unused index 25)
    Rgb(0, 0, 128),      // COLOR_HOTLIGHT
    Rgb(166, 202, 240),  // COLOR_GRADIENTACTIVECAPTION
    Rgb(192, 192, 192),  // COLOR_GRADIENTINACTIVECAPTION
    Rgb(10, 36, 106),    // COLOR_MENUHILIGHT
    Rgb(212, 208, 200),  // COLOR_MENUBAR
};
}  // namespace

COLORREF GetSysColor(int Index) {
    if (Index < 0 || size_t(Index) >= Palette.size()) return 0;
    return Palette[size_t(Index)];
}

namespace {
// The painters of the graphics layer draw edges and frames in this palette.
[[maybe_unused]] const bool SysColorsInstalled = (SetGdiSysColorSource(&GetSysColor), true);
}  // namespace

HBRUSH GetSysColorBrush(int Index) {
    if (Index < 0 || size_t(Index) >= Palette.size()) return nullptr;
    static std::array<HBRUSH, Palette.size()> Brushes{};
    static std::once_flag Once;
    std::call_once(Once, [] {
        for (size_t I = 0; I < Palette.size(); ++I) Brushes[I] = CreateSolidBrush(Palette[I]);
    });
    return Brushes[size_t(Index)];
}

BOOL SystemParametersInfoW(UINT Action, UINT, void* Param, UINT) {
    if (!Param) return FALSE;
    if (Action == SPI_GETNONCLIENTMETRICS) {
        auto* M = static_cast<NONCLIENTMETRICSW*>(Param);
        if (M->cbSize != sizeof(NONCLIENTMETRICSW)) return FALSE;
        // Interface fonts name a face that reaches a CJK family.
        LOGFONTW F;
        F.lfHeight = -12;
        F.lfFaceName = u"\u5B8B\u4F53";  // 宋体
        M->iBorderWidth = 1;
        M->iScrollWidth = GetSystemMetrics(SM_CXVSCROLL);
        M->iScrollHeight = GetSystemMetrics(SM_CYHSCROLL);
        M->iCaptionWidth = GetSystemMetrics(SM_CXSIZE);
        M->iCaptionHeight = GetSystemMetrics(SM_CYSIZE);
        M->lfCaptionFont = F;
        M->lfCaptionFont.lfWeight = FW_BOLD;
        M->iSmCaptionWidth = GetSystemMetrics(SM_CXSMSIZE);
        M->iSmCaptionHeight = GetSystemMetrics(SM_CYSMSIZE);
        M->lfSmCaptionFont = F;
        M->iMenuWidth = GetSystemMetrics(SM_CXMENUSIZE);
        M->iMenuHeight = GetSystemMetrics(SM_CYMENUSIZE);
        M->lfMenuFont = F;
        M->lfStatusFont = F;
        M->lfMessageFont = F;
        M->iPaddedBorderWidth = 0;
        return TRUE;
    }
    if (Action == SPI_GETWORKAREA) {
        *static_cast<RECT*>(Param) = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
        return TRUE;
    }
    return FALSE;
}

}  // namespace velmo
