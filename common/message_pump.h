// Dispatches the messages already queued, so that a new page is painted before a long wait
// on the user-interface thread.
#pragma once

namespace korva {

void PumpPendingMessages();

}  // namespace korva
