// Page 1 of the main window: every page of one PDF written as image files.
#include "app/MainWindow.h"

namespace velmo::app {

void TForm_main::btn4Click(TObject*) {}
void TForm_main::btn5Click(TObject*) {}
void TForm_main::btn6Click(TObject*) {}
void TForm_main::dp1DragFile(TObject*, const std::vector<std::u16string>&) {}

}  // namespace velmo::app
