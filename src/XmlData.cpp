#include "XmlData.h"

#include <tinyxml.h>

#include <algorithm>
#include <cstdlib>
#include <mutex>
#include <vector>

#include "KeyholdApp.h"
#include "Listing.h"
#include "MasterPassword.h"
#include "Log.h"
#include "ParallelWork.h"
#include "XmlNesting.h"
#include "XmlParse.h"
#include "platform/Environment.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "security/SecureString.h"
#include "security/Util.h"

namespace {

// Deeper nesting than this is no password store, and parsing it would run the
// host's stack out.
constexpr int kMaxNesting = 256;

const char* const kDefaultFolders[] = {"Email", "Network", "Windows", "Homebanking", "Internet"};

std::string attribute(const TiXmlElement* e, const char* name) {
    const char* v = e->Attribute(name);
    return v ? std::string(v) : std::string();
}

// The `name` attribute, else `basename`.
std::string nameOf(const TiXmlElement* e) {
    std::string n = attribute(e, "name");
    return n.empty() ? attribute(e, "basename") : n;
}

// Unique numbers are read as decimal, from their leading digits.
std::uint32_t numberOf(const TiXmlElement* e) {
    const char* v = e->Attribute("id");
    if (v == nullptr) return 0;
    std::uint64_t n = 0;
    for (const char* p = v; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + static_cast<unsigned>(*p - '0');
        if (n > 0xFFFFFFFFu) return 0;
    }
    return static_cast<std::uint32_t>(n);
}

bool isNamed(const TiXmlElement* e, const char* name) { return e->ValueStr() == name; }

// Marks the elements that stand for a node of the tree: those the tree was
// built from and those built from its nodes. Copies keep the mark.
void* builtMark() {
    static char mark;
    return &mark;
}

bool isBuilt(const TiXmlElement* e) { return e->GetUserData() == builtMark(); }

// Gives an element the number its node has; true when that changed the file.
bool carryNumber(TiXmlElement* e, std::uint32_t number) {
    e->SetUserData(builtMark());
    std::string wanted = std::to_string(number);
    const char* id = e->Attribute("id");
    if (id != nullptr && wanted == id) return false;
    e->SetAttribute("id", wanted);
    return true;
}

// Line ends as the library's own file loading leaves them, in place: the
// text of a large store is not held twice while it is read.
void normaliseLineEnds(std::string& text) {
    std::size_t out = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r') {
            text[out++] = '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            text[out++] = text[i];
        }
    }
    std::fill(text.begin() + static_cast<std::ptrdiff_t>(out), text.end(), '\0');
    text.resize(out);
}

// `extra` more bytes behind the text without the string doubling its buffer
// (as appending to a full one does): a store's text can be large.
void makeRoom(std::string& text, std::size_t extra) {
    if (text.capacity() >= text.size() + extra) return;
    std::string larger;
    larger.reserve(text.size() + extra);
    larger.assign(text);
    secureWipe(text);
    text.swap(larger);
}

void addTextChild(TiXmlElement& parent, const char* name, const std::string& text, const std::string& salt) {
    TiXmlElement* child = new TiXmlElement(name);
    if (!salt.empty()) child->SetAttribute("salt", salt);
    child->LinkEndChild(new TiXmlText(text));
    parent.LinkEndChild(child);
}

void readEntry(const TiXmlElement* e, tTreeNode& node) {
    std::string encrypt = attribute(e, "encrypt");
    node.titleSalt = attribute(e, "salt");
    std::string icon = attribute(e, "icon");
    node.setIcon(icon.empty() ? "default" : icon);
    node.encryptedTitle = node.name;
    if (encrypt == "true") {
        KH_LOG(eRubbish, "Entry #%u marked for encryption", static_cast<unsigned>(node.uniqueNumber));
        node.markedForEncryption = true;
    }
    for (const TiXmlElement* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) {
        const TiXmlNode* first = c->FirstChild();
        if (first == nullptr || first->ToText() == nullptr) continue;
        std::string salt = attribute(c, "salt");
        std::string text = first->ValueStr();
        const std::string& tag = c->ValueStr();
        if (tag == "username") {
            node.userName = text, node.userNameSalt = salt;
        } else if (tag == "url") {
            node.url = text, node.urlSalt = salt;
        } else if (tag == "password") {
            node.password = text, node.passwordSalt = salt;
            node.encrypted = !salt.empty();
        } else if (tag == "notes") {
            node.notes = text, node.notesSalt = salt;
        } else if (tag == "creationtime") {
            node.creationTimeSalt = salt;
            node.setCreationTimeStored(text);
        } else if (tag == "lastmodtime") {
            node.lastModTimeSalt = salt;
            node.setLastModTimeStored(text);
        } else if (tag == "lastaccesstime") {
            node.lastAccessTimeSalt = salt;
            node.setLastAccessTimeStored(text);
        } else if (tag == "expiretime") {
            node.expireTimeText = text, node.expireTimeSalt = salt;
            node.expires = attribute(c, "expires") == "true";
        }
    }
}

