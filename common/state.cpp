#include "common/state.h"

UpdaterState g_state;

static const char kInitialMessage[] =
    "Click \"Begin Update\" to update the Kestrin installation in folder %s to Dovetra 5.0.3.";

void ResetUpdaterState() {
    g_state = UpdaterState{};
    g_state.message = kInitialMessage;
}

namespace {
struct InitialState {
    InitialState() { g_state.message = kInitialMessage; }
} g_initialState;
}  // namespace

const PatchStep g_patchSteps[4] = {
    {"UpdV1-V1.RTP", "RTP3", g_state.installFolder},
    {"UpdV1-V2.RTP", "RTP1", g_state.installFolder},
    {"UpdV2-V3.RTP", "RTP2", g_state.installFolder},
    {"", "", nullptr},
};
