#include "NodeIcon.h"

#include "Log.h"
#include "TreeNode.h"
#include "VirtualPath.h"
#include "platform/Icons.h"
#include "platform/Platform.h"

namespace {

const char* kindOf(std::int32_t resourceId) { return resourceId == eIcon_Entry ? "File icon" : "Dir icon"; }

struct BuiltInRow {
    const char* path;
    std::int32_t resourceId;
};

const BuiltInRow kBuiltInRows[] = {
    {"\\Main", eIcon_DatabaseRoot},
    {"\\Email\\", eIcon_Email},
    {"\\Homebanking\\", eIcon_Homebanking},
    {"\\Internet\\", eIcon_Internet},
    {"\\Network\\", eIcon_Network},
    {"\\Key", eIcon_Entry},
    {"\\Windows\\", eIcon_Windows},
    {"\\New Entry", eIcon_NewEntry},
    {"\\Lock Keyhold", eIcon_Lock},
    {"\\UnLock Keyhold", eIcon_UnLock},
    {"\\Default Auto Type Window is OFF", eIcon_AutoTypeWindowOff},
    {"\\Default Auto Type Window is ON", eIcon_AutoTypeWindowOn},
    {"\\[New Entry]", eIcon_NewEntry},
    {"\\Reload Database", eIcon_Reload},
};

// The special top-level folders, by their whole absolute path; only these
// exact spellings count.
struct FolderRow {
    const char* path;
    std::int32_t resourceId;
};

const FolderRow kFolderRows[] = {
    {"\\email\\", eIcon_Email},
    {"\\Email\\", eIcon_Email},
    {"\\homebanking\\", eIcon_Homebanking},
    {"\\Homebanking\\", eIcon_Homebanking},
    {"\\internet\\", eIcon_Internet},
    {"\\Internet\\", eIcon_Internet},
    {"\\network\\", eIcon_Network},
    {"\\Network\\", eIcon_Network},
    {"\\windows\\", eIcon_Windows},
    {"\\Windows\\", eIcon_Windows},
};

std::int32_t folderIconFor(const std::string& absolutePath) {
    for (const FolderRow& row : kFolderRows) {
        if (absolutePath == row.path) return row.resourceId;
    }
    return eIcon_Folder;
}

// "\Name" for the last component of a path, after one trailing backslash is
// dropped.
std::string lastComponentKey(const std::string& path) {
    std::string rest = path;
    if (!rest.empty() && rest.back() == '\\') rest.pop_back();
    std::string::size_type slash = rest.rfind('\\');
    return slash == std::string::npos ? rest : rest.substr(slash);
}

}  // namespace

std::int32_t pathChecksum(const std::string& path) {
    std::int32_t sum = 0;
    for (std::size_t i = 0; i < path.size(); ++i) {
        sum += static_cast<std::int32_t>(static_cast<signed char>(path[i])) * static_cast<std::int32_t>(i);
    }
    return sum;
}

CNodeIcon::CNodeIcon() { addBuiltInRows(); }

void CNodeIcon::addBuiltInRows() {
    for (const BuiltInRow& row : kBuiltInRows) addIconToMap(pathChecksum(row.path), row.resourceId, row.path, "");
}

std::optional<tIconInfo> CNodeIcon::getNodeIcon(const std::string& path) const {
    std::lock_guard<std::mutex> guard(m_mutex);
    auto found = m_map.find(path);
    if (found == m_map.end()) found = m_map.find(lastComponentKey(path));
    if (found == m_map.end() || !found->second) {
        KH_LOG(eFatal, "getNodeIcon(%s)", keyholdlog::pathForLog(path).c_str());
        return std::nullopt;
    }
    KH_LOG(eInformation, "getNodeIcon(%s) with %s", keyholdlog::pathForLog(path).c_str(),
           kindOf(found->second->resourceId));
    return *found->second;
}

int CNodeIcon::addIconToMap(std::int32_t keyValue, std::int32_t resourceId, const std::string& path,
                            const std::string& iconName) {
    std::unique_ptr<tIconInfo> record(new tIconInfo{keyValue, resourceId, path, iconName});
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_map[path] = std::move(record);
    }
    KH_LOG(eInformation, "addIconToMap(%s) with %s", keyholdlog::pathForLog(path).c_str(), kindOf(resourceId));
    return 1;
}

int CNodeIcon::addNodeIcon(const tTreeNode& node) {
    if (!node.isDefaultIcon()) return 0;
    const auto key = static_cast<std::int32_t>(node.uniqueNumber);
    if (node.isEntry()) return addIconToMap(key, eIcon_Entry, node.absolutePath, node.icon);
    if (node.isFolder()) return addIconToMap(key, folderIconFor(node.absolutePath), node.absolutePath, node.icon);
    return 0;
}

int CNodeIcon::deleteNodeIcon(const std::string& path) {
    std::unique_ptr<tIconInfo> record;
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        auto found = m_map.find(path);
        if (found == m_map.end()) return 0;
        record = std::move(found->second);
        m_map.erase(found);
    }
    if (!record) {
        KH_LOG(eError, "Failed searching for: %s", keyholdlog::pathForLog(path).c_str());
        return 1;
    }
    KH_LOG(eRubbish, "Deeting icon %s with %s", keyholdlog::pathForLog(path).c_str(), kindOf(record->resourceId));
    return 1;
}

int CNodeIcon::replaceNodeIcon(const tTreeNode& node, const std::string& formerPath) {
    int added = addNodeIcon(node);
    // A node whose path did not change keeps the row just written.
    if (!formerPath.empty() && formerPath != node.absolutePath) deleteNodeIcon(formerPath);
    return added;
}

std::size_t CNodeIcon::size() const {
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_map.size();
}

void CNodeIcon::resetForTesting() {
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_map.clear();
    }
    addBuiltInRows();
}

CNodeIcon& nodeIcons() {
    static CNodeIcon map;
    return map;
}

int ExtractCustomIcon(const char* remoteName, int extractFlags, wfx::HICON* icon) {
    std::string path = VirtualPathFromHost(remoteName);
    KH_LOG(eRubbish, "FsExtractCustomIcon(%s)", keyholdlog::pathForLog(path).c_str());
    std::string last = path;
    if (!last.empty() && last.back() == '\\') last.pop_back();
    std::string::size_type slash = last.rfind('\\');
    if (slash != std::string::npos) last.erase(0, slash + 1);
    if (last == ".." || HasEmptyComponent(path)) return wfx::FS_ICON_USEDEFAULT;
    if (!platform::icons().available() || icon == nullptr) return wfx::FS_ICON_USEDEFAULT;
    std::optional<tIconInfo> record = nodeIcons().getNodeIcon(path);
    if (!record) return wfx::FS_ICON_USEDEFAULT;
    const int pixels = (extractFlags & wfx::FS_ICONFLAG_SMALL) != 0 ? 16 : 32;
    wfx::HICON loaded = platform::icons().load(record->resourceId, pixels);
    // Without a handle the host is better off with its own icon than with none.
    if (loaded == nullptr) return wfx::FS_ICON_USEDEFAULT;
    *icon = loaded;
    return wfx::FS_ICON_EXTRACTED;
}