// The element of a node and, below it, those of its folders and entries.
TiXmlElement* buildElementTree(TreePos pos) {
    TiXmlElement* element = buildXmlElement(*pos);
    if (element == nullptr) return nullptr;
    if (pos->isFolder() || pos->isBase()) {
        for (auto child = passwordTree().children(pos).begin(); child != passwordTree().children(pos).end();
             ++child) {
            if (child->isCommandNode()) continue;
            if (TiXmlElement* e = buildElementTree(child.position())) element->LinkEndChild(e);
        }
    }
    return element;
}

std::string withSeparator(const std::string& folder) {
    if (!folder.empty() && folder.back() == platform::kPathSeparator) return folder;
    return folder + platform::kPathSeparator;
}

bool isAbsolute(const std::string& path) {
#if defined(_WIN32)
    return path.find('\\') != std::string::npos;
#else
    return !path.empty() && path[0] == '/';
#endif
}

}  // namespace

XmlData::XmlData() = default;
XmlData::~XmlData() = default;

void XmlData::resetInitialized() {
    m_initialized = false;
    m_pending.reset();
}

void XmlData::keepLoadedStore() {
    m_pending.reset();
    m_initialized = true;
}

void XmlData::resetForTesting() {
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    m_document.reset();
    m_pending.reset();
    m_fileExists = m_initialized = m_dirty = false;
    m_haveStamp = m_loadedOnce = m_creating = m_backupKept = m_reloadOffered = false;
    m_fileName.clear();
    m_lastError.clear();
}

TiXmlElement* buildXmlElement(tTreeNode& node) {
    TiXmlElement* e = nullptr;
    if (node.isEntry()) {
        KH_LOG(eRubbish, "Creating XML for entry #%u", static_cast<unsigned>(node.uniqueNumber));
        e = new TiXmlElement("file");
        e->SetAttribute("name", node.titleSalt.empty() ? node.name : node.encryptedTitle);
        if (!node.titleSalt.empty()) e->SetAttribute("salt", node.titleSalt);
        e->SetAttribute("id", std::to_string(node.uniqueNumber));
        addTextChild(*e, "username", node.userName, node.userNameSalt);
        addTextChild(*e, "url", node.url, node.urlSalt);
        addTextChild(*e, "password", node.password, node.passwordSalt);
        addTextChild(*e, "notes", node.notes, node.notesSalt);
        addTextChild(*e, "image", node.image, "");
        addTextChild(*e, "creationtime", node.creationTimeText, node.creationTimeSalt);
        addTextChild(*e, "lastmodtime", node.lastModTimeText, node.lastModTimeSalt);
        addTextChild(*e, "lastaccesstime", node.lastAccessTimeText, node.lastAccessTimeSalt);
        TiXmlElement* expire = new TiXmlElement("expiretime");
        expire->SetAttribute("expires", node.expires ? "true" : "false");
        if (!node.expireTimeSalt.empty()) expire->SetAttribute("salt", node.expireTimeSalt);
        expire->LinkEndChild(new TiXmlText(node.expireTimeText));
        e->LinkEndChild(expire);
    } else if (node.isFolder()) {
        KH_LOG(eRubbish, "Creating XML for directory node %s", node.name.c_str());
        e = new TiXmlElement("folder");
        e->SetAttribute("name", node.name);
        e->SetAttribute("id", std::to_string(node.uniqueNumber));
        e->SetAttribute("creationtime", node.creationTimeText);
        if (!node.creationTimeSalt.empty()) e->SetAttribute("salt", node.creationTimeSalt);
    } else if (node.isBase()) {
        KH_LOG(eRubbish, "Creating XML for base node %s", node.name.c_str());
        e = new TiXmlElement("pswd");
        e->SetAttribute("basename", node.name);
        e->SetAttribute("id", std::to_string(node.uniqueNumber));
    }
    if (e != nullptr) {
        // The node may be one of the tree's, which other threads read under this guard.
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        e->SetUserData(builtMark());
        node.xmlElement = e;
    }
    return e;
}

