#include "core/Engine.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "core/CMap.h"
#include "core/FontConst.h"
#include "core/Glyphs.h"
#include "core/Random.h"
#include "core/TextStrings.h"

namespace velmo {

namespace {

struct Step {
    int Number;
    std::function<void()> StartUp;
    std::function<void()> ShutDown;
};

struct EngineState {
    EngineState();
    std::mutex Lock;
    std::vector<Step> Steps;
    bool Started = false;
    std::vector<Step> Ran;  // the steps of the running start-up, in order
};

// Glyph tables: the glyph list with its index, the standard Latin names and
// the PDFDocEncoding table are made now and stay read-only; the font-family
// cache starts empty and is filled on first use.
void StartFontConstants() {
    GlyphNameToUnicode("A");
    GetStandardGlyphNumber("A");
    StandardGlyphMacRomanCodes();
    SymbolFontWidths();
    PDFDocEncodingTable();
}

void StopFontConstants() { ReleaseFontFamilies(); }

EngineState::EngineState() {
    Steps.push_back({4, StartFontConstants, StopFontConstants});
    // The CID-to-Unicode slots start empty; they fill on first use.
    Steps.push_back({5, ReleaseCIDToUnicodeTables, ReleaseCIDToUnicodeTables});
    Steps.push_back({6, InitRandomGenerator, nullptr});
}

EngineState& State() {
    static EngineState state;
    return state;
}

}  // namespace

void AddEngineStep(int Number, std::function<void()> StartUp, std::function<void()> ShutDown) {
    EngineState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    s.Steps.push_back({Number, std::move(StartUp), std::move(ShutDown)});
}

void EngineStartup() {
    EngineState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    if (s.Started) return;
    std::stable_sort(s.Steps.begin(), s.Steps.end(),
                     [](const Step& a, const Step& b) { return a.Number < b.Number; });
    s.Ran.clear();
    for (const Step& step : s.Steps) {
        if (step.StartUp) step.StartUp();
        s.Ran.push_back(step);
    }
    s.Started = true;
}

void EngineShutdown() {
    EngineState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    if (!s.Started) return;
    for (auto it = s.Ran.rbegin(); it != s.Ran.rend(); ++it)
        if (it->ShutDown) it->ShutDown();
    s.Ran.clear();
    s.Started = false;
}

bool EngineStarted() {
    EngineState& s = State();
    std::lock_guard<std::mutex> lock(s.Lock);
    return s.Started;
}

}  // namespace velmo
