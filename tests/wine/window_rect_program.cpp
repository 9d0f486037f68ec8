// For the pictures in docs/: finds the shown top-level window of a title,
// optionally moves it, and prints where it lies on the screen as
// "WxH+X+Y CX CY": its whole rectangle, frame and title bar included (the
// form ImageMagick's -crop takes), then where its client area begins.
// Exit code 1 when no such window shows, 2 on bad arguments.
#include <windows.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    if (argc != 2 && argc != 4) {
        std::fprintf(stderr, "usage: hw_window_rect TITLE [X Y]\n");
        return 2;
    }
    HWND window = FindWindowA(nullptr, argv[1]);
    if (!window || !IsWindowVisible(window)) return 1;
    if (argc == 4 && !SetWindowPos(window, nullptr, std::atoi(argv[2]), std::atoi(argv[3]), 0, 0,
                                   SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE))
        return 1;
    RECT r{};
    POINT client{0, 0};
    if (!GetWindowRect(window, &r) || !ClientToScreen(window, &client)) return 1;
    std::printf("%ldx%ld+%ld+%ld %ld %ld\n", r.right - r.left, r.bottom - r.top, r.left, r.top, client.x, client.y);
    return 0;
}
