// Acting on a modal dialog from inside its event loop, as a user would.
#pragma once

#include <QWidget>

#include <functional>

namespace rig::app::testing {

// Calls `act` with the next modal widget once it is showing.
void whenModalShows(std::function<void(QWidget*)> act);

} // namespace rig::app::testing
