#include "Log.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

namespace keyholdlog {
namespace {
std::atomic<CLogSink*> g_logger{nullptr};
}

CLogSink* logger() { return g_logger.load(std::memory_order_acquire); }

CLogSink* setLogger(CLogSink* sink) { return g_logger.exchange(sink, std::memory_order_acq_rel); }

std::string sourceFileName(const char* file) {
    std::string name = file ? file : "";
    std::string::size_type slash = name.find_last_of("/\\");
    if (slash != std::string::npos) name.erase(0, slash + 1);
    return name;
}

std::string pathForLog(const std::string& path) {
    std::string::size_type end = path.find_last_not_of("/\\");
    if (end == std::string::npos) return path;  // the root
    std::string::size_type cut = path.find_last_of("/\\", end);
    return (cut == std::string::npos ? std::string() : path.substr(0, cut + 1)) + "*";
}

std::string formatV(const char* format, va_list args) {
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(nullptr, 0, format, args);
    std::string text;
    if (n > 0) {
        std::vector<char> buffer(static_cast<std::size_t>(n) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<std::size_t>(n));
    }
    va_end(again);
    return text;
}

void write(int level, const char* file, int line, const char* format, ...) {
    CLogSink* sink = logger();
    if (sink == nullptr) return;
    va_list args;
    va_start(args, format);
    std::string message = formatV(format, args);
    va_end(args);
    sink->log(level, sourceFileName(file).c_str(), line, message);
}

}  // namespace keyholdlog
