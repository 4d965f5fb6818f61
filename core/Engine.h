// Start-up and shut-down of the engine's process-wide state. Each step runs
// once per start-up, in the order of its number; shut-down runs the steps'
// releases in the reverse order. Steps 4 (glyph tables), 5 (CID-to-Unicode
// slots) and 6 (random generator) belong to the object core; later
// subsystems register theirs under the numbers of the start-up table before
// the engine starts.
#pragma once

#include <functional>

namespace velmo {

// Adds a step: StartUp runs at EngineStartup, ShutDown (may be empty) at
// EngineShutdown. Steps of one number run in the order they were added.
void AddEngineStep(int Number, std::function<void()> StartUp, std::function<void()> ShutDown);

// Runs every step once; further calls do nothing until EngineShutdown.
void EngineStartup();
// Releases what the steps prepared or filled on first use, in reverse
// order; nothing happens when the engine is not started.
void EngineShutdown();
bool EngineStarted();

}  // namespace velmo
