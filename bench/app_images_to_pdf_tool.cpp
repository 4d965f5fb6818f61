// Builds one PDF from every JPEG file of a folder through the conversion
// tool's window on the null host: the folder is listed by the "选择图片"
// handler and the PDF made by the "生成PDF" handler, as a click would.
// bench/app_images_to_pdf_tool.sh times it against img2pdf on the same files.
//   bench_app_images_to_pdf_tool <folder> <output.pdf>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "app/MainWindow.h"
#include "app/Utilities.h"
#include "core/Unicode.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <folder> <output.pdf>\n", argv[0]);
        return 2;
    }
    using namespace velmo;
    SetWindowHost(std::make_shared<TNullHost>());
    const std::u16string Folder = FileSystemNameToWide(argv[1]);
    SetFolderPicker([Folder] { return std::optional<std::u16string>(Folder); });
    bool Done = false;
    {
        app::TForm_main Form(nullptr);
        Form.btn13->Click();
        Form.edt8->SetText(FileSystemNameToWide(argv[2]));
        Form.btn17->Click();
        const std::u16string Progress = Form.lbl19->Caption();
        Done = Progress.rfind(u"进度：生成PDF完成", 0) == 0;
        std::printf("%d files: %s\n", Form.lst1->ItemCount(), WideToUTF8(Progress).c_str());
    }
    return Done ? 0 : 1;
}