bool XmlData::locateFile() {
    std::string value = settings().m_datafile->GetValue();
    // A settings file without a store location keeps the store beside the plug-in.
    if (value.empty()) value = "database.xml";
    theApp().m_dataFileName = value;
    struct Prefix {
        const char* text;
        const char* variable;
    } prefixes[] = {{"%COMMANDER_PATH%", "COMMANDER_PATH"}, {"%USERPROFILE%", "USERPROFILE"}};
    for (const Prefix& p : prefixes) {
        std::string prefix = p.text;
        if (value.compare(0, prefix.size(), prefix) != 0) continue;
        std::string v;
        if (platform::environment().get(p.variable, v)) {
            if (v.size() > 260) v.resize(260);
            KH_LOG(eImportant, "Env var %s found: %s", p.variable, v.c_str());
            m_fileName = v + value.substr(prefix.size());
            return true;
        }
        KH_LOG(eFatal, "%s not foud!!", p.text);
        KH_LOG(eImportant, "Modify ini file");
        m_lastError = "The setting datafile (" + value + ") names the environment variable " + p.variable +
                      ", which is not set.";
        return false;
    }
    // A bare name lies beside the settings file (the plug-in folder unless
    // that cannot be written).
    const std::string& base = theApp().m_dataFolder.empty() ? theApp().m_pluginFolder : theApp().m_dataFolder;
    m_fileName = isAbsolute(value) ? value : withSeparator(base) + value;
    return true;
}

int XmlData::initializeXmlData() {
    KH_ENTER("initializeXmlData");
    // The hot-key thread reads the document (the master key) under this
    // guard while it may be replaced here.
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    if (m_initialized) return eXmlAlreadyInitialized;
    m_initialized = true;
    m_lastError.clear();
    m_pending.reset();
    if (!locateFile()) return eXmlUnreadable;

    KH_LOG(eImportant, "Trying to open %s file.", m_fileName.c_str());
    std::string content;
    platform::FileStamp stamp;
    platform::ReadResult read = platform::files().readStamped(m_fileName, content, stamp, kMaxStoreFileSize);
    if (read == platform::ReadResult::Unreadable) {
        m_lastError = "The password store " + m_fileName + " exists but cannot be read.";
        KH_LOG(eError, "%s", m_lastError.c_str());
        return eXmlUnreadable;
    }
    if (read == platform::ReadResult::TooLarge) {
        m_lastError = "The password store " + m_fileName +
                      " is larger than 256 MiB. Keyhold does not open a file that large; nothing was changed.";
        KH_LOG(eError, "%s", m_lastError.c_str());
        return eXmlUnreadable;
    }
    if (read == platform::ReadResult::Missing && m_loadedOnce) {
        // The store read before is gone for now (moved away, a share that
        // dropped): it is not replaced by a new one.
        m_lastError = "The password store " + m_fileName +
                      " is missing. Nothing was changed and no new store was made; the folders and entries "
                      "shown are the ones read before.";
        KH_LOG(eError, "%s", m_lastError.c_str());
        return eXmlUnreadable;
    }
    if (read == platform::ReadResult::Missing) {
        KH_LOG(eTroubleShoot, "No XML Database found.");
        // The tree and document made for a new store start from nothing.
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        m_document = std::make_unique<TiXmlDocument>(m_fileName);
        m_haveStamp = false;
        return eXmlNoFile;
    }
    KH_LOG(eImportant, "XML Database exists and will be loaded");
    m_fileExists = true;
    KH_LOG(eRubbish, "File successfully closed!");
    if (m_document) KH_LOG(eInformation, "A XML file was already loaded! It stays until the new one is read.");

    auto fail = [this](const char* why) {
        KH_LOG(eFatal, "Fatal error loading xml!!");
        KH_LOG(eFatal, "Parser error: %s", why);
        return eXmlParseError;
    };
    try {
        normaliseLineEnds(content);
        // Read once without parsing: the depth (a text nested deeper than the
        // limit is never parsed) and where the root's children lie.
        XmlRootReadings readings;
        if (XmlElementDepth(content, kMaxNesting, &readings) > kMaxNesting) {
            secureWipe(content);
            return fail("elements nested too deeply");
        }
        // The parser steps over a UTF-8 sequence by its lead byte without looking
        // for the end of the text; zeros behind the end keep a sequence cut off
        // there from taking it past the buffer.
        makeRoom(content, 8);
        content.append(8, '\0');
        auto document = std::make_unique<TiXmlDocument>(m_fileName);
        // A value is read as it was written: the parser's default folds runs
        // of blanks into one and drops blanks at either end, which would
        // change a plain user name or password ("a  b", " secret") at every
        // load. The text between elements is dropped either way.
        TiXmlBase::SetCondenseWhiteSpace(false);
        // No row and column kept for every node: only the error's text is used.
        document->SetTabSize(0);
        parseDocument(*document, content, readings);
        secureWipe(content);
        if (document->Error()) return fail(document->ErrorDesc());
        m_pending = std::move(document);
        m_pendingStamp = stamp;
    } catch (const std::bad_alloc&) {
        secureWipe(content);
        m_lastError = "The password store " + m_fileName + " is too large to be read into memory.";
        KH_LOG(eError, "%s", m_lastError.c_str());
        return eXmlUnreadable;
    }
    return eXmlLoaded;
}

