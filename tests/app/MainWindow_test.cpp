#include <gtest/gtest.h>

#include <memory>

#include "app/MainWindow.h"
#include "platform/ui/host/NullHost.h"

namespace velmo::app {
namespace {

TEST(MainWindow, BuildsFromItsStoredFormOnWelcomePage) {
    SetWindowHost(std::make_shared<TNullHost>());
    {
        TForm_main Form(nullptr);
        Form.Show();
        EXPECT_EQ(Form.pgc1->ActivePageIndex(), 0);
        EXPECT_EQ(Form.ClientWidth(), 713);
        EXPECT_EQ(Form.ClientHeight(), 474);
        EXPECT_EQ(Form.cbb1->ItemIndex(), 1);
        EXPECT_EQ(Form.edt7->Text(), u"100");
        EXPECT_EQ(Form.btn13->Left(), 154);
        EXPECT_EQ(Form.dp1->Parent(), Form.ts2);
    }
    SetWindowHost(std::make_shared<TNullHost>());
}

}  // namespace
}  // namespace velmo::app
