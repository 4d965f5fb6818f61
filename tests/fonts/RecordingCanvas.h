// A canvas that records the path calls it receives, for comparing outlines.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "core/GenericCanvas.h"

namespace velmo::test {

struct TRecordedCall {
    char Op;  // 'M' move, 'L' line, 'C' cubic, 'Q' quadratic, 'Z' close, '!' paint or begin
    std::vector<double> P;
};

class TRecordingCanvas : public TPDFGenericCanvas {
public:
    std::vector<TRecordedCall> Calls;

    void BeginPath() override { Calls.push_back({'!', {}}); }
    void MoveTo(double X, double Y) override { Calls.push_back({'M', {X, Y}}); }
    void AddLineToPath(double X, double Y) override { Calls.push_back({'L', {X, Y}}); }
    void AddBezierToPath(double AX, double AY, double BX, double BY, double X, double Y) override {
        Calls.push_back({'C', {AX, AY, BX, BY, X, Y}});
    }
    void AddQBezierToPath(double QX, double QY, double X, double Y) override {
        Calls.push_back({'Q', {QX, QY, X, Y}});
    }
    void ClosePath() override { Calls.push_back({'Z', {}}); }
    void StrokePath() override { Calls.push_back({'!', {}}); }
    void FillPath() override { Calls.push_back({'!', {}}); }
    void StrokeAndFillPath() override { Calls.push_back({'!', {}}); }

    // "M 0 0 L 10 0 Z" with numbers printed to three decimals at most.
    std::string Text() const {
        std::string S;
        for (const auto& C : Calls) {
            if (!S.empty()) S += ' ';
            S += C.Op;
            for (double V : C.P) {
                char B[32];
                std::snprintf(B, sizeof B, " %.3f", V);
                std::string T = B;
                while (T.back() == '0') T.pop_back();
                if (T.back() == '.') T.pop_back();
                if (T == " -0") T = " 0";
                S += T;
            }
        }
        return S;
    }
};

}  // namespace velmo::test
