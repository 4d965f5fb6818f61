// Page 3 of the main window: one PDF from a list of JPEG files.
#include "app/MainWindow.h"

namespace velmo::app {

void TForm_main::btn13Click(TObject*) {}
void TForm_main::btn14Click(TObject*) {}
void TForm_main::btn15Click(TObject*) {}
void TForm_main::btn16Click(TObject*) {}
void TForm_main::btn17Click(TObject*) {}
void TForm_main::AddImageToList(const std::u16string&, bool, bool&) {}

}  // namespace velmo::app
