// Harrowatch.exe: one copy per machine, the main window, and the message
// loop that the controller's waits yield to.
#include <windows.h>
#include <commctrl.h>

#include <memory>

#include "app/main_window.h"
#include "app/unregister.h"
#include "common/text.h"
#include "platform/win32/win32_desktop.h"
#include "ui/win32/guard.h"
#include "platform/win32/owners.h"
#include "win32/command_ids.h"
#include "win32/forms.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    using namespace hw;
    // The uninstaller's call: no window, the answer in the exit code.
    if (_stricmp(text::Trim(commandLine ? commandLine : "").c_str(), app::kUnregisterSwitch) == 0) {
        platform::win32::Win32Desktop desktop;
        std::string failure;
        return app::Unregister(desktop, failure) ? 0 : 1;
    }
    // The previous-instance test: the first copy holds the mutex, machine-wide
    // (a copy in another session would supervise the same server). One that
    // cannot even be opened is another copy's too.
    const platform::win32::KernelHandle single(CreateMutexA(nullptr, TRUE, win32::kSingleInstanceMutex));
    const bool previous = !single || GetLastError() == ERROR_ALREADY_EXISTS;
    if (previous) {
        // The operator started it again: the running copy's window comes forward.
        platform::win32::Win32Desktop desktop;
        if (!app::ShowRunningCopy(desktop, win32::kMainClass))
            MessageBoxA(nullptr,
                        "Harrowatch is already running on this computer, in another Windows session or still "
                        "starting. Only one copy supervises the server.",
                        "Harrowatch", MB_OK | MB_ICONINFORMATION | MB_SETFOREGROUND);
        return 0;
    }

    ui::Application app;
    app.prevInstance = [previous] { return previous; };
    app.end = [] { PostQuitMessage(0); };
    int exitCode = 0;
    if (!previous) {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES | ICC_WIN95_CLASSES};
        InitCommonControlsEx(&icc);
        platform::win32::Win32Desktop desktop;
        platform::win32::Win32Desktop::SetCallbackErrorHandler(ui::win32::ReportFromCallback);
        auto window = std::make_unique<win32::MainForm>(desktop, app);
        if (window->Create()) {
            window->Load();
            MSG msg;
            while (!app.ended && GetMessageA(&msg, nullptr, 0, 0) > 0) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        } else {
            exitCode = 1;
        }
        window.reset();
    }
    return exitCode;
}
