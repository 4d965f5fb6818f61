// Every shading function and every Separation, DeviceN, Indexed and Lab
// colour space found among the objects of the corpus files is loaded and
// evaluated on a grid of inputs. Function faults are an expected result;
// a crash, a hang, a sanitizer report or any other exception fails.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "document/Document.h"
#include "document/IndObj.h"
#include "render/ColorSpaces.h"
#include "render/Functions.h"
#include "tests/support/TestSupport.h"

using namespace velmo;

namespace {

// Counts by kind, written into the child's report as "key value" lines.
struct Counts {
    std::map<std::string, int64_t> N;
    void Add(const std::string& K, int64_t V = 1) { N[K] += V; }
};

// The inputs a function is run at: per input the ends, the middle, the
// quarters and a value beyond each end; every combination for one or two
// inputs, the ends and middle for more (at most 3^4 points, the rest at the
// middle).
std::vector<std::vector<double>> Grid(const TPDFFunction& F) {
    const int32_t M = std::max<int32_t>(F.InputValueCount(), 1);
    const std::vector<double>& D = F.Domain();
    auto Values = [&](int32_t I) {
        double Lo = 0, Hi = 1;
        if (D.size() >= size_t(2 * I + 2)) Lo = D[2 * I], Hi = D[2 * I + 1];
        std::vector<double> V{Lo, Hi, (Lo + Hi) / 2};
        if (M <= 2) {
            V.push_back(Lo + (Hi - Lo) / 4);
            V.push_back(Lo + 3 * (Hi - Lo) / 4);
            V.push_back(Lo - 1);
            V.push_back(Hi + 1);
        }
        return V;
    };
    std::vector<std::vector<double>> Points{{}};
    for (int32_t I = 0; I < M; ++I) {
        std::vector<double> V = Values(I);
        if (I >= 4) V.resize(1, V[2]);
        std::vector<std::vector<double>> Next;
        for (const auto& P : Points)
            for (double X : V) {
                Next.push_back(P);
                Next.back().push_back(X);
            }
        Points.swap(Next);
    }
    return Points;
}

// Runs one function on its grid; function faults are counted.
void RunGrid(TPDFFunction& F, Counts& C) {
    std::vector<double> Y;
    for (const auto& X : Grid(F)) {
        try {
            F.RunFunction(X, Y);
            C.Add("function evaluations");
            for (int32_t K = 0; K < F.OutputValueCount() && size_t(K) < Y.size(); ++K)
                if (!std::isfinite(Y[size_t(K)])) C.Add("FAULT non-finite function output");
        } catch (const EPDFFunctionError&) {
            C.Add("function errors");
        }
    }
    if (auto* T4 = dynamic_cast<TPDFType4Function*>(&F)) {
        std::vector<double> Y2(size_t(std::max<int32_t>(F.OutputValueCount(), 0)));
        for (const auto& X : Grid(F)) {
            try {
                T4->RunFunctionNonOpt(X, Y2);
            } catch (const EPDFFunctionError&) {
                C.Add("function errors (text interpreter)");
            }
        }
    }
}

void TryFunction(TPDFObject* Source, Counts& C) {
    std::unique_ptr<TPDFFunction> F = TPDFFunction::FunctionFactory(Source, nullptr);
    if (!F) {
        C.Add("functions not built");
        return;
    }
    C.Add("functions type " + std::to_string(F->FunctionType()));
    RunGrid(*F, C);
}

TPDFObject* Deref(TPDFObject* O) {
    auto* R = ObjAs<TPDFIndRef>(O);
    return R ? R->Obj() : O;
}

void TryColorSpace(TPDFArray* A, const std::string& Family, Counts& C) {
    TPDFSimpleColorManager M;
    try {
        if (Family == "Separation") {
            TPDFSeparationColorSpace CS(&M);
            CS.LoadFromArray(A, "/CS");
            C.Add("separation spaces");
            if (CS.TintTransform()) C.Add("separation spaces with a transform");
            for (double T : {0.0, 0.25, 0.5, 0.75, 1.0, -1.0, 2.0}) {
                CS.GetColor(T, false);
                CS.GetColor(T, true);
            }
        } else if (Family == "DeviceN") {
            TPDFDeviceNColorSpace CS(&M);
            CS.LoadFromArray(A, "/CS");
            C.Add("devicen spaces");
            if (CS.TintTransform()) C.Add("devicen spaces with a transform");
            const size_t N = size_t(std::clamp<int32_t>(CS.FComponentCount, 0, 64));
            for (double T : {0.0, 0.5, 1.0}) {
                std::vector<double> In(N, T);
                CS.GetColor(In, false);
                CS.GetColor(In, true);
            }
            for (size_t I = 0; I < N; ++I) {
                std::vector<double> In(N, 0.0);
                In[I] = 1;
                CS.GetColor(In, false);
            }
            for (int I = 0; I <= 1100; I += 7) CS.GetColor(std::vector<double>{I / 1000.0}, true);
        } else if (Family == "Indexed") {
            TPDFIndexedColorSpace CS;
            CS.LoadFromArray(A);
            C.Add("indexed spaces");
            C.Add("indexed base " + (CS.EntryFamily().empty() ? "other" : CS.EntryFamily()));
            for (int I = 0; I < 256; ++I) CS.GetColor(uint8_t(I), &M);
        } else if (Family == "Lab") {
            TPDFLabColorSpace CS;
            CS.LoadFromArray(A);
            C.Add("lab spaces");
            for (double L : {0.0, 50.0, 100.0})
                for (double a : {-128.0, 0.0, 127.0})
                    for (double b : {-128.0, 0.0, 127.0}) CS.GetColor({L, a, b}, &M);
        }
    } catch (const EPDFFunctionError&) {
        C.Add("colour spaces raising function errors");
    }
}

// Looks at one object tree (not through references: every indirect object
// is visited on its own).
void Visit(TPDFObject* Root, Counts& C) {
    std::vector<std::pair<TPDFObject*, int>> Work{{Root, 0}};
    while (!Work.empty()) {
        auto [O, Depth] = Work.back();
        Work.pop_back();
        if (!O || Depth > 64) continue;
        TPDFDictionary* D = ObjAs<TPDFDictionary>(O);
        if (auto* S = ObjAs<TPDFStream>(O)) D = S->Dictionary();
        if (D) {
            if (D->FindIndexByKeyName("ShadingType") >= 0) {
                C.Add("shadings");
                TPDFObject* Fn = Deref(D->FindValueByKeyName("Function", false));
                if (auto* Arr = ObjAs<TPDFArray>(Fn)) {
                    for (TPDFObject* It : Arr->LiveItems()) TryFunction(Deref(It), C);
                } else if (Fn) {
                    TryFunction(Fn, C);
                }
            }
            for (const TPDFEntry& E : D->GetEntries())
                if (E.Value) Work.push_back({E.Value, Depth + 1});
        } else if (auto* A = ObjAs<TPDFArray>(O)) {
            if (A->Count() > 0)
                if (auto* N = ObjAs<TPDFName>(A->GetItem(0))) {
                    const std::string& F = N->Name();
                    if (F == "Separation" || F == "DeviceN" || F == "Indexed" || F == "Lab")
                        TryColorSpace(A, F, C);
                }
            for (TPDFObject* It : A->LiveItems())
                if (It) Work.push_back({It, Depth + 1});
        }
    }
}

int CheckFile(const std::filesystem::path& File, std::string& Report) {
    Counts C;
    TPDFDocument Doc;
    TVPLLoadResult R;
    try {
        R = Doc.LoadFromFile(File.u16string(), u"");
    } catch (const std::exception& E) {
        Report = std::string("unhandled cannot open: ") + E.what() + "\n";
        return 0;
    }
    if (R != lrOkay) {
        Report =
            R == lrWrongPassword ? "unhandled needs a password\n" : "unhandled does not load\n";
        return 0;
    }
    try {
        for (int32_t I = 0; I < Doc.ObjCount(); ++I) {
            TPDFIndObj* IO = Doc.IndObj(I);
            Doc.DecryptObj(IO->ObjNum(), IO->GenNum());
            Visit(IO->GetObj(), C);
        }
    } catch (const std::exception& E) {
        Report += std::string("FAULT exception: ") + E.what() + "\n";
    }
    for (const auto& [K, V] : C.N) Report += K + "=" + std::to_string(V) + "\n";
    return 0;
}

}  // namespace

