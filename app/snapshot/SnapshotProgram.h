// The snapshot mode wired to the running program: its main window is the one captured,
// enlarged and switched by the steps, and its own ending ends the run.
#pragma once

#include "SnapshotRun.h"

namespace rig::app {

class Program;

// Parts for runDevSnapshot: the program's services and main window (which follows the steps from
// now on), its overview page for "full", and its quit.
SnapshotRun::Parts programSnapshotParts(Program& program);

} // namespace rig::app
