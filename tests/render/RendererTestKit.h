// Recording stand-ins for the renderer's tests: a device canvas and an EPS
// writer that log what reaches them as words, and a one-page document made
// in memory.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

#include "core/Structure.h"
#include "platform/gdiplus/GdiPlusFlat.h"
#include "render/Renderer.h"

namespace velmo::rendertest {

inline std::string Num(double V) {
    char B[32];
    std::snprintf(B, sizeof B, "%.2f", V);
    std::string S = B;
    while (!S.empty() && S.back() == '0') S.pop_back();
    if (!S.empty() && S.back() == '.') S.pop_back();
    if (S == "-0") S = "0";
    return S;
}

inline std::string Hex(uint32_t C) {
    char B[16];
    // TColor is 0x00BBGGRR; written as #RRGGBB.
    std::snprintf(B, sizeof B, "#%02X%02X%02X", C & 0xFF, (C >> 8) & 0xFF, (C >> 16) & 0xFF);
    return B;
}

// Records path construction and painting, with the state that painting
// uses, as one line of words.
class TRecorder : public TPDFRenderCanvas {
public:
    std::string Log;
    bool ThrowOnFill = false;

    void Add(const std::string& S) {
        if (!Log.empty()) Log += ' ';
        Log += S;
    }
    void BeginPath() override { Add("B"); }
    void MoveTo(double X, double Y) override { Add("M" + Num(X) + "," + Num(Y)); }
    void AddLineToPath(double X, double Y) override { Add("L" + Num(X) + "," + Num(Y)); }
    void AddBezierToPath(double X1, double Y1, double X2, double Y2, double X3,
                         double Y3) override {
        Add("C" + Num(X1) + "," + Num(Y1) + "," + Num(X2) + "," + Num(Y2) + "," + Num(X3) + "," +
            Num(Y3));
    }
    void ClosePath() override { Add("H"); }
    void StrokePath() override { Add("S" + StrokeState()); }
    void FillPath() override {
        if (ThrowOnFill) throw std::runtime_error("boom");
        Add("F" + FillState());
    }
    void StrokeAndFillPath() override { Add("SF" + StrokeState() + FillState()); }
    void NullPath() override { Add("N"); }
    void SetClippingPath(TPDFFillMode Mode) override { Add(Mode == pfAlternate ? "W*" : "W"); }
    void FillClippingPath() override { Add("FC" + FillState()); }
    void SetFillColor(uint32_t C) override { FFill = C; }
    void SetStrokeColor(uint32_t C) override { FStroke = C; }
    void SetFillAlpha(double) override {}
    void SetStrokeAlpha(double) override {}
    void SetFillMode(TPDFFillMode M) override { FMode = M; }
    void SetLineWidth(double W) override { FWidth = W; }
    void SetLineDash(const TGPDashArray& D, double Phase) override {
        FDash.clear();
        for (float V : D) FDash += (FDash.empty() ? "" : ",") + Num(V);
        FPhase = Phase;
    }
    void SetLineCapStyle(int32_t) override {}
    void SetLineJoinStyle(int32_t) override {}
    void SetMiterLimit(double) override {}
    void SetCurrentXForm(const TPDFXForm&) override {}
    GpRegion* SaveClip() override {
        Add("q");
        return nullptr;
    }
    void RestoreClip(GpRegion*) override { Add("Q"); }

private:
    std::string StrokeState() const {
        std::string S = Hex(FStroke) + "w" + Num(FWidth);
        if (!FDash.empty()) S += "d" + FDash + "@" + Num(FPhase);
        return S;
    }
    std::string FillState() const { return Hex(FFill) + (FMode == pfAlternate ? "eo" : ""); }
    uint32_t FFill = 0, FStroke = 0;
    TPDFFillMode FMode = pfUnknown;
    double FWidth = 0;
    std::string FDash;
    double FPhase = 0;
};

class TEPSRecorder : public TPDFEPSExport {
public:
    std::string* Log;
    explicit TEPSRecorder(std::string* L) : Log(L) {}
    void Add(const std::string& S) {
        if (!Log->empty()) *Log += ' ';
        *Log += S;
    }
    void StartDocument(double L, double B, double R, double T) override {
        Add("doc" + Num(L) + "," + Num(B) + "," + Num(R) + "," + Num(T));
    }
    void PSNewPath() override { Add("newpath"); }
    void PSMoveTo(double X, double Y) override { Add("m" + Num(X) + "," + Num(Y)); }
    void PSLineTo(double X, double Y) override { Add("l" + Num(X) + "," + Num(Y)); }
    void PSClosePath() override { Add("h"); }
    void PSSetColor(const std::string& C) override { Add("[" + C + "]"); }
    void PSStroke() override { Add("stroke"); }
    void PSFill(bool EO) override { Add(EO ? "eofill" : "fill"); }
    void PSClip(bool EO) override { Add(EO ? "eoclip" : "clip"); }
    void PSSetLineWidth(double W) override { Add("w" + Num(W)); }
    void PSConcat(const TPDFXForm& M) override { Add("cm"); }
};

// A document of one page made in memory; indirect objects are found by
// number through the renderer's look-up.
struct TPage {
    TPDFStructure S;
    TPDFDictionary* Page = nullptr;
    TPDFDictionary* Resources = nullptr;
    std::map<int32_t, TPDFObject*> Objects;

    explicit TPage(const std::string& Content, std::vector<double> Box = {0, 0, 100, 100}) {
        // Pages are drawn through the GDI+ facade, as the program does.
        static const bool Registered = (RegisterGdiPlusModule(), true);
        (void)Registered;
        Page = S.NewDictionary();
        Page->Add("Type", S.NewName("Page"));
        if (!Box.empty()) Page->Add("MediaBox", S.NewDoubleArray(Box));
        Page->Add("Contents", S.NewStream(Content, false));
        Resources = S.NewDictionary();
        Page->Add("Resources", Resources);
    }
    TPDFIndRef* Ref(int32_t Num) { return S.NewIndirectRef(Num, 0); }
    void Attach(TPDFRenderer& R) {
        R.SetPageDict(Page);
        R.OnFindObject = [this](TPDFIndRef* Ref) -> TPDFObject* {
            auto It = Objects.find(Ref->ObjNum);
            return It == Objects.end() ? nullptr : It->second;
        };
    }
};

}  // namespace velmo::rendertest
