// One node of the password tree: the database's base node, a folder, an entry
// or a command node, together with the unique-number registry and the
// placement operations the tree needs.
#pragma once

#include <cstdint>
#include <list>
#include <string>

#include "TimeUtil.h"
#include "Tree.h"

class TiXmlElement;

enum eNodeType {
    eNode_None = 0,
    eNode_NewEntry = 1,
    eNode_FolderNewEntry = 2,
    eNode_Unused3 = 3,
    eNode_File = 4,
    eNode_Directory = 5,
    eNode_Base = 6,
    eNode_LockKeyhold = 7,
    eNode_UnLockKeyhold = 8,
    eNode_AutoTypeWindowOn = 9,
    eNode_AutoTypeWindowOff = 10,
    eNode_ReloadDatabase = 11,
};

struct tTreeNode;
using PasswordTree = Tree<tTreeNode>;
using TreePos = PasswordTree::Position;

// The process-wide password tree.
PasswordTree& passwordTree();

struct tTreeNode {
    tTreeNode();

    int nodeType = eNode_None;
    std::string name;
    std::uint32_t fileAttributes = 0;
    std::uint32_t fileSizeHigh = 0;
    std::uint32_t fileSizeLow = 0;
    std::string expireTimeSalt;
    std::string creationTimeSalt;
    std::string lastModTimeSalt;
    std::string lastAccessTimeSalt;
    std::string userName;
    std::string url;
    std::string password;
    std::string notes;
    std::string image;
    std::string creationTimeText;
    std::string lastModTimeText;
    std::string lastAccessTimeText;
    std::string expireTimeText;
    bool expires = false;
    std::string encryptedTitle;
    std::string group;
    std::string icon = "default";
    std::string autoTypeSequence;
    std::list<std::string> autoTypeWindows;
    TiXmlElement* xmlElement = nullptr;
    std::uint32_t uniqueNumber = 0;
    FILETIME ftCreationTime{};
    FILETIME ftLastAccessTime{};
    FILETIME ftLastWriteTime{};
    std::string passwordSalt;
    std::string notesSalt;
    std::string userNameSalt;
    std::string urlSalt;
    std::string titleSalt;
    bool encrypted = false;
    bool markedForEncryption = false;
    std::string absolutePath;

    // Types
    int getNodeType() const;
    bool isEntry() const { return nodeType == eNode_File; }
    bool isFolder() const { return nodeType == eNode_Directory; }
    bool isBase() const { return nodeType == eNode_Base; }
    bool isNewEntryCommand() const { return nodeType == eNode_NewEntry || nodeType == eNode_FolderNewEntry; }
    bool isTopNewEntryCommand() const { return nodeType == eNode_NewEntry; }
    bool isCommandNode() const;
    void setEntry() { nodeType = eNode_File; }
    void setFolder() { nodeType = eNode_Directory; }
    void setBase() { nodeType = eNode_Base; }
    bool isExpiring() const { return expires; }
    bool isDefaultIcon() const { return icon == "default"; }
    void setIcon(const std::string& text) { icon = text.empty() ? "default" : text; }
    std::string getIcon() const { return icon; }

    // Plain field texts (decrypted when the entry is encrypted).
    std::string getPassword();
    std::string getUserName() const;
    std::string getNotes() const;
    std::string getUrl() const;

    // Times
    void setCreationTimeNow();
    void setLastAccessTimeNow();
    void setLastModTimeNow();
    void setCreationTime(const std::string& stored);
    void setLastAccessTime(const std::string& stored);
    void setLastModTime(const std::string& stored);
    // Loading: stores an encrypted modification or access time without
    // decrypting it; nothing shows those times while the store is browsed, and
    // the getters below decrypt on demand.
    void setLastModTimeStored(const std::string& stored);
    void setLastAccessTimeStored(const std::string& stored);
    FILETIME lastModFileTime() const;
    FILETIME lastAccessFileTime() const;
    // Loading: stores an encrypted creation time without decrypting it; the
    // loader decrypts the times of all entries at once (storedCreationTime,
    // which only reads the node) and sets `ftCreationTime`.
    void setCreationTimeStored(const std::string& stored);
    FILETIME storedCreationTime() const;

    // Unique numbers: mode 0 sets the number as it is, mode 1 registers it (or
    // a fresh one when it is 0 or already in use).
    void setUniqueNumber(std::uint32_t n, int mode);
    static void releaseUniqueNumber(std::uint32_t n);

    // Placement
    std::string updateAbsolutePath(TreePos parent);
    void registerNode(TreePos parent);
    void reregisterNode(TreePos parent);
    static void refreshSubtreePaths(TreePos first, TreePos end);
    static bool hasSiblingWithSameName(const tTreeNode& node, TreePos parent);
    void copyFileInfo(const tTreeNode& from);
};

// Factories
tTreeNode MakeFolderNode(const std::string& name);
tTreeNode MakeBaseNode(const std::string& name);

// Tests only: forget every registered number and restart the counter.
void resetUniqueNumbersForTesting();
