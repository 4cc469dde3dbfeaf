// The log call. Every message carries a level, the source file's name, the
// line of the call and a printf-style message. Nothing is written (and the
// arguments are not even formatted) while no logger exists, that is while
// DebugLogging is off.
#pragma once

#include <atomic>
#include <cstdarg>
#include <string>

enum eLogLevel { eRubbish = 0, eInformation, eImportant, eWarning, eTroubleShoot, eError, eFatal };

// Receives the formatted messages; the file logger is one.
class CLogSink {
public:
    virtual ~CLogSink() = default;
    virtual void log(int level, const char* file, int line, const std::string& message) = 0;
};

namespace keyholdlog {

// The process-wide logger, or null.
CLogSink* logger();
// Installs a logger (null removes it); returns the previous one.
CLogSink* setLogger(CLogSink* sink);

// Formats and hands the message to the logger, if there is one.
void write(int level, const char* file, int line, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 4, 5)))
#endif
    ;

// The name of a source file without its folders ("Listing.cpp").
std::string sourceFileName(const char* file);

// A virtual path as the log may show it: its folders, and in place of its
// last component "*". That component may be an entry's title, and the title
// of an encrypted entry is a secret; entries are named in the log by their
// number only.
std::string pathForLog(const std::string& path);

// A printf-style text, formatted whole.
std::string formatV(const char* format, va_list args);

}  // namespace keyholdlog

#define KH_LOG(level, ...)                                                   \
    do {                                                                     \
        if (keyholdlog::logger() != nullptr)                                 \
            keyholdlog::write((level), __FILE__, __LINE__, __VA_ARGS__);     \
    } while (0)

// "Entering <name>" and "Leaving <name>" at eRubbish.
#define KH_ENTER(name) KH_LOG(eRubbish, "Entering %s", (name))
#define KH_LEAVE(name) KH_LOG(eRubbish, "Leaving %s", (name))
