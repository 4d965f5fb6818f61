// The main window's controls as the window must place them, typed here
// apart from the form's own table so that a slip in either shows up.
#pragma once

#include <string>
#include <vector>

namespace velmo::app::layout {

struct TPlacedControl {
    const char16_t* Name;
    const char16_t* Parent;
    int Page;  // the page that shows it; -1 for the top strip
    int Left, Top;
    int Width, Height;  // -1: sized by its text
};

inline const std::vector<TPlacedControl>& Controls() {
    static const std::vector<TPlacedControl> Table = {
        {u"btn1", u"pnl1", -1, 20, 8, 117, 49},
        {u"btn2", u"pnl1", -1, 166, 8, 117, 49},
        {u"btn3", u"pnl1", -1, 312, 8, 117, 49},
        {u"lbl21", u"pnl1", -1, 456, 24, 255, 16},

        {u"lbl1", u"ts1", 0, 162, 28, 348, 39},
        {u"lbl2", u"ts1", 0, 48, 120, -1, -1},
        {u"lbl3", u"ts1", 0, 48, 166, -1, -1},
        {u"lbl4", u"ts1", 0, 48, 213, -1, -1},
        {u"lbl5", u"ts1", 0, 48, 260, -1, -1},

        {u"lbl6", u"dp1", 1, 72, 50, -1, -1},
        {u"edt1", u"dp1", 1, 134, 46, 377, 24},
        {u"btn4", u"dp1", 1, 520, 40, 81, 37},
        {u"lbl7", u"dp1", 1, 203, 117, -1, -1},
        {u"cbb1", u"dp1", 1, 280, 113, 161, 24},
        {u"lbl9", u"dp1", 1, 68, 174, -1, -1},
        {u"edt2", u"dp1", 1, 130, 170, 377, 24},
        {u"btn6", u"dp1", 1, 516, 164, 81, 37},
        {u"btn5", u"dp1", 1, 272, 228, 121, 45},
        {u"lbl8", u"dp1", 1, 164, 296, -1, -1},

        {u"grp1", u"ts3", 2, 8, 8, 649, 125},
        {u"lbl10", u"grp1", 2, 20, 28, -1, -1},
        {u"edt3", u"grp1", 2, 76, 24, 397, 24},
        {u"btn7", u"grp1", 2, 504, 20, 85, 33},
        {u"chk1", u"grp1", 2, 16, 62, 165, 29},
        {u"btn8", u"grp1", 2, 264, 54, 113, 41},
        {u"lbl11", u"grp1", 2, 90, 97, -1, -1},
        {u"grp2", u"ts3", 2, 8, 139, 649, 126},
        {u"lbl12", u"grp2", 2, 20, 28, -1, -1},
        {u"edt4", u"grp2", 2, 76, 24, 397, 24},
        {u"btn9", u"grp2", 2, 504, 20, 85, 33},
        {u"lbl16", u"grp2", 2, 44, 66, -1, -1},
        {u"edt6", u"grp2", 2, 114, 62, 77, 24},
        {u"btn10", u"grp2", 2, 264, 54, 113, 41},
        {u"lbl13", u"grp2", 2, 90, 94, -1, -1},
        {u"grp3", u"ts3", 2, 8, 266, 649, 126},
        {u"lbl14", u"grp3", 2, 20, 28, -1, -1},
        {u"edt5", u"grp3", 2, 76, 24, 397, 24},
        {u"btn11", u"grp3", 2, 504, 20, 85, 33},
        {u"lbl17", u"grp3", 2, 44, 66, -1, -1},
        {u"edt7", u"grp3", 2, 114, 62, 77, 24},
        {u"lbl18", u"grp3", 2, 196, 64, -1, -1},
        {u"btn12", u"grp3", 2, 264, 54, 113, 41},
        {u"lbl15", u"grp3", 2, 90, 94, -1, -1},

        {u"btn13", u"ts4", 3, 154, 203, 125, 49},
        {u"btn14", u"ts4", 3, 318, 203, 77, 49},
        {u"btn15", u"ts4", 3, 434, 203, 77, 49},
        {u"lbl20", u"ts4", 3, 16, 274, -1, -1},
        {u"edt8", u"ts4", 3, 128, 270, 409, 24},
        {u"btn16", u"ts4", 3, 544, 264, 89, 37},
        {u"btn17", u"ts4", 3, 248, 300, 121, 41},
        {u"lbl19", u"ts4", 3, 36, 352, -1, -1},
    };
    return Table;
}

// The client area and the top strip's height.
constexpr int ClientWidth = 713, ClientHeight = 474, StripHeight = 69, ListHeight = 197;

}  // namespace velmo::app::layout
