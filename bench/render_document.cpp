// The public class's page-image road as one process per file, for
// bench/render_document.sh:
//   bench_render_document <file.pdf> <first page> <last page> <dpi> <output folder>
// loads the file and writes pages first..last (clamped to the document) as
// <output folder>/p<page, 4 digits>.png through RenderDocumentToFile.
// Exit 0 when every page was written, 1 when the operation failed, 2 when
// the file does not load.
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "api/VelmoPDF.h"
#include "platform/files/WideFile.h"

int main(int argc, char** argv) {
    if (argc != 6) {
        std::fprintf(stderr, "usage: %s file.pdf first last dpi folder\n", argv[0]);
        return 2;
    }
    try {
        velmo::TVelmoPDF Lib;
        if (Lib.LoadFromFile(velmo::FileSystemNameToWide(argv[1]), u"") != 1) return 2;
        const int32_t Result = Lib.RenderDocumentToFile(
            std::atof(argv[4]), std::atoi(argv[2]), std::atoi(argv[3]), 5,
            velmo::FileSystemNameToWide(std::string(argv[5]) + "/p.png"));
        return Result == 1 ? 0 : 1;
    } catch (const std::exception& E) {
        std::fprintf(stderr, "%s\n", E.what());
        return 1;
    }
}
