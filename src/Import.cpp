#include "Import.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <vector>

#include "AutoType.h"
#include "ImportCsv.h"
#include "ImportKeePassXml.h"
#include "ImportedData.h"
#include "KeyholdApp.h"
#include "Listing.h"
#include "Log.h"
#include "NodeIcon.h"
#include "ParallelWork.h"
#include "PluginSettings.h"
#include "StoreChanges.h"
#include "VirtualPath.h"
#include "XmlData.h"
#include "platform/Files.h"
#include "platform/MessageBoxes.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "security/SecureString.h"
#include "security/Util.h"

namespace {

std::function<bool(const std::string&, std::string&)>& conversionForTesting() {
    static std::function<bool(const std::string&, std::string&)> convert;
    return convert;
}

bool toStoreText(const std::string& utf8, std::string& out) {
    if (conversionForTesting()) return conversionForTesting()(utf8, out);
    return platform::storeTextFromUtf8(utf8, out);
}

void message(const std::string& text) {
    platform::messageBoxes().show(text, "Keyhold", platform::MessageButtons::Ok);
}

std::string lowerAscii(const std::string& s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

std::string fileNameOf(const std::string& localName) {
    const std::string::size_type cut = localName.find_last_of("/\\");
    return cut == std::string::npos ? localName : localName.substr(cut + 1);
}

// Names the host shows for command nodes: no folder or entry may take one.
const char* const kCommandNames[] = {
    "New Entry",      "[New Entry]", "Lock Keyhold", "UnLock Keyhold", "UnlockNode", "Reload Database",
    "Default Auto Type Window is ON", "Default Auto Type Window is OFF",
};

// The longest virtual path the host can hold (its buffers are MAX_PATH).
constexpr std::size_t kMaxVirtualPath = static_cast<std::size_t>(wfx::kMaxPath) - 1;
// A folder deeper than this leaves too little room for a name below it.
constexpr std::size_t kLeastNameRoom = 12;

// A name made fit for the store: separators and control characters replaced,
// names that are no names given one.
std::string legalCharacters(const std::string& name) {
    std::string legal(name);
    for (char& c : legal) {
        if (c == '\\' || c == '/') c = '_';
        else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
    }
    if (legal.empty() || legal == "." || legal == "..") legal = "Untitled";
    return legal;
}

// `base` cut to leave room for `suffix` in `room` bytes, then the suffix.
std::string candidateName(const std::string& base, const std::string& suffix, std::size_t room) {
    const std::size_t keep = room > suffix.size() ? room - suffix.size() : 0;
    return base.substr(0, platform::characterBoundary(base, keep)) + suffix;
}

// A name without the " (n)" a renamed copy got.
std::string withoutCopyNumber(const std::string& name) {
    if (name.size() < 4 || name.back() != ')') return name;
    std::size_t open = name.rfind(" (");
    if (open == std::string::npos || open + 3 > name.size() - 1) return name;
    for (std::size_t i = open + 2; i + 1 < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
    return name.substr(0, open);
}

// What makes two entries the same: title (before any copy number), user name
// and URL. Kept while the import runs, wiped after.
struct EntryKey {
    std::string title, userName, url;
    ~EntryKey() {
        secureWipe(userName);
        secureWipe(url);
    }
    bool operator<(const EntryKey& o) const {
        if (title != o.title) return title < o.title;
        if (userName != o.userName) return userName < o.userName;
        return url < o.url;
    }
};

// A folder things go into: one of the store, or one this import makes.
struct Place {
    TreePos existing;   // valid for a folder of the store
    int parent = -1;    // for a new folder: its place
    std::string name;   // for a new folder
    std::string path;   // virtual path, "\" for the base
    std::set<std::string> taken;                 // lower-cased names in use
    std::map<std::string, int> folders;          // lower-cased name -> place
    std::map<std::string, int> groups;           // an export's group name -> place
    std::set<EntryKey> entries;
    bool entriesKnown = false;
};

struct PlannedEntry {
    std::size_t source = 0;  // index into the export's entries
    int place = 0;
    std::string name;
    tTreeNode node;
};

struct Outcome {
    int duplicates = 0;
    int renamed = 0;
    std::vector<std::string> notImported;  // "title: why"
    std::vector<std::string> replaced;     // titles
};

class Importer {
public:
    Importer(tImportedData& data, TreePos target, std::string targetPath) : data_(data) {
        Place p;
        p.existing = target;
        p.path = std::move(targetPath);
        places_.push_back(std::move(p));
        learnChildren(0);
    }
    ~Importer() {
        for (PlannedEntry& e : planned_) wipeNode(e.node);
    }

    // Decides every name and which entries are new; false with `error` when
    // nothing can be imported.
    bool plan(std::string& error);
    // Encrypts the new entries, reporting progress from 10 to 90 percent;
    // false when the user stopped it.
    bool encrypt(const std::function<bool(int)>& progress);
    // Puts the folders and entries into the tree and the file in one save.
    bool store();
    void giveBackNumbers();

    const Outcome& outcome() const { return outcome_; }
    int newFolders() const { return static_cast<int>(newPlaces_.size()); }
    int newEntries() const { return static_cast<int>(planned_.size()); }

private:
    void learnChildren(int place);
    void learnEntries(int place);
    int folderFor(int place, const std::string& group, bool& ok);
    std::string freeName(int place, const std::string& base, bool forFolder, int* mergeInto);
    static void wipeNode(tTreeNode& n) {
        for (std::string* s : {&n.userName, &n.url, &n.password, &n.notes}) secureWipe(*s);
    }

    tImportedData& data_;
    std::vector<Place> places_;
    std::vector<int> newPlaces_;
    std::vector<PlannedEntry> planned_;
    std::vector<TreePos> added_;
    Outcome outcome_;
};

void Importer::learnChildren(int index) {
    // Places are added below: no reference into them is held across that.
    for (const char* name : kCommandNames) places_[static_cast<std::size_t>(index)].taken.insert(lowerAscii(name));
    const TreePos folder = places_[static_cast<std::size_t>(index)].existing;
    if (!folder.valid()) return;
    const std::string path = places_[static_cast<std::size_t>(index)].path;
    std::vector<std::pair<std::string, TreePos>> folders;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        PasswordTree& tree = passwordTree();
        for (auto child = tree.children(folder).begin(); child != tree.children(folder).end(); ++child) {
            places_[static_cast<std::size_t>(index)].taken.insert(lowerAscii(child->name));
            if (child->isFolder()) folders.emplace_back(child->name, child.position());
        }
    }
    for (auto& f : folders) {
        const std::string key = lowerAscii(f.first);
        if (places_[static_cast<std::size_t>(index)].folders.count(key)) continue;
        Place sub;
        sub.existing = f.second;
        sub.path = (path == "\\" ? std::string() : path) + "\\" + f.first;
        places_.push_back(std::move(sub));
        const int subIndex = static_cast<int>(places_.size() - 1);
        places_[static_cast<std::size_t>(index)].folders[key] = subIndex;
        learnChildren(subIndex);
    }
}

void Importer::learnEntries(int index) {
    Place& p = places_[static_cast<std::size_t>(index)];
    if (p.entriesKnown) return;
    p.entriesKnown = true;
    if (!p.existing.valid()) return;
    std::vector<tTreeNode> copies;
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        for (const tTreeNode& child : passwordTree().children(p.existing))
            if (child.isEntry()) copies.push_back(child);
    }
    for (tTreeNode& c : copies) {
        EntryKey key;
        key.title = withoutCopyNumber(c.name);
        key.userName = c.getUserName();
        key.url = c.getUrl();
        p.entries.insert(key);
        wipeNode(c);
    }
}

std::string Importer::freeName(int index, const std::string& base, bool forFolder, int* mergeInto) {
    Place& p = places_[static_cast<std::size_t>(index)];
    const std::size_t used = (p.path == "\\" ? 0 : p.path.size()) + 1;
    const std::size_t room = kMaxVirtualPath > used ? kMaxVirtualPath - used : 0;
    for (int n = 1;; ++n) {
        const std::string suffix = n == 1 ? std::string() : " (" + std::to_string(n) + ")";
        std::string name = candidateName(base, suffix, room);
        const std::string key = lowerAscii(name);
        if (forFolder) {
            auto f = p.folders.find(key);
            if (f != p.folders.end()) {
                *mergeInto = f->second;
                return name;
            }
        }
        if (!p.taken.count(key)) return name;
    }
}

int Importer::folderFor(int index, const std::string& group, bool& ok) {
    auto known = places_[static_cast<std::size_t>(index)].groups.find(group);
    if (known != places_[static_cast<std::size_t>(index)].groups.end()) return known->second;
    std::string converted;
    toStoreText(group, converted);
    const std::string path = places_[static_cast<std::size_t>(index)].path;
    const std::size_t used = (path == "\\" ? 0 : path.size()) + 1;
    if (kMaxVirtualPath < used + kLeastNameRoom) {
        ok = false;
        return index;
    }
    int merge = -1;
    const std::string name = freeName(index, legalCharacters(converted), true, &merge);
    int result = merge;
    if (merge < 0) {
        if (name != converted) ++outcome_.renamed;
        Place sub;
        sub.parent = index;
        sub.name = name;
        sub.path = (path == "\\" ? std::string() : path) + "\\" + name;
        sub.entriesKnown = true;
        for (const char* command : kCommandNames) sub.taken.insert(lowerAscii(command));
        places_.push_back(std::move(sub));
        result = static_cast<int>(places_.size() - 1);
        newPlaces_.push_back(result);
        Place& parent = places_[static_cast<std::size_t>(index)];
        parent.taken.insert(lowerAscii(name));
        parent.folders[lowerAscii(name)] = result;
    }
    places_[static_cast<std::size_t>(index)].groups[group] = result;
    return result;
}

bool Importer::plan(std::string& error) {
    bool ok = true;
    auto tooDeep = [&error] {
        error = "A folder of the export would lie too deep in the store: its paths would be longer than " +
                std::to_string(kMaxVirtualPath) + " characters.";
        return false;
    };
    for (const std::vector<std::string>& folder : data_.folders) {
        int place = 0;
        for (const std::string& g : folder) place = folderFor(place, g, ok);
        if (!ok) return tooDeep();
    }
    for (std::size_t i = 0; i < data_.entries.size(); ++i) {
        tImportedEntry& source = data_.entries[i];
        std::string title;
        const bool titleExact = toStoreText(source.title, title);
        if (!source.refused.empty()) {
            outcome_.notImported.push_back(title + ": " + source.refused);
            continue;
        }
        PlannedEntry e;
        e.source = i;
        std::string userName, password;
        const bool secretsExact = toStoreText(source.userName, userName) && toStoreText(source.password, password);
        secureWipe(userName);
        secureWipe(password);
        if (!secretsExact) {
            outcome_.notImported.push_back(title + ": a character of its user name or password cannot be stored here");
            continue;
        }
        int place = 0;
        for (const std::string& g : source.groups) place = folderFor(place, g, ok);
        if (!ok) return tooDeep();
        const Place& p = places_[static_cast<std::size_t>(place)];
        const std::size_t used = (p.path == "\\" ? 0 : p.path.size()) + 1;
        if (kMaxVirtualPath < used + kLeastNameRoom) return tooDeep();
        learnEntries(place);
        // The title as the store would first name it, before any number.
        const std::string base = candidateName(legalCharacters(title), "", kMaxVirtualPath - used);
        EntryKey key;
        key.title = base;
        toStoreText(source.userName, key.userName);
        toStoreText(source.url, key.url);
        Place& target = places_[static_cast<std::size_t>(place)];
        if (!target.entries.insert(key).second) {
            ++outcome_.duplicates;
            continue;
        }
        e.place = place;
        e.name = freeName(place, legalCharacters(title), false, nullptr);
        target.taken.insert(lowerAscii(e.name));
        if (e.name != title) ++outcome_.renamed;
        if (!titleExact) outcome_.replaced.push_back(title);
        planned_.push_back(std::move(e));
    }
    return true;
}

// The expiry date in the order of the DateFormat setting (`dateFormat`),
// which the "Expired Date" column reads; its numbers are always read apart
// at "-".
std::string expiryText(const tImportedEntry& e, const std::string& dateFormat) {
    char year[8], month[4], day[4];
    std::snprintf(year, sizeof year, "%04d", e.expiryYear);
    std::snprintf(month, sizeof month, "%02d", e.expiryMonth);
    std::snprintf(day, sizeof day, "%02d", e.expiryDay);
    if (dateFormat == "dd-mm-yyyy" || dateFormat == "dd/mm/yyyy") return std::string(day) + "-" + month + "-" + year;
    return std::string(year) + "-" + month + "-" + day;
}

bool Importer::encrypt(const std::function<bool(int)>& progress) {
    // Numbers, times and settings are taken here, on one thread.
    const std::string nowText = timeutil::fileTimeToText(timeutil::currentFileTime());
    const std::string dateFormat = settings().m_dateFormat ? settings().m_dateFormat->GetValue() : std::string();
    for (PlannedEntry& e : planned_) {
        tTreeNode& node = e.node;
        node = MakeCommandNode("", eNode_File);
        node.nodeType = eNode_File;
        node.name = e.name;
        const Place& p = places_[static_cast<std::size_t>(e.place)];
        node.group = p.existing.valid() ? p.existing->name : p.name;
        node.setUniqueNumber(0, 1);
    }
    const std::size_t total = planned_.size();
    const std::size_t step = std::max<std::size_t>(1, total / 80);
    if (progress(10)) return false;
    for (std::size_t from = 0; from < total; from += step) {
        if (from > 0 && progress(10 + static_cast<int>(80 * from / total))) return false;
        const std::size_t count = std::min(step, total - from);
        std::vector<tAutoTypeDefinitions> definitions(count);
        parallel::forEachIndex(count, [&](std::size_t k) {
            PlannedEntry& e = planned_[from + k];
            tImportedEntry& source = data_.entries[e.source];
            tTreeNode& node = e.node;
            std::string text;
            toStoreText(source.password, text);
            security::encrypt(text, node.password, node.passwordSalt);
            secureWipe(text);
            node.encrypted = !node.passwordSalt.empty();
            toStoreText(source.userName, text);
            security::encrypt(text, node.userName, node.userNameSalt);
            secureWipe(text);
            // The auto-type definitions are read from the plain notes, before
            // they are encrypted: not decrypted again.
            toStoreText(source.notes, node.notes);
            definitions[k] = readAutoTypeDefinitions(node);
            text.swap(node.notes);
            security::encrypt(text, node.notes, node.notesSalt);
            secureWipe(text);
            toStoreText(source.url, text);
            security::encrypt(text, node.url, node.urlSalt);
            secureWipe(text);
            if (source.expires()) {
                node.expires = true;
                node.expireTimeText = expiryText(source, dateFormat);
                security::encrypt(node.expireTimeText, node.expireTimeText, node.expireTimeSalt);
            }
            security::encrypt(node.name, node.encryptedTitle, node.titleSalt);
            node.ftCreationTime = timeutil::textToFileTime(nowText);
            node.creationTimeText = nowText;
            if (node.encrypted) security::encrypt(node.creationTimeText, node.creationTimeText, node.creationTimeSalt);
        });
        for (std::size_t k = 0; k < count; ++k)
            applyAutoTypeDefinitions(planned_[from + k].node, std::move(definitions[k]));
    }
    return true;
}

bool Importer::store() {
    PasswordTree& tree = passwordTree();
    const bool newEntryFolder = settings().m_newEntryFolder->GetValue();
    std::vector<TreePos> positions(places_.size());
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        for (std::size_t i = 0; i < places_.size(); ++i)
            if (places_[i].existing.valid()) positions[i] = places_[i].existing;
        for (int index : newPlaces_) {
            const Place& p = places_[static_cast<std::size_t>(index)];
            TreePos parent = positions[static_cast<std::size_t>(p.parent)];
            tTreeNode folder = MakeFolderNode(p.name);
            folder.registerNode(parent);
            TreePos added = tree.appendChild(parent, folder);
            if (newEntryFolder) tree.appendChild(added, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
            positions[static_cast<std::size_t>(index)] = added;
            added_.push_back(added);
        }
        for (PlannedEntry& e : planned_) {
            TreePos parent = positions[static_cast<std::size_t>(e.place)];
            e.node.registerNode(parent);
            added_.push_back(tree.appendChild(parent, e.node));
            wipeNode(e.node);
        }
    }
    if (xmlData().createXML(added_) == 1) return true;
    // Not saved: the tree loses everything again, and the document holds the
    // tree as it was.
    {
        std::lock_guard<std::recursive_mutex> guard(navigation().mutex);
        for (auto p = added_.rbegin(); p != added_.rend(); ++p) {
            // The entries' numbers go back with the rest of the plan.
            if ((*p)->isEntry()) nodeIcons().deleteNodeIcon((*p)->absolutePath);
            else tTreeNode::releaseUniqueNumber((*p)->uniqueNumber);
            ListingsLeave(*p);
            tree.erase(*p);
        }
    }
    added_.clear();
    xmlData().rebuildDocumentFromTree();
    return false;
}

void Importer::giveBackNumbers() {
    for (PlannedEntry& e : planned_)
        if (e.node.uniqueNumber != 0) tTreeNode::releaseUniqueNumber(e.node.uniqueNumber);
}

// Reads the export; eNotAnExport also when it is too large or cannot be read,
// which `why` then says.
enum class eRead { eNotAnExport, eMissing, eUnreadable, eMalformed, eRead };

eRead readExport(const std::string& localName, tImportedData& data, std::string& why) {
    std::string bytes;
    platform::FileStamp stamp;
    const platform::ReadResult read = platform::files().readStamped(localName, bytes, stamp, kMaxExportSize);
    if (read == platform::ReadResult::Missing) return eRead::eMissing;
    if (read == platform::ReadResult::TooLarge) {
        why = "The file is larger than 64 MiB; an export that large is not imported.";
        return eRead::eUnreadable;
    }
    if (read != platform::ReadResult::Ok) {
        secureWipe(bytes);
        why = "The file cannot be read.";
        return eRead::eUnreadable;
    }
    eImportRead result = ReadKeePassXmlExport(bytes, data, why);
    if (result == eImportRead::eNotAnExport) result = ReadCsvExport(bytes, data, why);
    secureWipe(bytes);
    if (result == eImportRead::eNotAnExport) return eRead::eNotAnExport;
    return result == eImportRead::eMalformed ? eRead::eMalformed : eRead::eRead;
}

std::string plural(int n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

void appendList(std::string& text, const std::vector<std::string>& items) {
    const std::size_t shown = std::min<std::size_t>(items.size(), 20);
    for (std::size_t i = 0; i < shown; ++i) text += "  " + items[i] + "\n";
    if (items.size() > shown) text += "  and " + std::to_string(items.size() - shown) + " more\n";
}

}  // namespace

void SetImportTextConversionForTesting(std::function<bool(const std::string&, std::string&)> convert) {
    conversionForTesting() = std::move(convert);
}

int ImportExport(const std::string& localName, const std::string& path, int copyFlags) {
    const std::string file = fileNameOf(localName);
    tImportedData data;
    std::string why;
    switch (readExport(localName, data, why)) {
        case eRead::eNotAnExport: return wfx::FS_FILE_NOTSUPPORTED;
        case eRead::eMissing: return wfx::FS_FILE_NOTFOUND;
        case eRead::eUnreadable:
        case eRead::eMalformed:
            KH_LOG(eError, "Import: the export cannot be read");
            message(file + " cannot be imported.\n" + why + "\nThe password store is unchanged.");
            return wfx::FS_FILE_READERROR;
        case eRead::eRead: break;
    }
    if (ReportProgress(localName, path, 5)) return wfx::FS_FILE_USERABORT;
    if (!UnlockForChange(true)) return wfx::FS_FILE_USERABORT;

    // The folder the export goes into: the one that holds the target name.
    std::vector<std::string> components;
    SplitVirtualPath(path, components, true);
    TreePos target;
    std::string targetPath = "\\";
    {
        tNavigationState& nav = navigation();
        std::lock_guard<std::recursive_mutex> guard(nav.mutex);
        if (components.empty() || (components.size() == 1 && components[0].empty())) {
            target = GetBaseNode();
        } else {
            std::string missing;
            FindNodeByPath(components, nav.currentNode, nav.listingCursor, missing, passwordTree().begin());
            if (missing.empty() && nav.currentNode.valid()) target = nav.currentNode;
            for (const std::string& c : components) targetPath += (targetPath == "\\" ? "" : "\\") + c;
        }
        if (!target.valid() || target == passwordTree().end() || !(target->isFolder() || target->isBase()))
            return wfx::FS_FILE_NOTFOUND;
    }

    Importer importer(data, target, targetPath);
    std::string error;
    if (!importer.plan(error)) {
        message(file + " cannot be imported.\n" + error + "\nThe password store is unchanged.");
        return wfx::FS_FILE_READERROR;
    }
    auto progress = [&](int percent) { return ReportProgress(localName, path, percent); };
    if (!importer.encrypt(progress)) {
        importer.giveBackNumbers();
        KH_LOG(eImportant, "Import stopped by the user; nothing was imported");
        return wfx::FS_FILE_USERABORT;
    }
    if (progress(95)) {
        importer.giveBackNumbers();
        return wfx::FS_FILE_USERABORT;
    }
    if (importer.newEntries() + importer.newFolders() > 0 && !importer.store()) {
        importer.giveBackNumbers();
        KH_LOG(eError, "Import not saved");
        // The store has told the user why, where it knew.
        if (xmlData().lastError().empty()) message(file + " was not imported: the password store could not be saved.");
        return wfx::FS_FILE_WRITEERROR;
    }
    progress(100);
    const Outcome& o = importer.outcome();
    KH_LOG(eImportant, "Import: %d entries, %d folders; %d already there, %d renamed, %d not imported",
           importer.newEntries(), importer.newFolders(), o.duplicates, o.renamed,
           static_cast<int>(o.notImported.size()));

    std::string text = "Imported " + plural(importer.newEntries(), "entry", "entries") + " and " +
                       plural(importer.newFolders(), "folder", "folders") + " from " + file + " (" + data.format +
                       ").\n";
    if (o.duplicates > 0)
        text += plural(o.duplicates, "entry was", "entries were") + " in the store already and skipped.\n";
    if (o.renamed > 0)
        text += plural(o.renamed, "name was", "names were") + " changed to one the store can hold.\n";
    if (data.attachments > 0) text += plural(data.attachments, "attachment was", "attachments were") + " not imported.\n";
    if (!o.notImported.empty()) {
        text += "Not imported:\n";
        appendList(text, o.notImported);
    }
    if (!o.replaced.empty()) {
        text += "Characters the store cannot hold became \"?\" in:\n";
        appendList(text, o.replaced);
    }
    const bool everything = o.notImported.empty() && data.attachments == 0;
    if ((copyFlags & wfx::FS_COPYFLAGS_MOVE) && everything) {
        std::string reason;
        if (platform::files().remove(localName, reason)) {
            text += "\nThe export file was deleted.";
        } else {
            KH_LOG(eError, "Import: the export could not be deleted");
            text += "\nThe export file could not be deleted (" + reason +
                    "). It holds your passwords in clear text: delete it yourself.";
        }
    } else if (copyFlags & wfx::FS_COPYFLAGS_MOVE) {
        text += "\nThe export file was kept, as not everything in it was imported. It holds your passwords in "
                "clear text: delete it once you no longer need it.";
    } else {
        text += "\nThe export file holds your passwords in clear text: delete it.";
    }
    message(text);
    return wfx::FS_FILE_OK;
}
