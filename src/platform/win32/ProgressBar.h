#pragma once
// The launcher's progress bar: a real progress control, so tools find it by its class and read
// PBM_GETPOS, that keeps its position, painting and accessible object to itself.
//  - It paints as PaintProgressBar does, in the launcher's colours. Under Wine the control's own
//    painting costs about a frame (16 ms) per repaint.
//  - Each change of position raises one value-change event (Wine's control raises none).
//  - Asked for its accessible object, it answers one with the progress bar role and the value
//    "<n>%", and leaves the rest (place, state, name) to the system's standard object: Wine's
//    oleacc has no progress bar of its own.

#include "model/Palette.h"
#include "platform/win32/Win32Api.h"

namespace zl::win32 {

// Range 0 to 100, position 0.
HWND AddProgressBar(HWND parent, int id, const RECT& place, const BarColours& colours);
// The position is the percent rounded to a whole one; the fill shows the exact share.
void SetBarProgress(HWND bar, double percent);
void SetBarColours(HWND bar, const BarColours& colours);

}  // namespace zl::win32
