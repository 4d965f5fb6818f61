// Builds one PDF from the JPEG files of a folder through the public library
// class, with the conversion tool's exact call sequence (one page per file,
// sized to the image in points). bench/api_images_to_pdf.sh times it against
// img2pdf on the same folder.
//   bench_api_images_to_pdf <folder> <output.pdf>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "api/VelmoPDF.h"
#include "platform/files/WideFile.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <output.pdf>\n", argv[0]);
        return 2;
    }
    std::vector<fs::path> files;
    for (const auto& e : fs::directory_iterator(argv[1])) {
        std::string ext = e.path().extension().string();
        std::transform(ext.begin(), ext.end(), ext.begin(), ::tolower);
        if (e.is_regular_file() && (ext == ".jpg" || ext == ".jpeg")) files.push_back(e.path());
    }
    std::sort(files.begin(), files.end());

    velmo::TVelmoPDF lib;
    lib.NewDocument();
    for (size_t i = 0; i < files.size(); ++i) {
        lib.AddImageFromFile(velmo::FileSystemNameToWide(files[i].string()), 1);
        const int32_t w = lib.ImageWidth();
        const int32_t h = lib.ImageHeight();
        lib.SetPageDimensions(w, h);
        lib.DrawImage(0, h, w, h);
        if (files.size() != i + 1) lib.NewPage();
    }
    return lib.SaveToFile(velmo::FileSystemNameToWide(argv[2])) == 1 ? 0 : 1;
}
