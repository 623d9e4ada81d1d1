#pragma once
// Long loads (the scene's textures above all) pass checkpoints between their steps, where the
// shell looks whether the person has asked to leave. Once they have, the load is abandoned:
// the steps still to come are skipped, what was loaded stays to be let go with the rest at the
// run's end, and the run ends as soon as the load returns instead of when it would have
// finished.
#include <functional>

namespace halcyon {

// Answers true while the load should go on.
using LoadCheckpoint = std::function<bool()>;

// Sets the checkpoint (an empty function clears it) and forgets an earlier abandonment.
void setLoadCheckpoint(LoadCheckpoint checkpoint);

// Called by a load between two of its steps: false once the load is abandoned, from then on
// without asking the checkpoint again. Without a checkpoint a load always goes on.
bool loadGoesOn();

}  // namespace halcyon
