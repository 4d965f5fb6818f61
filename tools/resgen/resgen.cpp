// Build-time generator of the engine's built-in resources.
//
//   vpl_resgen MANIFEST BLOB SOURCE
//
// MANIFEST has one resource a line, tab-separated: "<id> <mode> <path> [<name>]";
// the names (predefined CMap names) are listed in the index too. The modes are
//   raw   the file's bytes as they stand
//   zlib  the file's bytes, zlib-compressed
//   agl   a glyph list text ("name;XXXX[ XXXX...]" lines, "#" comments) turned
//         into the indexed binary glyph list, zlib-compressed
//   cid   a CID-to-Unicode text (one hexadecimal value a line, line n = CID n)
//         turned into 16-bit little-endian values, CID 0 = U+FFFD,
//         zlib-compressed; values beyond U+FFFF do not fit and become 0
// BLOB receives every payload, 16-byte aligned; SOURCE is a C++ file that
// embeds BLOB with .incbin and holds the index of ids, offsets and sizes.
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string Compress(const std::string& data) {
    uLongf len = compressBound(static_cast<uLong>(data.size()));
    std::string out(len, '\0');
    if (compress2(reinterpret_cast<Bytef*>(out.data()), &len,
                  reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()),
                  Z_BEST_COMPRESSION) != Z_OK)
        throw std::runtime_error("zlib compression failed");
    out.resize(len);
    return out;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(std::move(line));
        pos = end + 1;
    }
    return lines;
}

// Index of 58 three-byte positions (first characters 'A'..'z'), then entries
// of: name length, name bytes, first code point as 16-bit little-endian.
std::string GlyphList(const std::string& text) {
    std::vector<std::pair<std::string, unsigned>> entries;
    for (const std::string& line : Lines(text)) {
        if (line.empty() || line[0] == '#') continue;
        std::size_t semi = line.find(';');
        if (semi == std::string::npos || semi == 0 || semi > 255)
            throw std::runtime_error("bad glyph list line: " + line);
        unsigned value = std::stoul(line.substr(semi + 1, 4), nullptr, 16);
        entries.emplace_back(line.substr(0, semi), value);
    }
    std::sort(entries.begin(), entries.end());
    const int kIndexEntries = 'z' - 'A' + 1;
    std::string body;
    std::vector<std::uint32_t> first(kIndexEntries + 1, 0);
    std::vector<bool> seen(kIndexEntries, false);
    const std::uint32_t base = kIndexEntries * 3 + 1;  // 1-based position of the first entry
    for (const auto& [name, value] : entries) {
        int c = static_cast<unsigned char>(name[0]);
        if (c >= 'A' && c <= 'z' && !seen[c - 'A']) {
            seen[c - 'A'] = true;
            first[c - 'A'] = base + static_cast<std::uint32_t>(body.size());
        }
        body += static_cast<char>(name.size());
        body += name;
        body += static_cast<char>(value & 0xFF);
        body += static_cast<char>(value >> 8);
    }
    // A character without names points at the next group (or past the end).
    std::uint32_t next = base + static_cast<std::uint32_t>(body.size());
    for (int i = kIndexEntries - 1; i >= 0; --i) {
        if (seen[i])
            next = first[i];
        else
            first[i] = next;
    }
    std::string out;
    for (int i = 0; i < kIndexEntries; ++i) {
        out += static_cast<char>(first[i] & 0xFF);
        out += static_cast<char>((first[i] >> 8) & 0xFF);
        out += static_cast<char>((first[i] >> 16) & 0xFF);
    }
    return out + body;
}

std::string CidTable(const std::string& text) {
    std::string out;
    std::vector<std::string> lines = Lines(text);
    while (!lines.empty() && lines.back().empty()) lines.pop_back();
    for (std::size_t cid = 0; cid < lines.size(); ++cid) {
        unsigned long value = lines[cid].empty() ? 0 : std::stoul(lines[cid], nullptr, 16);
        if (cid == 0) value = 0xFFFD;
        if (value > 0xFFFF) value = 0;
        out += static_cast<char>(value & 0xFF);
        out += static_cast<char>(value >> 8);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) {
        std::cerr << "usage: vpl_resgen MANIFEST BLOB SOURCE\n";
        return 2;
    }
    try {
        std::string blob;
        std::ostringstream index;
        std::vector<int> ids;
        std::ifstream manifest(argv[1]);
        if (!manifest) throw std::runtime_error(std::string("cannot read ") + argv[1]);
        std::string line;
        while (std::getline(manifest, line)) {
            if (line.empty()) continue;
            std::vector<std::string> fields;
            std::size_t start = 0;
            for (;;) {
                std::size_t tab = line.find('\t', start);
                fields.push_back(line.substr(start, tab - start));
                if (tab == std::string::npos) break;
                start = tab + 1;
            }
            if (fields.size() < 3) throw std::runtime_error("bad manifest line: " + line);
            int id = std::stoi(fields[0]);
            const std::string& mode = fields[1];
            const std::string& path = fields[2];
            std::string name = fields.size() > 3 ? fields[3] : std::string();
            std::string data = ReadFile(path);
            if (mode == "zlib")
                data = Compress(data);
            else if (mode == "agl")
                data = Compress(GlyphList(data));
            else if (mode == "cid")
                data = Compress(CidTable(data));
            else if (mode != "raw")
                throw std::runtime_error("unknown mode " + mode);
            if (std::find(ids.begin(), ids.end(), id) != ids.end())
                throw std::runtime_error("duplicate resource id " + std::to_string(id));
            ids.push_back(id);
            blob.resize((blob.size() + 15) & ~std::size_t(15), '\0');
            index << "    {" << id << ", " << blob.size() << "u, " << data.size() << "u, \"" << name
                  << "\"},\n";
            blob += data;
        }
        std::ofstream(argv[2], std::ios::binary)
            .write(blob.data(), static_cast<std::streamsize>(blob.size()));
        std::ofstream src(argv[3]);
        src << "// Generated by vpl_resgen; do not edit.\n"
               "#include \"resources/ResourceIndex.h\"\n\n"
               "__asm__(\".section .rodata.vpl_resources,\\\"a\\\"\\n\"\n"
               "        \".balign 16\\n\"\n"
               "        \".global vpl_resource_blob\\n\"\n"
               "        \"vpl_resource_blob:\\n\"\n"
               "        \".incbin \\\""
            << argv[2]
            << "\\\"\\n\"\n"
               "        \".previous\\n\");\n\n"
               "namespace velmo::resources_detail {\n\n"
               "// Blob size "
            << blob.size()
            << " bytes.\n"
               "const ResourceEntry kResourceIndex[] = {\n"
            << index.str()
            << "};\n"
               "const std::size_t kResourceCount = sizeof(kResourceIndex) / "
               "sizeof(kResourceIndex[0]);\n\n"
               "} // namespace velmo::resources_detail\n";
        if (!src) throw std::runtime_error(std::string("cannot write ") + argv[3]);
    } catch (const std::exception& e) {
        std::cerr << "vpl_resgen: " << e.what() << "\n";
        return 1;
    }
    return 0;
}
