// Converts every page of one PDF to JPEG files at 72 dpi through the main
// window's PDF-to-images handler on the null host, as a click on its
// convert button does. bench/app_pdf_to_images.sh times it against
// pdftoppm -r 72 -jpeg on the same file.
//   bench_app_pdf_to_images <pdf> <output folder>
#include <cstdio>
#include <memory>
#include <string>

#include "app/MainWindow.h"
#include "platform/files/WideFile.h"
#include "platform/ui/host/NullHost.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s <pdf> <output folder>\n", argv[0]);
        return 2;
    }
    velmo::SetWindowHost(std::make_shared<velmo::TNullHost>());
    bool Done = false;
    {
        velmo::app::TForm_main Form(nullptr);
        Form.Show();
        Form.edt1->SetText(velmo::FileSystemNameToWide(argv[1]));
        Form.edt2->SetText(velmo::FileSystemNameToWide(argv[2]));
        Form.cbb1->SetItemIndex(1);
        Form.cbb1->SetText(u"JPG");
        Form.btn5Click(Form.btn5);
        Done = Form.lbl8->Caption() == u"进度：转换完成！";
    }
    if (!Done) std::fprintf(stderr, "%s was not converted\n", argv[1]);
    return Done ? 0 : 1;
}
