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

std::size_t SplitVirtualPath(const std::string& path, std::vector<std::string>& components, bool dropLast) {
    components.clear();
    // The first character is the leading backslash.
    std::string rest = path.size() > 1 ? path.substr(1) : std::string();
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    std::string::size_type slash;
    while ((slash = rest.find('\\')) != std::string::npos) {
        components.push_back(rest.substr(0, slash));
        rest.erase(0, slash + 1);
    }
    if (!dropLast) components.push_back(rest);
    return components.size();
}

int FindNodeByPath(const std::vector<std::string>& components, TreePos& current, TreePos& cursor,
                   std::string& missing, TreePos start) {
    PasswordTree& tree = passwordTree();
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
