#include "HostCallbacks.h"

#include <ostream>

#include "Format.h"
#include "Requests.h"

namespace panel {

namespace {

std::ostream* output = nullptr;
Answerer* answers = nullptr;

std::string text(const char* s) {
    return escapeText(s ? s : "");
}

}  // namespace

void attachCallbacks(std::ostream& out, Answerer& answerer) {
    output = &out;
    answers = &answerer;
}

void detachCallbacks() {
    output = nullptr;
    answers = nullptr;
}

int WFX_CALL progressCallback(int, char* sourceName, char* targetName, int percentDone) {
    if (output) *output << "progress: " << text(sourceName) << " -> " << text(targetName) << " " << percentDone << "%\n";
    return 0;
}

void WFX_CALL logCallback(int, int msgType, char* logString) {
    if (output) *output << "log[" << logTypeName(msgType) << "]: " << text(logString) << "\n";
}

wfx::BOOL WFX_CALL requestCallback(int, int requestType, char* customTitle, char* customText, char* returnedText,
                                   int maxlen) {
    if (!output || !answers) return 0;
    return handleRequest(*answers, *output, requestType, customTitle, customText, returnedText, maxlen);
}

}  // namespace panel
