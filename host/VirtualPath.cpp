#include "VirtualPath.h"

#include <vector>

namespace panel {

namespace {

void appendComponents(std::vector<std::string>& parts, const std::string& path) {
    std::string::size_type start = 0;
    while (start <= path.size()) {
        std::string::size_type end = path.find('\\', start);
        if (end == std::string::npos) end = path.size();
        std::string part = path.substr(start, end - start);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        start = end + 1;
    }
}

}  // namespace

std::string resolvePath(const std::string& current, const std::string& name) {
    std::vector<std::string> parts;
    if (name.empty() || name[0] != '\\') appendComponents(parts, current);
    appendComponents(parts, name);
    if (parts.empty()) return "\\";
    std::string path;
    for (const auto& part : parts) path += "\\" + part;
    return path;
}

std::string parentPath(const std::string& path) {
    return resolvePath(path, "..");
}

std::string lastComponent(const std::string& path) {
    std::string normal = resolvePath("\\", path);
    return normal.substr(normal.rfind('\\') + 1);
}

}  // namespace panel
