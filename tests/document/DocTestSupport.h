// Helpers of the document tests: loading a document from bytes and reading
// the "key value" report lines of a test run in a child process.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <sstream>
#include <string>

#include "document/Document.h"

namespace vpltest {

// The document loaded from Text; the load is expected to succeed.
inline std::unique_ptr<velmo::TPDFDocument> LoadText(const std::string& Text) {
    auto d = std::make_unique<velmo::TPDFDocument>();
    EXPECT_EQ(d->LoadFromString(Text, u""), velmo::lrOkay);
    return d;
}

// "key value..." lines as a map (a line without blank maps to "").
inline std::map<std::string, std::string> ParseReport(const std::string& Report) {
    std::map<std::string, std::string> m;
    std::istringstream in(Report);
    std::string line;
    while (std::getline(in, line)) {
        const size_t sp = line.find(' ');
        m[line.substr(0, sp)] = sp == std::string::npos ? "" : line.substr(sp + 1);
    }
    return m;
}

}  // namespace vpltest
