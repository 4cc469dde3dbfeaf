// The password store's XML file: finding it, loading it into the password
// tree, writing the tree back, and keeping the file in step with single
// changes by the `id` of a folder's or entry's element. Every save replaces
// the file atomically: the old file stays whole until the new one is complete.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "TreeNode.h"
#include "platform/Files.h"

class TiXmlDocument;
class TiXmlElement;
class TiXmlNode;
class CSecureString;

// Results of initializeXmlData.
enum {
    eXmlLoaded = 1,
    eXmlNoFile = 3,
    eXmlAlreadyInitialized = 4,
    eXmlParseError = 5,
    // The store exists (or is named) but cannot be read now, or a store read
    // before is gone; nothing may be created in its place.
    eXmlUnreadable = 6,
};

// The largest store file that is read.
constexpr std::uint64_t kMaxStoreFileSize = 256ull * 1024 * 1024;

// Shown when the file on disk is no longer the one this process read or
// wrote last.
extern const char* const kStoreChangedByOtherProgram;

class XmlData {
public:
    XmlData();
    ~XmlData();
    XmlData(const XmlData&) = delete;
    XmlData& operator=(const XmlData&) = delete;

    // Reads and parses the store. The document read is held apart until
    // `loadTree(2)` takes it; until then the tree and document read before
    // (if any) stay as they are.
    int initializeXmlData();
    // Forgets a document read but not taken into the tree.
    void resetInitialized();
    bool isInitialized() const { return m_initialized; }
    // A store was loaded (or created) in this session: its tree and document
    // are in memory, and it is never again taken for a new one.
    bool hasLoadedStore() const { return m_loadedOnce && m_document != nullptr; }
    // After a reload failed or was cancelled: the store read before stays.
    void keepLoadedStore();
    // Another program changed the file since it was read: from then on the
    // "Reload Database" command is offered whatever the settings say.
    bool reloadOffered() const { return m_reloadOffered; }
    int loadTree(int mode);
    int writeWholeXml();
    // Makes the document hold the tree again, without saving: after a save
    // failed, the tree has been put back and the file on disk still holds it.
    void rebuildDocumentFromTree();
    void createDefaultDatabase();
    int createXML(const tTreeNode& parent, tTreeNode& node);
    int createXML(std::uint32_t parentNumber, tTreeNode& node);
    // The elements of new folders and entries of the tree, each below its
    // parent's (one of the file's, or one made before it in the list), in one
    // save. After a failure the caller takes the nodes out of the tree and
    // rebuilds the document.
    int createXML(const std::vector<TreePos>& nodes);
    int updateXML(tTreeNode& node);
    int updateXML(const tTreeNode& newParent, const tTreeNode& oldNode, tTreeNode& newNode);
    // Every change below reaches only the element the node was built from
    // (or built into); when there is none, nothing changes and the user is
    // told. Each saves once, except a deletion asked not to: it is then saved
    // by the change that follows it, together with that one.
    int deleteXML(const tTreeNode& node, bool andSave = true);
    void getAllFolders(std::map<std::string, std::uint32_t>& folders);
    int updateMasterPassword(const std::string& hash);
    // True when the file's masterkey is set and is the hash of `candidate`.
    bool checkMasterKey(const CSecureString& candidate) const;
    bool checkMasterKey() const;
    static TiXmlElement* findElementById(TiXmlNode* start, std::uint32_t number);

    const std::string& fileName() const { return m_fileName; }
    bool fileExists() const { return m_fileExists; }
    bool dirty() const { return m_dirty; }
    void setDirty(bool d) { m_dirty = d; }
    // Why the store could not be read or saved, for the user.
    const std::string& lastError() const { return m_lastError; }
    TiXmlDocument* document() { return m_document.get(); }
    // Tests only: forget the document and the file.
    void resetForTesting();

    // Builds the tree below `parent` from an XML node (the document for a
    // whole file).
    void buildTree(TiXmlNode* xml, TreePos parent, const std::string& path);

private:
    void buildNodes(TiXmlNode* xml, TreePos parent, const std::string& path, std::vector<TreePos>& entries);
    void finishEntries(const std::vector<TreePos>& entries);

private:
    bool locateFile();
    bool save(TiXmlDocument& document);
    int saveOrReport();
    bool saveUnderLock(const std::string& text, std::string& error, bool& conflict);
    int reportMissingElement(std::uint32_t number);
    TiXmlElement* findBuilt(std::uint32_t number) const;
    void offerReload();

    std::unique_ptr<TiXmlDocument> m_document;
    // Read by initializeXmlData, not yet taken into the tree.
    std::unique_ptr<TiXmlDocument> m_pending;
    platform::FileStamp m_pendingStamp;
    // The file as this process read or wrote it last.
    platform::FileStamp m_stamp;
    bool m_haveStamp = false;
    bool m_loadedOnce = false;
    bool m_creating = false;
    bool m_backupKept = false;
    bool m_reloadOffered = false;
    bool m_fileExists = false;
    std::string m_fileName;
    bool m_initialized = false;
    bool m_dirty = false;
    std::string m_lastError;
};

XmlData& xmlData();

// Before a store is read into the tree again (reloading): the tree read before
// goes, with every position held into it (the named positions, open
// listings) and the unique numbers of its folders, entries and base node, so
// that every element read again keeps its `id` as its number. The command
// nodes and the unlock root are made anew with the new base node. Loading the
// store (`loadTree` with mode 2, `createDefaultDatabase`) does this itself.
void ReleaseStoreTree();

// The element of one node, newly made and in no document (entries, folders
// and the base node; null for anything else). Sets the node's xmlElement.
TiXmlElement* buildXmlElement(tTreeNode& node);
