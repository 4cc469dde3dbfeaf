#include "VirtualPath.h"

#include <algorithm>

std::string VirtualPathFromHost(const char* hostPath) {
    if (hostPath == nullptr) return "\\";
    std::string path(hostPath);
#if !defined(_WIN32)
    std::replace(path.begin(), path.end(), '/', '\\');
#endif
    return path;
}

bool HasEmptyComponent(const std::string& path) {
    // The first character is the leading separator; what follows must not
    // begin with another one, nor hold two in a row anywhere.
    if (path.size() < 2) return false;
    return path[1] == '\\' || path.find("\\\\", 1) != std::string::npos;
}

std::size_t SplitVirtualPath(const std::string& path, std::vector<std::string>& components, bool dropLast) {
    components.clear();
    const bool gap = HasEmptyComponent(path);
    // The first character is the leading backslash.
    std::string rest = path.size() > 1 ? path.substr(1) : std::string();
    // One separator after the last name closes it; any other stays, and
    // shows as an empty component.
    if (!gap && !rest.empty() && rest.back() == '\\') rest.pop_back();
    std::string::size_type slash;
    while ((slash = rest.find('\\')) != std::string::npos) {
        components.push_back(rest.substr(0, slash));
        rest.erase(0, slash + 1);
    }
    if (!dropLast || gap) components.push_back(rest);
    return components.size();
}

int FindNodeByPath(const std::vector<std::string>& components, TreePos& current, TreePos& cursor,
                   std::string& missing, TreePos start) {
    PasswordTree& tree = passwordTree();
    // The root's single empty component stands for the start itself; an empty
    // component anywhere else names no node, not the node before it.
    if (components.size() > 1 &&
        std::any_of(components.begin(), components.end(), [](const std::string& c) { return c.empty(); })) {
        current = TreePos();
        missing.clear();
        return 0;
    }
    current = start;
    if (components.empty() || start == tree.end() || !start.valid()) return 0;
    for (std::size_t i = 0; i < components.size(); ++i) {
        missing = components[i];
        TreePos found;
        for (auto child = tree.children(current).begin(); child != tree.children(current).end(); ++child) {
            if (child->name == components[i]) {
                found = child.position();
                break;
            }
        }
        if (!found.valid()) return 0;
        missing.clear();
        current = found;
        if (!tree.hasChildren(found)) {
            if (i + 1 < components.size()) missing = components[i + 1];
            return 0;
        }
        cursor = tree.firstChild(found);
        if (i + 1 == components.size()) return 1;
    }
    return 0;
}
