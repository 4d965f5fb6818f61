// Helpers of the benchmarks that run over the corpus and call peer tools.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>

namespace vplbench {

// $CORPUS_DIR, else ../shared/corpus beside the project.
inline std::filesystem::path CorpusDir() {
    if (const char* Env = std::getenv("CORPUS_DIR")) return Env;
    return std::filesystem::path(__FILE__).parent_path().parent_path().parent_path() / "shared" /
           "corpus";
}

// S quoted for the shell.
inline std::string Quote(const std::string& S) {
    std::string Q = "'";
    for (char C : S) Q += C == '\'' ? std::string("'\\''") : std::string(1, C);
    return Q + "'";
}

}  // namespace vplbench
