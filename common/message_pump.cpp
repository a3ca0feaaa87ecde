#include "common/message_pump.h"

#include <windows.h>

namespace korva {

void PumpPendingMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE)) {
    if (!GetMessageA(&message, nullptr, 0, 0)) {
      // The quit message was taken: put it back for the loop that owns it.
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace korva
