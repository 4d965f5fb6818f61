// Page 2 of the main window: conversions, scaling and re-encoding over
// every image of one folder.
#include "app/MainWindow.h"

namespace velmo::app {

void TForm_main::btn7Click(TObject*) {}
void TForm_main::btn8Click(TObject*) {}
void TForm_main::btn9Click(TObject*) {}
void TForm_main::btn10Click(TObject*) {}
void TForm_main::btn11Click(TObject*) {}
void TForm_main::btn12Click(TObject*) {}
void TForm_main::edt7MouseDown(TObject*, vcl::TMouseButton, vcl::TShiftState, int, int) {}
void TForm_main::ConvertOneFile(const std::u16string&, bool, bool&) {}
void TForm_main::ResizeOneFile(const std::u16string&, bool, bool&) {}
void TForm_main::RecompressOneFile(const std::u16string&, bool, bool&) {}

}  // namespace velmo::app
