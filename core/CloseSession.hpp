#pragma once

#include <functional>

namespace ostrel {

// Ends the session on screen as cancelled (see `Ostrel::close`): the host hears of the cancel,
// then `completion` runs. Without a session nothing happens and `completion` does not run.
// Declared here so that the UI kit's close button and time-out alert can end a session without
// knowing the facade; the facade defines it.
void closeSessionCancelled(std::function<void()> completion = {});

}  // namespace ostrel
