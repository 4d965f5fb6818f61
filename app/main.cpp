// The conversion tool's program: start-up, the main window's message loop
// and shut-down.
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include <SDL.h>

#include "app/MainWindow.h"
#include "app/UsageCounter.h"
#include "app/Utilities.h"
#include "core/Engine.h"
#include "platform/net/Http.h"
#include "platform/ui/FileChoosers.h"
#include "platform/ui/host/NullHost.h"
#include "platform/ui/host/SdlHost.h"

namespace {

using namespace velmo;

bool Set(const char* Name) {
    const char* V = std::getenv(Name);
    return V && *V;
}

// Said before any window exists when there is no screen to show one on.
int NoDisplay(const std::string& HostError) {
    std::fputs(
        "velmo-convert: no display found; the conversion tool needs a graphical session "
        "(DISPLAY is not set).\n",
        stderr);
    if (!HostError.empty()) std::fprintf(stderr, "velmo-convert: SDL: %s\n", HostError.c_str());
    return 2;
}

// The folder dialog of the tools: the desktop's folder chooser over the
// main window.
std::optional<std::u16string> ChooseFolder() {
    TFileChooserRequest Request;
    Request.Kind = TFileChooserKind::Folder;
    if (vcl::TCustomForm* Main = vcl::Application()->MainForm()) Request.Owner = Main->Handle();
    TFileChooserResult Result = ShowFileChooser(Request);
    if (!Result.Accepted || Result.Files.empty()) return std::nullopt;
    return Result.Files.front();
}

}  // namespace

int main() {
    // The internet library is set up before any thread exists; the usage
    // counter's thread is the first.
    InternetStartup();
    StartCounter();
    EngineStartup();

    if (!Set("DISPLAY") && !Set("WAYLAND_DISPLAY")) {
        EngineShutdown();
        return NoDisplay({});
    }
    // Only a screen someone looks at: without the hint SDL falls back to
    // drawing off screen when the display cannot be reached, and the
    // program would run with no window to see.
    SDL_SetHint(SDL_HINT_VIDEODRIVER, Set("DISPLAY") ? "x11" : "wayland");
    if (std::string Error = StartSdlHost(); !Error.empty()) {
        EngineShutdown();
        return NoDisplay(Error);
    }
    SetFolderPicker(&ChooseFolder);

    vcl::TApplication* App = vcl::Application();
    App->Initialize();
    App->SetTitle(u"OrvekanPDF图片转换工具");
    HICON Icon = app::MakeProgramIcon();
    App->Icon().SetHandle(Icon);
    auto* Form = App->CreateForm<app::TForm_main>();
    // The window's caption shows the same icon; the application keeps it.
    SendMessageW(Form->Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(Icon));
    SendMessageW(Form->Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(Icon));
    App->Run();

    // The window goes before the screen does.
    delete Form;
    App->SetMainForm(nullptr);
    SetFolderPicker({});
    SetWindowHost(std::make_shared<TNullHost>());
    EngineShutdown();
    return 0;
}
