// Runs the conversion tool's batch scale tool over a folder: the main
// window's scale button on the null host, with the folder and the width in
// its edits, so every file goes through the tool's own per-file step (it is
// replaced by its scaled image, keeping the aspect ratio).
// bench/app_image_resize.sh times it against mogrify -resize on copies of
// the same files.
//   bench_app_image_resize <folder> <width>
#include <cstdio>
#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <width>\n", argv[0]);
        return 2;
    }
    velmo::SetWindowHost(std::make_shared<velmo::TNullHost>());
    int status = 1;
    {
        velmo::app::TForm_main form(nullptr);
        form.edt4->SetText(velmo::FileSystemNameToWide(argv[1]));
        form.edt6->SetText(velmo::FileSystemNameToWide(argv[2]));
        form.btn10Click(nullptr);
        // "0 B" means no file was scaled.
        const std::u16string done = form.lbl13->Caption();
        status = done.ends_with(u"：0 B") ? 1 : 0;
    }
    velmo::SetWindowHost(std::make_shared<velmo::TNullHost>());
    return status;
}