void XmlData::buildTree(TiXmlNode* xml, TreePos parent, const std::string& path) {
    std::vector<TreePos> entries;
    buildNodes(xml, parent, path, entries);
    finishEntries(entries);
}

// The fields of every entry just placed in the tree read from its element,
// and what the listing needs, its title and its creation time, decrypted, on
// all cores (each entry is its own node; the tree itself is not changed);
// then each entry takes its place in the paths and icons, in the order the
// file holds them.
void XmlData::finishEntries(const std::vector<TreePos>& entries) {
    struct Decrypted {
        std::string title;
        FILETIME created = timeutil::kNoTime;
    };
    std::vector<Decrypted> decrypted(entries.size());
    parallel::forEachIndex(entries.size(), [&entries, &decrypted](std::size_t i) {
        tTreeNode& entry = *entries[i];
        readEntry(entry.xmlElement, entry);
        if (!entry.titleSalt.empty()) security::decrypt(entry.encryptedTitle, entry.titleSalt, decrypted[i].title);
        decrypted[i].created = entry.storedCreationTime();
    });
    PasswordTree& tree = passwordTree();
    for (std::size_t i = 0; i < entries.size(); ++i) {
        tTreeNode& entry = *entries[i];
        if (!entry.titleSalt.empty()) entry.name.swap(decrypted[i].title);
        entry.ftCreationTime = decrypted[i].created;
        entry.registerNode(tree.parent(entries[i]));
    }
}

