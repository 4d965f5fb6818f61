// fontconfig's own command-line tools run under the font catalogue's
// configuration: the system's rules with the engine's alias rules on top,
// as the catalogue loads them. For oracles that check which installed file
// a font request reaches.
#pragma once

#include <fstream>
#include <sstream>
#include <string>
#include <utility>

#include "resources/Resources.h"
#include "tests/support/TestSupport.h"

namespace vpltest {

class TCatalogFcTools {
public:
    TCatalogFcTools() {
        const std::string Rules = (Dir / "aliases.conf").string();
        Conf = (Dir / "fonts.conf").string();
        std::ofstream(Rules, std::ios::binary) << velmo::Resources::Get(velmo::Resources::kFontAliases);
        std::ofstream(Conf) << "<?xml version=\"1.0\"?>\n<fontconfig>\n"
                               "  <include ignore_missing=\"no\">/etc/fonts/fonts.conf</include>\n"
                               "  <include ignore_missing=\"no\">"
                            << Rules << "</include>\n</fontconfig>\n";
    }

    // The file and face index `fc-match` names for Pattern ("", -1 when
    // it names none).
    std::pair<std::string, int> Match(const std::string& Pattern) const {
        auto R = RunCommand({"env", "FONTCONFIG_FILE=" + Conf, "fc-match", "-f", "%{file}\n%{index}", Pattern}, 60);
        std::istringstream In(R.out);
        std::pair<std::string, int> Out{"", -1};
        std::getline(In, Out.first);
        In >> Out.second;
        return Out;
    }

    // Whether `fc-query` lists Char in the charset of a file's face.
    bool Covers(const std::string& File, int Index, char32_t Char) const {
        auto R = RunCommand({"env", "FONTCONFIG_FILE=" + Conf, "fc-query", "-i", std::to_string(Index), "-f",
                             "%{charset}\n", File},
                            60);
        // Ranges of hexadecimal code points: "20-7e a0 …".
        std::istringstream In(R.out);
        std::string Range;
        while (In >> Range) {
            const size_t Dash = Range.find('-');
            try {
                const unsigned long Lo = std::stoul(Range.substr(0, Dash), nullptr, 16);
                const unsigned long Hi = Dash == std::string::npos ? Lo : std::stoul(Range.substr(Dash + 1), nullptr, 16);
                if (Char >= Lo && Char <= Hi) return true;
            } catch (...) {
                return false;
            }
        }
        return false;
    }

private:
    TempDir Dir;
    std::string Conf;
};

}  // namespace vpltest
