// The progress, log and request callbacks the panel hands to FsInit.
#pragma once

#include <iosfwd>

#include "WfxApi.h"

namespace panel {

class Answerer;

// Where the callbacks print and who answers requests. The plug-in may call
// them at any time after FsInit, so both must live until it is unloaded.
void attachCallbacks(std::ostream& out, Answerer& answerer);
void detachCallbacks();

// The user's "stop" in the copy dialog: the first progress report of
// `percent` or more is answered with abort (then no more); negative: never.
void abortProgressAt(int percent);

int WFX_CALL progressCallback(int pluginNr, char* sourceName, char* targetName, int percentDone);
void WFX_CALL logCallback(int pluginNr, int msgType, char* logString);
wfx::BOOL WFX_CALL requestCallback(int pluginNr, int requestType, char* customTitle, char* customText,
                                   char* returnedText, int maxlen);

}  // namespace panel
