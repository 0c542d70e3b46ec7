// The application object: reads the command line, runs the update in the
// mode it asks for (the dialog, /quiet or /check), and ends with the
// process's exit code (an Ending, see common/state.h).
#pragma once

namespace app {

class CUpdaterApp {
public:
    int Run();
};

}  // namespace app
