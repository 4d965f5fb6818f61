// The shading and transparency pages of FeatureFixtures_oracle.cpp, upright
// and ready to write, for the other oracles of this folder that draw them
// through a second drawing model.
#pragma once

#include <string>
#include <vector>

namespace vpltest {

struct TFixturePage {
    std::string label;
    std::string pdf;
};

// Every shading case, painted by sh and as a pattern fill after a cm.
std::vector<TFixturePage> ShadingFixturePages();
// Every transparency and tiling-pattern page.
std::vector<TFixturePage> TransparencyFixturePages();

}  // namespace vpltest