void XmlData::buildNodes(TiXmlNode* xml, TreePos parent, const std::string& path, std::vector<TreePos>& entries) {
    PasswordTree& tree = passwordTree();
    for (TiXmlNode* n = xml->FirstChild(); n != nullptr; n = n->NextSibling()) {
        TiXmlElement* e = n->ToElement();
        if (e == nullptr) continue;
        std::string name = nameOf(e);
        if (isNamed(e, "pswd") && GetBaseNode() == tree.end()) {
            tTreeNode base;
            base.nodeType = eNode_Base;
            base.fileAttributes = wfx::kAttrDirectory;
            base.name = name;
            base.setCreationTime("");
            base.fileSizeLow = 1;
            base.setUniqueNumber(numberOf(e), 1);
            if (carryNumber(e, base.uniqueNumber)) m_dirty = true;
            base.xmlElement = e;
            base.absolutePath = "\\";
            TreePos root = BuildCommandNodes(base);
            buildNodes(e, root, "\\", entries);
        } else if (isNamed(e, "pswd") || !parent.valid() || parent == tree.end()) {
            // A second root, or elements outside the root: nothing of their own.
            buildNodes(e, parent, path, entries);
        } else if (isNamed(e, "folder")) {
            tTreeNode folder;
            folder.nodeType = eNode_Directory;
            folder.fileAttributes = wfx::kAttrDirectory;
            folder.name = name;
            std::string icon = attribute(e, "icon");
            if (icon.empty()) {
                KH_LOG(eTroubleShoot, "Directory with no icon defined. Using default");
                icon = "default";
            }
            folder.setIcon(icon);
            if (e->Attribute("salt") == nullptr) KH_LOG(eTroubleShoot, "Directory with no salt for creation time.");
            folder.creationTimeSalt = attribute(e, "salt");
            if (e->Attribute("creationtime") == nullptr) KH_LOG(eTroubleShoot, "Directory with no creation time.");
            folder.setCreationTime(attribute(e, "creationtime"));
            folder.setUniqueNumber(numberOf(e), 1);
            if (carryNumber(e, folder.uniqueNumber)) m_dirty = true;
            folder.xmlElement = e;
            folder.registerNode(parent);
            TreePos pos = tree.appendChild(parent, folder);
            if (settings().m_newEntryFolder->GetValue()) {
                tree.appendChild(pos, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
            }
            buildNodes(e, pos, pos->absolutePath, entries);
        } else if (isNamed(e, "file")) {
            tTreeNode entry;
            entry.fileAttributes = wfx::kAttrNormal;
            entry.fileSizeLow = 1;
            entry.name = name;
            entry.nodeType = eNode_File;
            entry.setUniqueNumber(numberOf(e), 1);
            if (carryNumber(e, entry.uniqueNumber)) m_dirty = true;
            entry.xmlElement = e;
            // Its fields are read, and its title and creation time decrypted,
            // with all the others (finishEntries).
            entries.push_back(tree.appendChild(parent, std::move(entry)));
        } else {
            buildNodes(e, parent, path, entries);
        }
    }
}

void ReleaseStoreTree() {
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    PasswordTree& tree = passwordTree();
    if (tree.empty()) return;
    KH_LOG(eInformation, "Releasing the tree read before (%d nodes)", static_cast<int>(tree.size()));
    ListingsLeaveAll();
    for (TreePos p = tree.begin(); p != tree.end(); ++p) {
        if (p->isEntry() || p->isFolder() || p->isBase()) tTreeNode::releaseUniqueNumber(p->uniqueNumber);
    }
    tree.clear();
    TreePos none = tree.end();
    nav.baseNode = nav.unlockRoot = nav.activeRoot = nav.currentNode = nav.listingCursor = nav.autoTypeWindowNode =
        none;
    nav.databaseLoaded = false;
}

int XmlData::loadTree(int mode) {
    if (mode == 1) {
        writeWholeXml();
        return 0;
    }
    if (mode != 2) return 0;
    KH_LOG(eImportant, "Parsing xml");
    m_dirty = false;
    {
        // Other threads that go by the navigation lock see the old tree and
        // document or the new ones, never the empty ones in between.
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        if (m_pending) {
            // The document read replaces the one before only now, together
            // with the tree built from it.
            m_document = std::move(m_pending);
            m_stamp = m_pendingStamp;
            m_haveStamp = true;
            setCommandNodeTime(m_stamp.lastWrite != 0 ? timeutil::fromUInt64(m_stamp.lastWrite) : timeutil::kNoTime);
        }
        if (!m_document) return 0;
        ReleaseStoreTree();
        buildTree(m_document.get(), navigation().currentNode, "\\");
    }
    if (GetBaseNode() == passwordTree().end()) return 0;
    m_loadedOnce = true;
    DecryptTitle();
    if (m_dirty) {
        // Numbers given anew, or fields the file held in plain text: written
        // once. The tree stands whether or not that write succeeds; a failure
        // has been reported, and the next change writes the whole document.
        m_dirty = false;
        if (writeWholeXml() != 1) KH_LOG(eError, "The store could not be rewritten after loading");
    }
    return 1;
}

const char* const kStoreChangedByOtherProgram =
    "The password store was changed by another program. Nothing was saved; open \"Reload Database\" to read it "
    "again.";

// Under the lock beside the store: the file must still be the one read or
// written last; the first save of a session keeps the previous file as
// `.bak`; then the new text replaces it (or, for a new store, is created
// where no file may exist).
bool XmlData::saveUnderLock(const std::string& text, std::string& error, bool& conflict) {
    platform::Files& files = platform::files();
    std::unique_ptr<platform::FileLock> lock = files.lockExclusive(m_fileName + ".lock", error);
    if (!lock) return false;
    if (m_creating) {
        if (!files.createNew(m_fileName, text, error)) return false;
    } else {
        platform::FileStamp now;
        platform::ReadResult state = files.stamp(m_fileName, now);
        if (state == platform::ReadResult::Missing) {
            error = "the file is missing (moved or deleted by another program, or its folder is not reachable)";
            return false;
        }
        if (state != platform::ReadResult::Ok) {
            error = "the file cannot be read";
            return false;
        }
        if (!m_haveStamp || now != m_stamp) {
            conflict = true;
            return false;
        }
        if (!m_backupKept) {
            std::string why;
            if (!files.copyKeepingMode(m_fileName, m_fileName + ".bak", why)) {
                error = "the previous version could not be kept as " + m_fileName + ".bak: " + why;
                return false;
            }
            m_backupKept = true;
        }
        if (!files.replaceAtomically(m_fileName, text, error)) return false;
    }
    m_haveStamp = files.stamp(m_fileName, m_stamp) == platform::ReadResult::Ok;
    return true;
}

bool XmlData::save(TiXmlDocument& document) {
    // A failure sets the reason anew and shows it; an empty reason after a
    // failure means nobody has told the user yet.
    m_lastError.clear();
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    // Room for the text at once, about the size of the file read or written
    // last: grown step by step, a large store's text would be copied from
    // buffer to buffer and stand twice in memory for a moment.
    if (m_haveStamp && m_stamp.size < kMaxStoreFileSize)
        const_cast<std::string&>(printer.Str()).reserve(static_cast<std::size_t>(m_stamp.size + m_stamp.size / 16 + 4096));
    document.Accept(&printer);
    std::string error;
    bool conflict = false;
    if (saveUnderLock(printer.Str(), error, conflict)) {
        m_fileExists = true;
        return true;
    }
    if (conflict) {
        m_lastError = kStoreChangedByOtherProgram;
        KH_LOG(eError, "Not saved: %s was changed by another program", m_fileName.c_str());
        offerReload();
    } else {
        m_lastError = "Keyhold could not save the password store\n" + m_fileName + "\n" + error +
                      "\nThe file on disk is unchanged.";
        KH_LOG(eError, "Cannot save %s: %s", m_fileName.c_str(), error.c_str());
    }
    platform::messageBoxes().show(m_lastError, "Keyhold", platform::MessageButtons::Ok);
    return false;
}

void XmlData::offerReload() {
    m_reloadOffered = true;
    tNavigationState& nav = navigation();
    std::lock_guard<std::recursive_mutex> guard(nav.mutex);
    TreePos base = GetBaseNode();
    PasswordTree& tree = passwordTree();
    if (base == tree.end()) return;
    for (auto c = tree.children(base).begin(); c != tree.children(base).end(); ++c) {
        if (c->nodeType == eNode_ReloadDatabase) return;
    }
    TreePos lockNode = tree.end();
    for (auto c = tree.children(base).begin(); c != tree.children(base).end(); ++c) {
        if (c->nodeType == eNode_AutoTypeWindowOn || c->nodeType == eNode_AutoTypeWindowOff) lockNode = c.position();
    }
    tTreeNode reload = MakeCommandNode("Reload Database", eNode_ReloadDatabase);
    TreePos next = lockNode == tree.end() ? tree.end() : tree.nextSibling(lockNode);
    if (next.valid() && next != tree.end()) {
        tree.insert(next, reload);
    } else {
        tree.appendChild(base, reload);
    }
}

int XmlData::createXML(const std::vector<TreePos>& nodes) {
    m_lastError.clear();
    KH_LOG(eInformation, "createXML for %u nodes", static_cast<unsigned>(nodes.size()));
    std::map<std::uint32_t, TiXmlElement*> parents;
    for (TreePos pos : nodes) {
        const std::uint32_t parentNumber = passwordTree().parent(pos)->uniqueNumber;
        auto known = parents.find(parentNumber);
        TiXmlElement* parent = known != parents.end() ? known->second : findBuilt(parentNumber);
        if (parent == nullptr) {
            KH_LOG(eError, "parent node number %d does not exist", static_cast<int>(parentNumber));
            return reportMissingElement(parentNumber);
        }
        parents[parentNumber] = parent;
        TiXmlElement* e = buildXmlElement(*pos);
        if (e == nullptr) return 0;
        parent->LinkEndChild(e);
        if (pos->isFolder()) parents[pos->uniqueNumber] = e;
    }
    return saveOrReport();
}

int XmlData::saveOrReport() { return m_document && save(*m_document) ? 1 : 0; }

int XmlData::writeWholeXml() {
    if (!m_document) return 0;
    rebuildDocumentFromTree();
    return saveOrReport();
}

void XmlData::rebuildDocumentFromTree() {
    std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
    if (!m_document) return;
    TreePos base = GetBaseNode();
    m_document->Clear();
    m_document->LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    if (base != passwordTree().end()) {
        TiXmlElement* root = buildElementTree(base);
        // The hash goes in before the one save, so that the file on disk always
        // carries the key of the fields it holds.
        root->SetAttribute("masterkey", security::applySH1(theApp().m_masterPassword));
        m_document->LinkEndChild(root);
    }
}

int XmlData::updateMasterPassword(const std::string& hash) {
    KH_ENTER("updateMasterPassword()");
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        TiXmlElement* root = m_document ? m_document->RootElement() : nullptr;
        if (root == nullptr) {
            KH_LOG(eFatal, "Error while updating xml with Master Password!");
            return 0;
        }
        root->SetAttribute("masterkey", hash);
    }
    return saveOrReport();
}

