// The calls of platform.h that the substitute answers beside Win32 and DirectDraw.
#include "platform/platform.h"

#include "platform/controls/controls.h"
#include "platform/substitute/device/soft_display.h"

void SetTextInput(bool wanted) {
  controls::SetTextWanted(wanted);
}

void MirrorText(bool inputLine, std::u16string_view text) {
  soft::CurrentPresenter().MirrorText(inputLine, text);
}
