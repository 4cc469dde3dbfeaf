// The icon map: which icon resource of the library the host shows for a
// path. Built-in rows name the command nodes and the well-known top-level
// folders; rows for folders and entries are added as nodes are registered in
// the tree and removed as entries are deleted.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "WfxApi.h"

struct tTreeNode;

// Icon resource ids by role.
enum eIconId : std::int32_t {
    eIcon_DatabaseRoot = 3000,
    eIcon_Email = 3001,
    eIcon_Homebanking = 3002,
    eIcon_Internet = 3003,
    eIcon_Network = 3004,
    eIcon_Entry = 3005,
    eIcon_Windows = 3006,
    eIcon_UnLock = 3017,
    eIcon_Lock = 3018,
    eIcon_AutoTypeWindowOff = 3020,
    eIcon_NewEntry = 3021,
    eIcon_AutoTypeWindowOn = 3022,
    eIcon_Folder = 3023,
    eIcon_Reload = 3024,
};

struct tIconInfo {
    // A checksum of the path for built-in rows, the node's unique number for
    // node rows.
    std::int32_t keyValue = 0;
    std::int32_t resourceId = 0;
    std::string path;
    std::string iconName;
};

class CNodeIcon {
public:
    // Holds the built-in rows.
    CNodeIcon();
    CNodeIcon(const CNodeIcon&) = delete;
    CNodeIcon& operator=(const CNodeIcon&) = delete;

    // The record for the path itself, else for its last component ("\Name"),
    // else none.
    std::optional<tIconInfo> getNodeIcon(const std::string& path) const;
    // Stores a record under the path, replacing an existing one. Always 1.
    int addIconToMap(std::int32_t keyValue, std::int32_t resourceId, const std::string& path,
                     const std::string& iconName);
    // Adds the row of a folder or entry with the default icon: 1 when a row
    // was added, else 0.
    int addNodeIcon(const tTreeNode& node);
    // 1 when the path was in the map (its row is gone then), else 0.
    int deleteNodeIcon(const std::string& path);
    // addNodeIcon, then drops the row of the node's former path.
    int replaceNodeIcon(const tTreeNode& node, const std::string& formerPath);

    std::size_t size() const;
    // Tests only: back to the built-in rows.
    void resetForTesting();

private:
    void addBuiltInRows();

    mutable std::mutex m_mutex;
    std::map<std::string, std::unique_ptr<tIconInfo>> m_map;
};

// The process-wide icon map.
CNodeIcon& nodeIcons();

// Key value of a built-in row: the sum over the characters of their signed
// 8-bit value times their position (from 0).
std::int32_t pathChecksum(const std::string& path);

// FsExtractCustomIcon: 1 with the icon of the path loaded into `icon`, 0 when
// the host is to show its own.
int ExtractCustomIcon(const char* remoteName, int extractFlags, wfx::HICON* icon);