TEST(corpus, colour_functions) {
    VPL_REQUIRE_CORPUS();
    const auto Files = vpltest::CorpusPdfs();
    std::map<std::string, int64_t> Totals;
    std::vector<std::string> Unhandled, Failures;
    const auto Results = vpltest::RunIsolatedBatch(
        Files.size(), [&](size_t I, std::string& Report) { return CheckFile(Files[I], Report); },
        120);
    for (size_t I = 0; I < Files.size(); ++I) {
        const auto& File = Files[I];
        const std::string Name = std::filesystem::relative(File, vpltest::CorpusDir()).string();
        const vpltest::ChildResult& Child = Results[I];
        if (Child.outcome == vpltest::ChildOutcome::Crashed ||
            Child.outcome == vpltest::ChildOutcome::TimedOut) {
            Failures.push_back(Name + (Child.outcome == vpltest::ChildOutcome::TimedOut
                                           ? ": timed out"
                                           : ": crashed\n" + Child.report));
            continue;
        }
        std::istringstream In(Child.report);
        std::string Line;
        while (std::getline(In, Line)) {
            if (Line.starts_with("unhandled ")) {
                Unhandled.push_back(Name + ": " + Line.substr(10));
            } else if (Line.starts_with("FAULT")) {
                Failures.push_back(Name + ": " + Line);
            } else if (size_t Eq = Line.rfind('='); Eq != std::string::npos) {
                Totals[Line.substr(0, Eq)] += std::stoll(Line.substr(Eq + 1));
            }
        }
        if (Child.outcome == vpltest::ChildOutcome::Failed)
            Failures.push_back(Name + ": failed\n" + Child.report);
    }
    std::cout << "files " << Files.size() << "\n";
    for (const auto& [K, V] : Totals) std::cout << K << " " << V << "\n";
    std::cout << "files not handled: " << Unhandled.size() << "\n";
    for (const auto& U : Unhandled) std::cout << "  " << U << "\n";
    for (const auto& F : Failures) ADD_FAILURE() << F;
}
