#include "HostCallbacks.h"

#include <ostream>

#include "Format.h"
#include "Requests.h"

namespace panel {

namespace {

std::ostream* output = nullptr;
Answerer* answers = nullptr;
int abortAt = -1;

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

void abortProgressAt(int percent) { abortAt = percent; }

int WFX_CALL progressCallback(int, char* sourceName, char* targetName, int percentDone) {
    const bool abort = abortAt >= 0 && percentDone >= abortAt;
    if (abort) abortAt = -1;
    if (output) {
        *output << "progress: " << text(sourceName) << " -> " << text(targetName) << " " << percentDone << "%"
                << (abort ? " (stopped by the user)" : "") << "\n";
    }
    return abort ? 1 : 0;
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
