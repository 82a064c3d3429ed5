#pragma once

#include <functional>
#include <string>

#include "tools/hostsim/HostSession.h"

namespace hostsim {

// Draws the groups of the session's loaded add-ins as a ribbon would, with real controls: a combo box per
// drop-down, check boxes, buttons (the Print button large), the group's label under it and the dialog
// launcher in its corner, each wired to the control's callbacks through the session. Runs on the calling
// thread until the window is closed, or until `closeSignal` (when given) exists; says where the window is
// once it is shown, and prints the host's calls of every action through `print`.
void runGroupWindow(HostSession& session, const std::wstring& closeSignal,
                    const std::function<void(const std::wstring&)>& print);

}  // namespace hostsim
