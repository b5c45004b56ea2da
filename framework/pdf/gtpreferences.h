#pragma once
// The preferences of a PDF export, set by the caller before the export runs.

namespace kpr {

struct TgtPreferences
{
    // The PDF writer stores a picture drawn on many pages once and refers to it from each
    // page, whichever the value; the flag is kept for the callers that set it.
    bool UseImagesAsResources = false;
    // Pages are written to the file as each one is finished, whichever the value; kept for
    // the callers that set it.
    bool ProcessAfterEachPage = false;
    // Shows the PDF options dialog (title, author, compression) before writing; cancelling
    // it ends the export silently with nothing written.
    bool ShowSetupDialog = false;
    // Opens the finished file in the desktop's PDF viewer; a viewer that cannot be started
    // does not make the export fail.
    bool OpenAfterCreate = false;
    // Writes to the stream set with setUserStream instead of the output file.
    bool OutputToUserStream = false;
};

} // namespace kpr
