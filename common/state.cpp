#include "common/state.h"

namespace common {

UpdaterState g_state;

static const char kInitialMessage[] =
    "Click \"Begin Update\" to update the Kestrin installation in folder %s to Dovetra 5.0.3.";

void ResetUpdaterState() {
    g_state = UpdaterState{};
    g_state.message = kInitialMessage;
    g_state.ending = Ending::kCancelled;
}

namespace {
struct InitialState {
    InitialState() { ResetUpdaterState(); }
} g_initialState;
}  // namespace

const PatchStep g_patchSteps[kPatchStepCount] = {
    {"UpdV1-V1.RTP", "RTP3"},
    {"UpdV1-V2.RTP", "RTP1"},
    {"UpdV2-V3.RTP", "RTP2"},
};

}  // namespace common
