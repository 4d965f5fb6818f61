// A test-side PDF assembler for image pages: it gives each built image a page
// of its pixel size in points, drawn by the content writer, and writes the
// registered objects with a cross-reference table. It stands in for the
// document's save in tests of the image objects.
#pragma once

#include <cstdio>
#include <functional>
#include <string_view>
#include <string>
#include <vector>

#include "content/Image.h"
#include "content/Painter.h"
#include "tests/content/ImageFixtures.h"

namespace vpltest {

struct TMiniPdf : TRegistry {
    velmo::TPDFDictionary* Pages;
    velmo::TPDFArray* Kids;
    int32_t PagesNum = 0;

    TMiniPdf() {
        Pages = S.NewDictionary();
        Kids = S.NewArray();
        Pages->Add("Type", S.NewCommonName("Pages"));
        Pages->Add("Kids", Kids);
        int32_t g = 0;
        S.OnNewIndObj(nullptr, Pages, PagesNum, g);
    }

    void AddImagePage(velmo::TPDFImage& Image) {
        using namespace velmo;
        const double w = Image.FWidth, h = Image.FHeight;
        TPDFPainter painter(nullptr);
        painter.PDFPrecNum = S.PDFPrecNum;
        painter.DrawImage(&Image, 0, h, w, h);
        TPDFStream* content = S.NewStream(painter.GetSource(), true);
        int32_t cn = 0, g = 0;
        S.OnNewIndObj(nullptr, content, cn, g);
        TPDFDictionary* page = S.NewDictionary();
        page->Add("Type", S.NewCommonName("Page"));
        page->Add("Parent", S.NewIndirectRef(PagesNum, 0));
        page->Add("MediaBox", S.NewDoubleArray({0, 0, w, h}));
        TPDFDictionary* xobjects = S.NewDictionary();
        xobjects->Add(Image.FName, S.NewIndirectRef(Image.FIndRef->ObjNum, 0));
        TPDFDictionary* res = S.NewDictionary();
        res->Add("XObject", xobjects);
        page->Add("Resources", res);
        page->Add("Contents", S.NewIndirectRef(cn, 0));
        int32_t pn = 0;
        S.OnNewIndObj(nullptr, page, pn, g);
        Kids->Add(S.NewIndirectRef(pn, 0));
        Pages->Add("Count", S.NewNumeric(Kids->Count()));
    }

    // Writes the file through Sink piece by piece; stream data is handed
    // over as it is held, never copied whole.
    void Write(const std::function<void(std::string_view)>& Sink) {
        using namespace velmo;
        TPDFDictionary* catalog = S.NewDictionary();
        catalog->Add("Type", S.NewCommonName("Catalog"));
        catalog->Add("Pages", S.NewIndirectRef(PagesNum, 0));
        int32_t rn = 0, g = 0;
        S.OnNewIndObj(nullptr, catalog, rn, g);
        size_t written = 0;
        auto put = [&](std::string_view Piece) {
            Sink(Piece);
            written += Piece.size();
        };
        put("%PDF-1.5\n%\xE2\xE3\xCF\xD3\n");
        std::vector<size_t> offsets;
        std::string text;
        for (size_t i = 0; i < Objects.size(); ++i) {
            offsets.push_back(written);
            text = std::to_string(i + 1) + " 0 obj\n";
            if (auto* stream = ObjAs<TPDFStream>(Objects[i])) {
                stream->Dictionary()->OutputTo(text);
                text += "stream\n";
                put(text);
                put(stream->Stream());
                put("\nendstream\nendobj\n");
            } else {
                Objects[i]->OutputTo(text);
                text += "\nendobj\n";
                put(text);
            }
        }
        const size_t xref = written;
        text = "xref\n0 " + std::to_string(Objects.size() + 1) + "\n0000000000 65535 f \n";
        for (size_t o : offsets) {
            char line[24];
            std::snprintf(line, sizeof line, "%010zu 00000 n \n", o);
            text += line;
        }
        text += "trailer\n<< /Size " + std::to_string(Objects.size() + 1) + " /Root " +
                std::to_string(rn) + " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        put(text);
    }

    std::string Save() {
        std::string out;
        Write([&out](std::string_view Piece) { out.append(Piece); });
        return out;
    }

    bool SaveToFile(const std::string& Path) {
        std::FILE* f = std::fopen(Path.c_str(), "wb");
        if (!f) return false;
        bool ok = true;
        Write([&](std::string_view Piece) {
            ok = ok && std::fwrite(Piece.data(), 1, Piece.size(), f) == Piece.size();
        });
        return std::fclose(f) == 0 && ok;
    }
};

}  // namespace vpltest
