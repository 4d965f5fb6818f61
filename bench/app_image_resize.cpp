// Scales every JPEG file of a folder to one width in place, keeping the
// aspect ratio, through the conversion tool's imaging layer (the batch scale
// tool's per-file work). bench/app_image_resize.sh times it against
// mogrify -resize on copies of the same files.
//   bench_app_image_resize <folder> <width>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/Utilities.h"
#include "app/imaging/Imaging.h"
#include "platform/files/WideFile.h"

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <width>\n", argv[0]);
        return 2;
    }
    const int width = std::atoi(argv[2]);
    int done = 0;
    velmo::ForEachFile(velmo::FileSystemNameToWide(argv[1]), u"*.jpg;*.jpeg",
                       [&](const std::u16string& file, bool, bool&) {
                           int w = 0, h = 0;
                           velmo::GetImageSize(file, w, h);
                           const int H = int(velmo::RoundHalfUp(h * (double(width) / w)));
                           velmo::ResizeImageFile(file, file, width, H);
                           ++done;
                       });
    return done > 0 ? 0 : 1;
}
