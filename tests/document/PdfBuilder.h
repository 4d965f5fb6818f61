// Builds small PDF files in memory with exact offsets, for the loader tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vpltest {

class PdfBuilder {
public:
    explicit PdfBuilder(std::string Header = "%PDF-1.4\n") : data(std::move(Header)) {}

    std::string data;
    std::map<int, int64_t> offsets;  // last offset written for each number

    // "N G obj\n" + body + "\nendobj\n".
    PdfBuilder& Obj(int Num, const std::string& Body, int Gen = 0) {
        offsets[Num] = static_cast<int64_t>(data.size());
        data += std::to_string(Num) + " " + std::to_string(Gen) + " obj\n" + Body + "\nendobj\n";
        return *this;
    }
    // A stream object with a correct /Length.
    PdfBuilder& Stream(int Num, const std::string& DictEntries, const std::string& Bytes) {
        return Obj(Num, "<< " + DictEntries + " /Length " + std::to_string(Bytes.size()) +
                            " >>\nstream\n" + Bytes + "\nendstream");
    }
    PdfBuilder& Raw(const std::string& S) {
        data += S;
        return *this;
    }

    static std::string Entry(int64_t Offset, int Gen, char Type, const char* Eol = " \n") {
        char buf[32];
        std::snprintf(buf, sizeof buf, "%010lld %05d %c", static_cast<long long>(Offset), Gen, Type);
        return std::string(buf) + Eol;
    }

    // A classic section with one subsection 0..max over every object written
    // (missing numbers free), then the trailer; returns the "xref" offset.
    int64_t Table(const std::string& TrailerEntries, const char* Eol = " \n") {
        const int64_t at = static_cast<int64_t>(data.size());
        const int max = offsets.empty() ? 0 : offsets.rbegin()->first;
        data += "xref\n0 " + std::to_string(max + 1) + "\n";
        data += Entry(0, 65535, 'f', Eol);
        for (int n = 1; n <= max; ++n) {
            auto it = offsets.find(n);
            data += it == offsets.end() ? Entry(0, 0, 'f', Eol) : Entry(it->second, 0, 'n', Eol);
        }
        data += "trailer\n<< /Size " + std::to_string(max + 1) + " " + TrailerEntries + " >>\n";
        return at;
    }
    // A classic section of the given numbers only (one subsection each).
    int64_t Update(const std::vector<std::pair<int, char>>& Entries,
                   const std::string& TrailerEntries) {
        const int64_t at = static_cast<int64_t>(data.size());
        data += "xref\n";
        for (auto [n, t] : Entries) {
            data += std::to_string(n) + " 1\n";
            data += Entry(t == 'n' ? offsets[n] : 0, t == 'n' ? 0 : 1, t);
        }
        data += "trailer\n<< " + TrailerEntries + " >>\n";
        return at;
    }
    PdfBuilder& StartXRef(int64_t Pos) {
        data += "startxref\n" + std::to_string(Pos) + "\n%%EOF\n";
        return *this;
    }

    // Big-endian field.
    static std::string Field(uint64_t V, int W) {
        std::string s;
        for (int k = W - 1; k >= 0; --k) s += static_cast<char>((V >> (8 * k)) & 0xFF);
        return s;
    }
    // An uncompressed cross-reference stream object Num holding the rows
    // (type, field 2, field 3) with widths W; returns its offset.
    int64_t XRefStream(int Num, const std::vector<std::vector<uint64_t>>& Rows,
                       const std::vector<int>& W, const std::string& DictEntries) {
        std::string bytes;
        for (const auto& r : Rows)
            for (size_t k = 0; k < W.size() && k < r.size(); ++k) bytes += Field(r[k], W[k]);
        std::string w = "[";
        for (int x : W) w += " " + std::to_string(x);
        w += " ]";
        const int64_t at = static_cast<int64_t>(data.size());
        Stream(Num, "/Type /XRef /W " + w + " " + DictEntries, bytes);
        return at;
    }
};

// Catalog 1, page tree 2 with one page 3.
inline PdfBuilder MinimalBody(std::string Header = "%PDF-1.4\n") {
    PdfBuilder b(std::move(Header));
    b.Obj(1, "<< /Type /Catalog /Pages 2 0 R >>");
    b.Obj(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    b.Obj(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] >>");
    return b;
}

inline std::string MinimalPdf() {
    PdfBuilder b = MinimalBody();
    const int64_t x = b.Table("/Root 1 0 R");
    b.StartXRef(x);
    return b.data;
}

}  // namespace vpltest
