// The password store's XML file: finding it, loading it into the password
// tree, writing the tree back, and keeping the file in step with single
// changes by the `id` of a folder's or entry's element. Every save replaces
// the file atomically: the old file stays whole until the new one is complete.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "TreeNode.h"

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
    // The store exists (or is named) but cannot be read now; nothing may be
    // created in its place.
    eXmlUnreadable = 6,
};

class XmlData {
public:
    XmlData();
    ~XmlData();
    XmlData(const XmlData&) = delete;
    XmlData& operator=(const XmlData&) = delete;

    int initializeXmlData();
    void resetInitialized() { m_initialized = false; }
    bool isInitialized() const { return m_initialized; }
    int loadTree(int mode);
    int writeWholeXml();
    // Makes the document hold the tree again, without saving: after a save
    // failed, the tree has been put back and the file on disk still holds it.
    void rebuildDocumentFromTree();
    void createDefaultDatabase();
    int createXML(const tTreeNode& parent, tTreeNode& node);
    int createXML(std::uint32_t parentNumber, tTreeNode& node);
    int updateXML(tTreeNode& node);
    int updateXML(const tTreeNode& newParent, const tTreeNode& oldNode, tTreeNode& newNode);
    int deleteXML(const tTreeNode& node);
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
    bool locateFile();
    bool save(TiXmlDocument& document);
    int saveOrReport();

    std::unique_ptr<TiXmlDocument> m_document;
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
