#include "engine/core/load_checkpoint.h"

#include <utility>

namespace halcyon {

namespace {

struct CheckpointState {
  LoadCheckpoint checkpoint;
  bool abandoned = false;
};

CheckpointState& state() {
  static CheckpointState s;
  return s;
}

}  // namespace

void setLoadCheckpoint(LoadCheckpoint checkpoint) {
  state().checkpoint = std::move(checkpoint);
  state().abandoned = false;
}

bool loadGoesOn() {
  CheckpointState& s = state();
  if (s.abandoned) return false;
  if (s.checkpoint && !s.checkpoint()) s.abandoned = true;
  return !s.abandoned;
}

}  // namespace halcyon
