// Harrowatch's own pictures, drawn at start: the program icon, the toolbar
// images, the reset items, the drag pointer and the words on picture buttons.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

namespace hw::win32 {

HICON MakeAppIcon(int size);

// The toolbar's image list: 32 x 32, one image per key, in this order.
inline constexpr const char* kToolbarImageKeys[] = {"CONFIGURE",    "HIDE_SERVER", "CLOSE_SERVER",
                                                    "START_SERVER", "STOP_SERVER", "SHOW_SERVER"};
int ToolbarImageIndex(const std::string& key);
HIMAGELIST MakeToolbarImages();

// The sixteen reset items, 16 x 16, centred in images `height` pixels high.
HICON MakeItemIcon(int index);
HIMAGELIST MakeItemImages(int height);
HCURSOR MakeDragCursor();

// A picture button's face: a small glyph and the word beside it.
enum class Glyph { Cross, Broom, Tick, Send, Back };
HBITMAP MakeWordBitmap(const char* word, Glyph glyph, int width, int height);

}  // namespace hw::win32
