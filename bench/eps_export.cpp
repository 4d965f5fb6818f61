// Writes one page of a PDF file as EPS through the public library class
// (page-file option 4). bench/eps_export.sh times it against `pdftops -eps`
// on the same pages, one process per page for both.
//   bench_eps_export <file.pdf> <page> <output.eps>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "api/VelmoPDF.h"
#include "platform/files/WideFile.h"

int main(int argc, char** argv) {
    if (argc != 4) {
        std::fprintf(stderr, "usage: %s <file.pdf> <page> <output.eps>\n", argv[0]);
        return 2;
    }
    velmo::TVelmoPDF lib;
    if (lib.LoadFromFile(velmo::FileSystemNameToWide(argv[1]), u"") != 1) return 2;
    const int32_t page = std::atoi(argv[2]);
    if (page < 1 || page > lib.PageCount()) return 2;
    return lib.RenderPageToFile(72, page, 4, velmo::FileSystemNameToWide(argv[3])) == 1 ? 0 : 1;
}
