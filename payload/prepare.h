// Start-up preparation: finds the installation, extracts the payload into a
// folder of the updater's own, and clean-up of what it extracted.
#pragma once

// Start-up result codes.
enum PrepareCode {
    kPrepareReady = 0,       // installation found, payload extracted
    kPrepareBadEngine = 1,   // the engine program or its library was not extracted
    kPrepareBadPatch = 2,    // a patch file was not extracted
    kPrepareNoTempName = 3,  // no folder of our own could be made for the payload
    kPrepareNotFound = 4,    // install or shared folder not found, or the user cancelled
};

// Fills installFolder, finalInstallFolder, message, tempFolder,
// engineProgramPath, engineLibraryPath and sharedFolder of g_state and
// returns a PrepareCode. The payload is read from the running executable.
// When the result is not kPrepareReady, whatever was extracted is removed
// again before returning (the dialog ends or never runs a patch).
int PrepareUpdate();

// The same, reading the payload from `carrierPath` (tests, tools).
int PrepareUpdateFrom(const char* carrierPath);

// Deletes the files this run extracted, and then the folder made for them.
// Touches nothing else: without a successful extraction it does nothing.
// Safe to call more than once.
void RemoveExtractedFiles();