bool XmlData::checkMasterKey(const CSecureString& candidate) const {
    std::string stored;
    {
        // Also called on the hot-key thread (unlocking there).
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        // While a store read is not yet taken into the tree, its own key counts.
        const TiXmlDocument* document = m_pending ? m_pending.get() : m_document.get();
        const TiXmlElement* root = document ? document->RootElement() : nullptr;
        if (root == nullptr) return false;
        stored = attribute(root, "masterkey");
    }
    return !stored.empty() && stored == security::applySH1(candidate);
}

bool XmlData::checkMasterKey() const { return checkMasterKey(theApp().m_masterPassword); }

void XmlData::createDefaultDatabase() {
    KH_LOG(eImportant, "Creating database file and tree.");
    tNavigationState& nav = navigation();
    std::unique_lock<std::recursive_mutex> guard(nav.mutex);
    ReleaseStoreTree();
    setCommandNodeTime(timeutil::currentFileTime());
    tTreeNode baseNode = MakeBaseNode("My Passwords");
    baseNode.absolutePath = "\\";
    TreePos base = BuildCommandNodes(baseNode);
    nav.baseNode = base;
    PasswordTree& tree = passwordTree();
    bool newEntryFolder = settings().m_newEntryFolder->GetValue();
    for (const char* name : kDefaultFolders) {
        tTreeNode folder = MakeFolderNode(name);
        folder.registerNode(base);
        TreePos pos = tree.appendChild(base, folder);
        if (newEntryFolder) tree.appendChild(pos, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
    }
    nav.activeRoot = base;
    guard.unlock();  // saving may tell the user of a failure
    // Created only where no file is: one that appeared meanwhile is never
    // written over.
    m_creating = true;
    bool written = writeWholeXml() == 1;
    m_creating = false;
    if (written) m_loadedOnce = true;
}

TiXmlElement* XmlData::findElementById(TiXmlNode* start, std::uint32_t number) {
    if (start == nullptr) return nullptr;
    std::vector<TiXmlNode*> stack{start};
    while (!stack.empty()) {
        TiXmlNode* n = stack.back();
        stack.pop_back();
        if (TiXmlElement* e = n->ToElement()) {
            if ((isNamed(e, "file") || isNamed(e, "folder") || isNamed(e, "pswd")) && numberOf(e) == number) return e;
        }
        // Children in reverse so that the first one is looked at first.
        for (TiXmlNode* c = n->LastChild(); c != nullptr; c = c->PreviousSibling()) stack.push_back(c);
    }
    return nullptr;
}

// Only the elements that stand for nodes count: an element with the same
// number inside an entry's element, outside the root or in a second root is
// none of the tree's.
TiXmlElement* XmlData::findBuilt(std::uint32_t number) const {
    if (!m_document) return nullptr;
    std::vector<TiXmlNode*> stack{m_document.get()};
    while (!stack.empty()) {
        TiXmlNode* n = stack.back();
        stack.pop_back();
        if (TiXmlElement* e = n->ToElement()) {
            if (isBuilt(e) && (isNamed(e, "file") || isNamed(e, "folder") || isNamed(e, "pswd")) &&
                numberOf(e) == number)
                return e;
            if (isNamed(e, "file")) continue;
        }
        for (TiXmlNode* c = n->LastChild(); c != nullptr; c = c->PreviousSibling()) stack.push_back(c);
    }
    return nullptr;
}

int XmlData::reportMissingElement(std::uint32_t number) {
    KH_LOG(eError, "node number %d does not exist", static_cast<int>(number));
    m_lastError = "The password store's file holds no element for this folder or entry (number " +
                  std::to_string(number) + "). Nothing was changed.";
    platform::messageBoxes().show(m_lastError, "Keyhold", platform::MessageButtons::Ok);
    return 0;
}

int XmlData::createXML(const tTreeNode& parent, tTreeNode& node) { return createXML(parent.uniqueNumber, node); }

int XmlData::createXML(std::uint32_t parentNumber, tTreeNode& node) {
    m_lastError.clear();
    KH_LOG(eInformation, "createXML for node #%u", static_cast<unsigned>(node.uniqueNumber));
    TiXmlElement* parent = findBuilt(parentNumber);
    if (parent == nullptr) {
        KH_LOG(eError, "parent node number %d does not exist", static_cast<int>(parentNumber));
        return reportMissingElement(parentNumber);
    }
    TiXmlElement* e = buildXmlElement(node);
    if (e == nullptr) return 0;
    parent->LinkEndChild(e);
    return saveOrReport();
}

int XmlData::updateXML(tTreeNode& node) {
    m_lastError.clear();
    KH_LOG(eInformation, "updateXML for node #%u", static_cast<unsigned>(node.uniqueNumber));
    TiXmlElement* e = findBuilt(node.uniqueNumber);
    if ((!node.isFolder() && !node.isEntry()) || e == nullptr || e->Parent() == nullptr) {
        return reportMissingElement(node.uniqueNumber);
    }
    if (node.isFolder()) {
        e->SetAttribute("name", node.name);
        return saveOrReport();
    }
    std::unique_ptr<TiXmlElement> built(buildXmlElement(node));
    TiXmlNode* replaced = e->Parent()->ReplaceChild(e, *built);
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        node.xmlElement = replaced ? replaced->ToElement() : nullptr;
    }
    return saveOrReport();
}

