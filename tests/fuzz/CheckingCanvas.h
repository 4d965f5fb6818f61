// A canvas for fuzz targets that draw glyphs: whatever the program or
// procedure says, nothing that is not finite may reach a canvas, so any such
// coordinate aborts the run.
#pragma once

#include <cmath>
#include <cstdlib>

#include "core/GenericCanvas.h"

namespace velmo::fuzz {

class TCheckingCanvas : public TPDFGenericCanvas {
public:
    static void Check(double V) {
        if (!std::isfinite(V)) std::abort();
    }
    void MoveTo(double X, double Y) override { Check(X), Check(Y); }
    void AddLineToPath(double X, double Y) override { Check(X), Check(Y); }
    void AddBezierToPath(double A, double B, double C, double D, double E, double F) override {
        for (double V : {A, B, C, D, E, F}) Check(V);
    }
    void AddQBezierToPath(double A, double B, double C, double D) override {
        for (double V : {A, B, C, D}) Check(V);
    }
    void BeginPath() override {}
    void ClosePath() override {}
    void FillPath() override {}
    void StrokePath() override {}
    void StrokeAndFillPath() override {}
};

}  // namespace velmo::fuzz
