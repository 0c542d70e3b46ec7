// The application object: runs the main dialog and ends with it.
#pragma once

class CUpdaterApp {
public:
    // Runs the main dialog modally and returns its result, which becomes the
    // process's exit code: 0, 1, 2 or 5 from start-up, 2 from Cancel/Quit,
    // -1 when the dialog could not be created at all.
    int Run();
};