int XmlData::updateXML(const tTreeNode& newParent, const tTreeNode& oldNode, tTreeNode& newNode) {
    m_lastError.clear();
    KH_LOG(eInformation, "updateXML for node #%u", static_cast<unsigned>(oldNode.uniqueNumber));
    TiXmlElement* parent = findBuilt(newParent.uniqueNumber);
    TiXmlElement* old = findBuilt(oldNode.uniqueNumber);
    if (parent == nullptr || old == nullptr || old->Parent() == nullptr) {
        return reportMissingElement(parent == nullptr ? newParent.uniqueNumber : oldNode.uniqueNumber);
    }
    if (newNode.isFolder()) {
        // A folder's element moves with everything inside it.
        TiXmlNode* moved = old->Clone();
        moved->ToElement()->SetAttribute("name", newNode.name);
        old->Parent()->RemoveChild(old);
        TiXmlElement* linked = parent->LinkEndChild(moved)->ToElement();
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        newNode.xmlElement = linked;
    } else {
        old->Parent()->RemoveChild(old);
        TiXmlElement* e = buildXmlElement(newNode);
        if (e != nullptr) parent->LinkEndChild(e);
    }
    // Removal and addition reach the disk together, in one replacement.
    return saveOrReport();
}

int XmlData::deleteXML(const tTreeNode& node, bool andSave) {
    m_lastError.clear();
    KH_LOG(eInformation, "deleteXML for node #%u", static_cast<unsigned>(node.uniqueNumber));
    TiXmlElement* e = findBuilt(node.uniqueNumber);
    if (e == nullptr || e->Parent() == nullptr) return reportMissingElement(node.uniqueNumber);
    e->Parent()->RemoveChild(e);
    return andSave ? saveOrReport() : 1;
}

namespace {

void collectFolders(const TiXmlNode* n, const std::string& prefix, std::map<std::string, std::uint32_t>& folders) {
    for (const TiXmlNode* c = n->FirstChild(); c != nullptr; c = c->NextSibling()) {
        const TiXmlElement* e = c->ToElement();
        if (e == nullptr) continue;
        if (isNamed(e, "folder")) {
            std::string path = prefix + nameOf(e);
            folders[path] = numberOf(e);
            KH_LOG(eInformation, "Folder %s inserted", path.c_str());
            KH_LOG(eInformation, "Fetching child folders of %s ", path.c_str());
            collectFolders(e, path + "\\", folders);
        } else {
            collectFolders(e, prefix, folders);
        }
    }
}

}  // namespace

void XmlData::getAllFolders(std::map<std::string, std::uint32_t>& folders) {
    KH_ENTER("getAllFolders");
    if (!m_document) {
        KH_LOG(eInformation, "Xml Document NULL");
    } else if (m_document->RootElement() == nullptr) {
        KH_LOG(eError, "Incoming node is NULL");
    } else {
        collectFolders(m_document->RootElement(), "\\", folders);
    }
    KH_LEAVE("getAllFolders");
}
