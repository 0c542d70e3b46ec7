// One step of the dialog's progress bar, as the registry migration and the
// sequencer need it; the main dialog implements it, tests count the calls.
#pragma once

class Progress {
public:
    virtual void StepProgress() = 0;

protected:
    ~Progress() = default;
};
