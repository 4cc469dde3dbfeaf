// Random sequences of changes made through the plug-in's exports, each step
// checked against a simple model of the store and against the store file
// read back on its own (parsed here, decrypted with OpenSSL).
//
// The plug-in runs over the in-memory platform in a child process of the
// test, one per sequence, so that a hang or a crash fails only that sequence;
// a user answers its dialogs. Every sequence starts from its seed, so a
// failure is replayed by its seed alone:
//   KH_MODEL_SEEDS=N        run the seeds 1..N (default below), or A-B
//   KH_MODEL_STEPS=N        steps per sequence
//   KH_MODEL_EXCLUDE=a,b    leave out kinds of step while developing (names as
//                           printed: mkdir, rmdir, rm, mv, cp, new, modify,
//                           lock, unlock, reload; emptypath: no paths with an
//                           empty component)
// A failing sequence is cut down to the fewest steps that still fail the same
// way, and printed step by step.
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "IndependentCrypt.h"
#include "KeyholdApp.h"
#include "Log.h"
#include "TreeNode.h"
#include "WfxApi.h"
#include "../unit/Exports.h"  // the exports, declared as the host sees them
#include "XmlData.h"
#include "platform/Services_memory.h"
#include "res/resource.h"


namespace {

const std::string kPassword = "m0del pw";
const char* const kCommandNodes[] = {"New Entry", "Lock Keyhold", "Default Auto Type Window is OFF",
                                     "Default Auto Type Window is ON", "Reload Database"};

// ---------------------------------------------------------------- the model

struct Fields {
    std::string userName, url, password, notes;
    bool encrypted = false;
};

struct Node {
    bool folder = true;
    std::string name;
    Fields fields;               // entries only
    std::uint32_t id = 0;        // the number the file gave it; 0 until seen
    std::vector<Node> children;  // order is not modelled
};

using Components = std::vector<std::string>;

// As the plug-in's clash test compares: byte by byte, ASCII letters without case.
bool sameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
        if (x < 128 && y < 128 ? std::tolower(x) != std::tolower(y) : x != y) return false;
    }
    return true;
}

std::string toPath(const Components& c) {
    std::string p;
    for (const std::string& s : c) p += "\\" + s;
    return p.empty() ? "\\" : p;
}

// "\A\B" and "\A\B\" give {A, B}; empty components stay.
Components split(std::string path) {
    Components c;
    if (path.size() <= 1) return c;
    path.erase(0, 1);
    if (!path.empty() && path.back() == '\\') path.pop_back();
    std::string::size_type s;
    while ((s = path.find('\\')) != std::string::npos) {
        c.push_back(path.substr(0, s));
        path.erase(0, s + 1);
    }
    c.push_back(path);
    return c;
}

Components parentOf(Components c) {
    c.pop_back();
    return c;
}

struct Store {
    Node root;  // the base node
    bool locked = false;

    Node* find(const Components& path) {
        Node* n = &root;
        for (const std::string& name : path) {
            if (!n->folder) return nullptr;
            n = child(*n, name);
            if (n == nullptr) return nullptr;
        }
        return n;
    }
    const Node* find(const Components& path) const { return const_cast<Store*>(this)->find(path); }
    static Node* child(Node& parent, const std::string& name) {
        for (Node& c : parent.children) {
            if (c.name == name) return &c;
        }
        return nullptr;
    }
    // Another child than `self` whose name equals `name` ignoring case.
    static const Node* clash(const Node& parent, const std::string& name, const Node* self = nullptr) {
        for (const Node& c : parent.children) {
            if (&c != self && sameIgnoringCase(c.name, name)) return &c;
        }
        return nullptr;
    }
    Node take(const Components& path) {
        Node& parent = *find(parentOf(path));
        auto it = std::find_if(parent.children.begin(), parent.children.end(),
                               [&](const Node& c) { return c.name == path.back(); });
        Node n = std::move(*it);
        parent.children.erase(it);
        return n;
    }
    void walk(const std::function<void(const Components&, const Node&)>& visit) const {
        std::function<void(const Node&, Components&)> rec = [&](const Node& n, Components& p) {
            for (const Node& c : n.children) {
                p.push_back(c.name);
                visit(p, c);
                rec(c, p);
                p.pop_back();
            }
        };
        Components p;
        rec(root, p);
    }
    std::vector<Components> paths(bool folders, bool entries) const {
        std::vector<Components> out;
        walk([&](const Components& p, const Node& n) {
            if (n.folder ? folders : entries) out.push_back(p);
        });
        return out;
    }
};

// ------------------------------------------------------------------- steps

enum class Kind { Mkdir, Rmdir, Delete, Move, Copy, NewEntry, Modify, Lock, Unlock, Reload };
const char* const kKindNames[] = {"mkdir", "rmdir", "rm", "mv", "cp", "new", "modify", "lock", "unlock", "reload"};

enum Answer { kRightPassword, kCancel, kWrongPassword };

struct Step {
    Kind kind = Kind::Lock;
    std::string a, b;         // paths as the host sends them
    bool overwrite = false;   // mv and cp
    Answer answer = kRightPassword;  // to a password prompt the step meets
    std::string title;        // new entry
    Fields fields;            // new entry; modify: the new values
    bool newPassword = false; // modify: the password is changed too
    bool slashes = false;     // the host sends "/" for "\" (Linux hosts)

    std::string describe() const {
        auto q = [](const std::string& s) {
            std::string out = "\"";
            for (char c : s) {
                if (c == '\r') out += "\\r";
                else if (c == '\n') out += "\\n";
                else if (c == '"') out += "\\\"";
                else out += c;
            }
            return out + "\"";
        };
        std::ostringstream o;
        o << kKindNames[static_cast<int>(kind)];
        if (!a.empty()) o << " " << q(a);
        if (!b.empty()) o << " " << q(b);
        if (overwrite) o << " (overwrite)";
        if (kind == Kind::NewEntry) o << " title=" << q(title);
        if (kind == Kind::NewEntry || kind == Kind::Modify) {
            o << " user=" << q(fields.userName) << " url=" << q(fields.url) << " notes=" << q(fields.notes);
            if (kind == Kind::NewEntry || newPassword) o << " password=" << q(fields.password);
            if (kind == Kind::NewEntry) o << (fields.encrypted ? " encrypted" : " plain");
        }
        if (slashes) o << " [sent with /]";
        if (answer == kCancel) o << " [prompt cancelled]";
        if (answer == kWrongPassword) o << " [wrong password]";
        return o.str();
    }
};

// ----------------------------------------------------- the file, read back

struct FileNode {
    bool folder = true;
    std::string name;
    std::uint32_t id = 0;
    bool titleSalted = false;
    std::map<std::string, std::pair<std::string, bool>> fields;  // tag -> {plain text, was salted}
    std::vector<FileNode> children;
};

struct FileRead {
    bool ok = false;
    std::string error;
    FileNode root;
};

bool readNumber(const char* text, std::uint32_t& out) {
    if (text == nullptr || *text == '\0') return false;
    unsigned long long v = 0;
    for (const char* p = text; *p; ++p) {
        if (*p < '0' || *p > '9') return false;
        v = v * 10 + static_cast<unsigned>(*p - '0');
        if (v > 0xFFFFFFFFull) return false;
    }
    out = static_cast<std::uint32_t>(v);
    return v != 0;
}

bool readElement(TiXmlElement* e, FileNode& out, std::string& error) {
    out.folder = e->ValueStr() == "folder";
    const char* name = e->Attribute("name");
    if (name == nullptr) {
        error = "an element without a name";
        return false;
    }
    if (!readNumber(e->Attribute("id"), out.id)) {
        error = std::string("element ") + name + " has no usable id";
        return false;
    }
    const char* salt = e->Attribute("salt");
    if (out.folder) {
        out.name = name;
        if (salt != nullptr) {  // the folder's creation time is encrypted
            std::string plain;
            const char* created = e->Attribute("creationtime");
            if (!independent::decrypt(kPassword, created ? created : "", salt, plain)) {
                error = std::string("the creation time of folder ") + name + " does not decrypt";
                return false;
            }
        }
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
            if (c->ValueStr() != "folder" && c->ValueStr() != "file") continue;
            out.children.emplace_back();
            if (!readElement(c, out.children.back(), error)) return false;
        }
        return true;
    }
    out.titleSalted = salt != nullptr;
    if (salt != nullptr) {
        if (!independent::decrypt(kPassword, name, salt, out.name)) {
            error = "a title does not decrypt (id " + std::to_string(out.id) + ")";
            return false;
        }
    } else {
        out.name = name;
    }
    for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (c->ValueStr() == "folder" || c->ValueStr() == "file") {
            error = "an element inside entry " + out.name;
            return false;
        }
        const char* text = c->GetText();
        const char* fieldSalt = c->Attribute("salt");
        std::string plain = text ? text : "";
        if (fieldSalt != nullptr && !plain.empty()) {
            if (!independent::decrypt(kPassword, text, fieldSalt, plain)) {
                error = "field " + c->ValueStr() + " of entry " + out.name + " does not decrypt";
                return false;
            }
        }
        out.fields[c->ValueStr()] = {plain, fieldSalt != nullptr};
    }
    return true;
}

FileRead readStore(const std::string& content) {
    FileRead r;
    // Values as written, every blank kept. The setting is the library's
    // own, shared with the plug-in in this process: it is put back to the
    // library's default, so that the plug-in's loading is seen as it is.
    TiXmlBase::SetCondenseWhiteSpace(false);
    TiXmlDocument d;
    d.Parse(content.c_str());
    TiXmlBase::SetCondenseWhiteSpace(true);
    if (d.Error() || d.RootElement() == nullptr || d.RootElement()->ValueStr() != "pswd") {
        r.error = std::string("the store does not parse: ") + d.ErrorDesc();
        return r;
    }
    TiXmlElement* root = d.RootElement();
    const char* key = root->Attribute("masterkey");
    if (key == nullptr || key != independent::masterKey(kPassword)) {
        r.error = "the masterkey is not the master password's";
        return r;
    }
    if (!readNumber(root->Attribute("id"), r.root.id)) {
        r.error = "the base element has no usable id";
        return r;
    }
    for (TiXmlElement* c = root->FirstChildElement(); c; c = c->NextSiblingElement()) {
        if (c->ValueStr() != "folder" && c->ValueStr() != "file") continue;
        r.root.children.emplace_back();
        if (!readElement(c, r.root.children.back(), r.error)) return r;
    }
    r.ok = true;
    return r;
}

// ----------------------------------------------------------------- a run

int WFX_CALL noProgress(int, char*, char*, int) { return 0; }

std::vector<std::string> excludedKinds() {
    std::vector<std::string> out;
    const char* v = std::getenv("KH_MODEL_EXCLUDE");
    std::stringstream s(v ? v : "");
    std::string item;
    while (std::getline(s, item, ',')) {
        if (!item.empty()) out.push_back(item);
    }
    return out;
}

// One plug-in, one store, one sequence of steps.
class Run : private platform::MemoryServices {
public:
    // Seeds take turns: a new store, a written one, one with wrong numbers.
    explicit Run(unsigned seed) : m_newStore(seed % 3 == 0), m_badIds(seed % 3 == 2) {}
    ~Run() { stop(); }

    // Starts the plug-in on the store and opens it. False (with `why`) when
    // that already fails.
    bool start(std::string& why);
    // Runs a step and checks it. False on a mismatch, with `why`.
    bool run(const Step& step, std::string& why);
    // Whether a recorded step still means what it meant (used when a failing
    // sequence is cut down: a step whose paths lost their sense is skipped).
    bool meaningful(const Step& step) const;
    Step generate(std::mt19937& random, const std::vector<std::string>& excluded) const;
    const Store& store() const { return m_model; }
    // Saves counted wrong (too many, or one where nothing changed): reported,
    // but the sequence goes on, its file still checked at every step.
    std::vector<std::string> soft;

private:
    void stop();
    std::vector<std::string> list(const std::string& path, bool* ok = nullptr);
    bool check(const std::string& what, std::string& why);
    bool compare(const Node& model, const FileNode& file, const Components& path, std::string& why);
    void learnIds(Node& model, const FileNode& file);
    int storeWritesSince(int writesBefore, const std::map<std::string, std::string>& before);
    void willType(const std::string& first, const std::string& second = "");
    void willAnswer(Answer a);
    int passwordPrompts() const {
        return static_cast<int>(std::count(dialogs.opened.begin(), dialogs.opened.end(), IDD_PASSWORD));
    }
    bool opened(int dialog) const {
        return std::find(dialogs.opened.begin(), dialogs.opened.end(), dialog) != dialogs.opened.end();
    }
    bool messageShown(const std::string& text) const {
        return std::any_of(messageBoxes.shown.begin(), messageBoxes.shown.end(),
                           [&](const platform::MemoryMessageBoxes::Shown& s) { return s.text == text; });
    }
    // The model after the step, given what the plug-in answered; false when
    // that answer is not one the behaviour allows.
    bool predict(const Step& step, int result, Store& next, bool& changed, std::string& why);
    bool predictMove(const Step& step, int result, Store& next, bool& changed, std::string& why);
    bool predictCopy(const Step& step, int result, Store& next, bool& changed, std::string& why);

    bool m_newStore;
    bool m_badIds;
    bool m_started = false;
    Store m_model;
    platform::Services m_saved;
    CLogSink* m_previousLogger = nullptr;
    std::string m_folder = std::string(1, platform::kPathSeparator) + "plug";
    std::string m_store = m_folder + platform::kPathSeparator + "database.xml";
};

void Run::willType(const std::string& first, const std::string& second) {
    dialogs.users.push_back([first, second](platform::MemoryDialogControls& c) {
        c.type(IDC_PASSWORD_FIRST, first);
        if (c.isVisible(IDC_PASSWORD_SECOND)) c.type(IDC_PASSWORD_SECOND, second.empty() ? first : second);
        c.click(1);
    });
}

void Run::willAnswer(Answer a) {
    if (a == kRightPassword) willType(kPassword);
    else if (a == kWrongPassword) willType(kPassword + "x");  // the dialog stays open: cancelled then
    else dialogs.users.push_back([](platform::MemoryDialogControls& c) { c.click(2); });
}

// An independently written store: folders and entries with odd names, entries
// encrypted field by field (some fields empty) and plain ones.
// With `badIds` its numbers are wrong in every way a file met elsewhere may
// have them (missing, repeated, not a number, out of range, empty), and one
// plain entry is marked for encryption: the first load must put that right
// and save once.
std::string initialStore(Store& model, bool badIds) {
    std::uint32_t next = 1;
    std::vector<std::string> wrong = {"", "1", "7", "x7", "7", "4294967296", "", "3"};
    std::size_t nextWrong = 0;
    auto idAttribute = [&]() {
        std::string id = std::to_string(next++);
        if (!badIds) return " id=\"" + id + "\"";
        std::string w = wrong[nextWrong++ % wrong.size()];
        return nextWrong == 1 ? std::string() : " id=\"" + w + "\"";  // the first has none
    };
    std::string xml = "<?xml version=\"1.0\" ?>\n<pswd basename=\"Mine\" id=\"" + std::to_string(next++) +
                      "\" masterkey=\"" + independent::masterKey(kPassword) + "\">\n";
    auto escape = [](const std::string& s) {
        std::string o;
        for (char c : s) {
            if (c == '&') o += "&amp;";
            else if (c == '<') o += "&lt;";
            else if (c == '>') o += "&gt;";
            else if (c == '"') o += "&quot;";
            else if (c == '\r') o += "&#x0D;";
            else if (c == '\n') o += "&#x0A;";
            else o += c;
        }
        return o;
    };
    auto field = [&](const char* tag, const std::string& value, bool encrypted) {
        if (!encrypted || value.empty()) return std::string("<") + tag + ">" + escape(value) + "</" + tag + ">";
        auto c = independent::encrypt(kPassword, value);
        return std::string("<") + tag + " salt=\"" + c.second + "\">" + c.first + "</" + tag + ">";
    };
    auto entry = [&](Node& parent, const std::string& title, Fields f) {
        Node n;
        n.folder = false;
        n.name = title;
        n.fields = f;
        n.id = badIds ? 0 : next;
        std::string name = escape(title), salt;
        if (f.encrypted) {
            auto c = independent::encrypt(kPassword, title);
            name = c.first;
            salt = " salt=\"" + c.second + "\"";
        }
        std::string created = f.encrypted ? field("creationtime", "1600000000", true)
                                          : "<creationtime>1600000000</creationtime>";
        std::string e = "<file name=\"" + name + "\"" + salt + idAttribute() + ">" +
                        field("username", f.userName, f.encrypted) + field("url", f.url, f.encrypted) +
                        field("password", f.password, f.encrypted) + field("notes", f.notes, f.encrypted) +
                        "<image></image>" + created + "<expiretime expires=\"false\"></expiretime></file>\n";
        parent.children.push_back(n);
        return e;
    };
    auto folderOpen = [&](Node& parent, const std::string& name) -> Node& {
        Node n;
        n.name = name;
        n.id = badIds ? 0 : next;
        xml += "<folder name=\"" + escape(name) + "\"" + idAttribute() + " creationtime=\"1600000000\">\n";
        parent.children.push_back(n);
        return parent.children.back();
    };
    Node& mail = folderOpen(model.root, "Mail & Co");
    xml += entry(mail, "Bank <main>", {"alice", "", "s3cret", "", true});  // empty fields, encrypted
    xml += entry(mail, "plain \"one\"", {"bob", "http://x.example/?a=1&b=2", "", "line 1\r\nline 2", false});
    Node& deep = folderOpen(mail, "Sub.folder");
    xml += entry(deep, "Caf\xc3\xa9", {"", "", "p\xc3\xa4ss", "Auto-Type: {USERNAME}{TAB}{PASSWORD}{ENTER}", true});
    xml += "</folder>\n</folder>\n";
    folderOpen(model.root, "Empty (really)");
    xml += "</folder>\n";
    xml += entry(model.root, "top-level", {"u", "", "pw", "", true});
    if (badIds) {
        // Plain fields, marked for encryption, no password: stored encrypted
        // from the first load on, its title too.
        Node n;
        n.folder = false;
        n.name = "marked";
        n.fields = {"carol", "", "", "to be encrypted", true};
        model.root.children.push_back(n);
        xml += "<file name=\"marked\" encrypt=\"true\"" + idAttribute() +
               "><username>carol</username><url></url><password></password><notes>to be encrypted</notes>"
               "<creationtime>1600000000</creationtime></file>\n";
    }
    xml += "</pswd>\n";
    return xml;
}

bool Run::start(std::string& why) {
    m_saved = platform::services();
    install();
    m_previousLogger = keyholdlog::setLogger(nullptr);
    resetTreeForTesting();
    resetUniqueNumbersForTesting();
    xmlData().resetForTesting();
    theApp().m_masterPassword.clear();
    m_started = true;
    module.name = m_folder + platform::kPathSeparator + "keyhold.wfx";
    files.content[m_folder + platform::kPathSeparator + "keyHold.ini"] =
        "[MAIN]\nNewEntryFolder=1\nEnableReload=1\n[AUTOLOCK]\nAutolock=0\n";
    if (!m_newStore) files.content[m_store] = initialStore(m_model, m_badIds);
    FsInit(1, noProgress, nullptr, nullptr);
    if (m_newStore) {
        willType(kPassword, kPassword);
        for (const char* name : {"Email", "Network", "Windows", "Homebanking", "Internet"}) {
            Node n;
            n.name = name;
            m_model.root.children.push_back(n);
        }
    } else {
        willType(kPassword);
    }
    int writes = files.writes;
    bool listed = false;
    list("\\", &listed);
    if (!listed) {
        why = "the store did not open";
        return false;
    }
    if (!m_newStore && files.writes - writes != (m_badIds ? 1 : 0)) {
        soft.push_back(m_badIds ? "opening a store whose numbers had to change saved it " +
                                      std::to_string(files.writes - writes) + " times, expected once"
                                : "opening a store that needs no change saved it " +
                                      std::to_string(files.writes - writes) + " times");
    }
    return check("opening the store", why);
}

void Run::stop() {
    if (!m_started) return;
    FsContentPluginUnloading();
    theApp().stopThreads();
    resetTreeForTesting();
    xmlData().resetForTesting();
    theApp().m_masterPassword.clear();
    keyholdlog::setLogger(m_previousLogger);
    platform::services() = m_saved;
    m_started = false;
}

std::vector<std::string> Run::list(const std::string& path, bool* ok) {
    std::vector<std::string> names;
    wfx::WIN32_FIND_DATAA fd;
    std::string p = path;
    wfx::HANDLE h = FsFindFirst(&p[0], &fd);
    if (ok) *ok = h != wfx::invalidHandle();
    if (h == wfx::invalidHandle()) return names;
    do names.push_back(fd.cFileName);
    while (FsFindNext(h, &fd));
    FsFindClose(h);
    return names;
}

// How many times this step wrote the store: the writes counted, less those of
// other files that changed meanwhile (a backup copy, the settings).
int Run::storeWritesSince(int writesBefore, const std::map<std::string, std::string>& before) {
    int others = 0;
    for (const auto& f : files.content) {
        if (f.first == m_store) continue;
        auto it = before.find(f.first);
        if (it == before.end() || it->second != f.second) ++others;
    }
    return files.writes - writesBefore - others;
}

void Run::learnIds(Node& model, const FileNode& file) {
    for (Node& c : model.children) {
        for (const FileNode& f : file.children) {
            if (f.name == c.name && f.folder == c.folder) {
                c.id = f.id;
                learnIds(c, f);
            }
        }
    }
}

bool Run::compare(const Node& model, const FileNode& file, const Components& path, std::string& why) {
    std::multiset<std::string> inFile, inModel;
    for (const FileNode& f : file.children) inFile.insert((f.folder ? "folder " : "entry ") + f.name);
    for (const Node& m : model.children) inModel.insert((m.folder ? "folder " : "entry ") + m.name);
    if (inFile != inModel) {
        std::ostringstream o;
        o << "the file holds in " << toPath(path) << ":";
        for (const std::string& s : inFile) o << " [" << s << "]";
        o << "\n  the model expects:";
        for (const std::string& s : inModel) o << " [" << s << "]";
        why = o.str();
        return false;
    }
    for (const Node& m : model.children) {
        const FileNode* f = nullptr;
        for (const FileNode& c : file.children) {
            if (c.name == m.name && c.folder == m.folder) f = &c;
        }
        Components p = path;
        p.push_back(m.name);
        if (m.id != 0 && f->id != m.id) {
            why = toPath(p) + " has the number " + std::to_string(f->id) + " in the file, it had " +
                  std::to_string(m.id);
            return false;
        }
        if (m.folder) {
            if (!compare(m, *f, p, why)) return false;
            continue;
        }
        const Fields& x = m.fields;
        if (f->titleSalted != x.encrypted) {
            why = toPath(p) + (x.encrypted ? ": the title of an encrypted entry is stored plain"
                                           : ": the title of a plain entry is stored encrypted");
            return false;
        }
        const std::pair<const char*, const std::string*> expected[] = {
            {"username", &x.userName}, {"url", &x.url}, {"password", &x.password}, {"notes", &x.notes}};
        for (const auto& e : expected) {
            auto it = f->fields.find(e.first);
            std::string stored = it == f->fields.end() ? std::string() : it->second.first;
            bool salted = it != f->fields.end() && it->second.second;
            if (stored != *e.second) {
                why = toPath(p) + ": field " + e.first + " holds \"" + stored + "\", expected \"" + *e.second + "\"";
                return false;
            }
            if (!e.second->empty() && salted != x.encrypted) {
                why = toPath(p) + ": field " + e.first + (x.encrypted ? " is stored plain" : " is stored encrypted");
                return false;
            }
        }
    }
    return true;
}

bool Run::check(const std::string& what, std::string& why) {
    FileRead r = readStore(files.content[m_store]);
    if (!r.ok) {
        why = "after " + what + ": " + r.error;
        return false;
    }
    // Numbers are unique.
    std::set<std::uint32_t> ids{r.root.id};
    std::function<bool(const FileNode&)> unique = [&](const FileNode& n) {
        for (const FileNode& c : n.children) {
            if (!ids.insert(c.id).second) {
                why = "after " + what + ": the number " + std::to_string(c.id) + " is used twice in the file";
                return false;
            }
            if (!unique(c)) return false;
        }
        return true;
    };
    if (!unique(r.root)) return false;
    if (!compare(m_model.root, r.root, {}, why)) {
        why = "after " + what + ": " + why;
        return false;
    }
    learnIds(m_model.root, r.root);

    // What the panel shows.
    std::vector<std::string> top = list("\\");
    if (m_model.locked) {
        if (top != std::vector<std::string>{"UnLock Keyhold"}) {
            why = "after " + what + ": the store should be locked, the root lists " + std::to_string(top.size()) +
                  " items";
            return false;
        }
        return true;
    }
    bool ok = true;
    std::function<void(const Node&, const Components&, std::vector<std::string>)> panel =
        [&](const Node& n, const Components& p, std::vector<std::string> shown) {
            if (!ok) return;
            std::multiset<std::string> want, got;
            for (const Node& c : n.children) want.insert(c.name);
            bool newEntry = false;
            for (const std::string& s : shown) {
                bool command = p.empty() ? std::find(std::begin(kCommandNodes), std::end(kCommandNodes), s) !=
                                               std::end(kCommandNodes)
                                         : s == "[New Entry]";
                if (command) newEntry = true;
                else got.insert(s);
            }
            if (want != got || !newEntry) {
                std::ostringstream o;
                o << "after " << what << ": the panel lists in " << toPath(p) << ":";
                for (const std::string& s : shown) o << " [" << s << "]";
                o << "\n  the model expects:";
                for (const std::string& s : want) o << " [" << s << "]";
                if (!newEntry) o << " and its command nodes";
                why = o.str();
                ok = false;
                return;
            }
            for (const Node& c : n.children) {
                if (!c.folder) continue;
                Components q = p;
                q.push_back(c.name);
                panel(c, q, list(toPath(q)));
            }
        };
    panel(m_model.root, {}, top);
    return ok;
}

// ------------------------------------------------------------ predictions

// What may stand in a name: letters of both cases (clashes in case), digits,
// the XML specials, blanks inside, bytes beyond ASCII.
std::string randomName(std::mt19937& random) {
    static const std::vector<std::string> pieces = {
        "a", "B", "c", "D", "e", "x", "Y", "7", "0", " ", "&", "<", ">", "\"", "'", "%", "{", "}", "(", ")", "^",
        "+", "~", "#", "!", "$", ";", ",", "=", "@", "[", "]", "`", ".", "-", "_", "\xc3\xa9", "\xc3\x9f",
        "\xe6\x97\xa5", "&amp;", "%USERNAME%", "{TAB}"};
    std::uniform_int_distribution<int> len(1, 6), pick(0, static_cast<int>(pieces.size()) - 1);
    std::string s;
    int n = len(random);
    for (int i = 0; i < n; ++i) s += pieces[static_cast<std::size_t>(pick(random))];
    // No blank at either end, not only dots, never a command node's name.
    while (!s.empty() && s.front() == ' ') s.erase(0, 1);
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (s.empty() || s.find_first_not_of('.') == std::string::npos || s == "[New Entry]") s = "n" + s;
    return s;
}

// Field values, runs of blanks and blanks at either end among them: a plain
// value must come back exactly as it was stored.
std::string randomValue(std::mt19937& random, bool multiLine);

std::string fieldValue(std::mt19937& random, bool multiLine) {
    std::string v = randomValue(random, multiLine);
    // A value of blanks alone is not written as text at all: left out.
    if (v.empty()) return v;
    std::uniform_int_distribution<int> roll(0, 5);
    switch (roll(random)) {
    case 0: return "  " + v;
    case 1: return v + "   ";
    case 2: return v.substr(0, 1) + "  " + v.substr(1);
    default: return v;
    }
}

std::string randomValue(std::mt19937& random, bool multiLine) {
    std::uniform_int_distribution<int> kind(0, 5);
    switch (kind(random)) {
    case 0: return "";
    case 1: return randomName(random);
    case 2: return randomName(random) + " " + randomName(random);
    case 3: return multiLine ? randomName(random) + "\r\n" + randomName(random) : randomName(random) + "/x";
    case 4: return std::string(40, 'w') + randomName(random);
    default: return "v" + std::to_string(random() % 1000);
    }
}

// A name that clashes with one in the folder now and then.
std::string nameIn(const Node& folder, std::mt19937& random) {
    std::uniform_int_distribution<int> roll(0, 9);
    int r = roll(random);
    if (!folder.children.empty() && r < 3) {
        const Node& other = folder.children[random() % folder.children.size()];
        if (r == 0) return other.name;  // the same name
        std::string s = other.name;     // the same name in other letters' case
        for (char& c : s) {
            if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
            else if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
        }
        return s;
    }
    return randomName(random);
}

// A path made wrong by an empty component: a separator doubled somewhere, or
// separators alone.
std::string withEmptyComponent(const std::string& path, std::mt19937& random) {
    std::uniform_int_distribution<int> roll(0, 4);
    switch (roll(random)) {
    case 0: return "\\\\";
    case 1: return "\\\\\\";
    case 2: return path + "\\\\";
    default: {
        std::vector<std::size_t> seps;
        for (std::size_t i = 0; i < path.size(); ++i) {
            if (path[i] == '\\') seps.push_back(i);
        }
        std::string p = path;
        p.insert(seps[random() % seps.size()], "\\");
        return p;
    }
    }
}

bool hasEmptyComponent(const std::string& path) {
    Components c = split(path);
    if (path.size() >= 2 && c.empty()) return true;
    if (path == "\\") return false;
    return std::any_of(c.begin(), c.end(), [](const std::string& s) { return s.empty(); });
}

// A folder whose name equals one of its ancestors' is left out: making one
// shortens the paths of the next move (a behaviour kept for one host's way of
// moving folders).
bool repeatsAnAncestor(const Components& c) {
    for (std::size_t i = 0; i + 1 < c.size(); ++i) {
        if (c[i] == c.back()) return true;
    }
    return false;
}

bool isInside(const Components& inner, const Components& outer) {
    return inner.size() >= outer.size() && std::equal(outer.begin(), outer.end(), inner.begin());
}

Step Run::generate(std::mt19937& random, const std::vector<std::string>& excluded) const {
    const Store& m = m_model;
    std::vector<Components> folders = m.paths(true, false), entries = m.paths(false, true), all = m.paths(true, true);
    folders.insert(folders.begin(), Components{});  // the base: only mkdir, moves and copies may name it
    auto pickFrom = [&](const std::vector<Components>& v) { return v[random() % v.size()]; };
    auto allowed = [&](Kind k) {
        return std::find(excluded.begin(), excluded.end(), kKindNames[static_cast<int>(k)]) == excluded.end();
    };
    std::uniform_int_distribution<int> percent(0, 99);
    for (;;) {
        Step s;
        if (m.locked && percent(random) < 40) {
            s.kind = Kind::Unlock;
            int r = percent(random);
            s.answer = r < 70 ? kRightPassword : r < 85 ? kCancel : kWrongPassword;
            return s;
        }
        int r = percent(random);
        s.kind = r < 14 ? Kind::Mkdir : r < 19 ? Kind::Rmdir : r < 26 ? Kind::Delete : r < 48 ? Kind::Move
               : r < 60 ? Kind::Copy : r < 74 ? Kind::NewEntry : r < 84 ? Kind::Modify : r < 91 ? Kind::Lock
               : Kind::Reload;
        if (!allowed(s.kind)) continue;
        if (m.locked && (s.kind == Kind::Lock || s.kind == Kind::Reload)) continue;
        if (m.locked) s.answer = percent(random) < 80 ? kRightPassword : kCancel;
        // Wrong paths only while unlocked: a refusal then needs no prompt.
#if !defined(_WIN32)
        s.slashes = percent(random) < 10;
#endif
        bool wrongPath = !m.locked && percent(random) < 8 &&
                         std::find(excluded.begin(), excluded.end(), "emptypath") == excluded.end();
        switch (s.kind) {
        case Kind::Mkdir: {
            Components parent = pickFrom(folders);
            Components p = parent;
            p.push_back(nameIn(*m.find(parent), random));
            if (repeatsAnAncestor(p)) continue;
            s.a = toPath(p);
            if (percent(random) < 10) s.a += "\\";  // one trailing separator names the folder still
            if (wrongPath) s.a = withEmptyComponent(s.a, random);
            return s;
        }
        case Kind::Rmdir:
        case Kind::Delete: {
            // Mostly the right kind of node, now and then the other kind or none.
            bool folderKind = s.kind == Kind::Rmdir;
            int q = percent(random);
            Components p;
            if (q < 75 && !(folderKind ? folders.size() > 1 : !entries.empty())) continue;
            if (q < 75) {
                do p = pickFrom(folderKind ? folders : entries);
                while (p.empty());
            } else if (q < 90 && !all.empty()) {
                p = pickFrom(all);
            } else {
                p = pickFrom(folders);
                p.push_back("missing " + randomName(random));
            }
            s.a = toPath(p);
            if (folderKind && percent(random) < 10) s.a += "\\";
            if (wrongPath) s.a = withEmptyComponent(s.a, random);
            return s;
        }
        case Kind::Move:
        case Kind::Copy: {
            const std::vector<Components>& sources = s.kind == Kind::Copy ? entries : all;
            if (sources.empty()) continue;
            Components from = pickFrom(sources);
            Components to;
            int q = percent(random);
            if (q < 35) {  // renamed where it is
                to = parentOf(from);
                to.push_back(nameIn(*m.find(to), random));
            } else if (q < 45) {  // onto itself
                to = from;
            } else {
                to = pickFrom(folders);
                const Node* target = m.find(to);
                to.push_back(percent(random) < 60 ? from.back() : nameIn(*target, random));
            }
            if (percent(random) < 5) from.back() = "missing " + randomName(random);
            // A folder below a folder of its own name is left out (see above).
            if (m.find(from) && m.find(from)->folder && repeatsAnAncestor(to)) continue;
            s.a = toPath(from);
            s.b = toPath(to);
            s.overwrite = percent(random) < 50;
            if (wrongPath) {
                if (percent(random) < 50) s.a = withEmptyComponent(s.a, random);
                else s.b = withEmptyComponent(s.b, random);
            }
            return s;
        }
        case Kind::NewEntry: {
            if (folders.size() < 2) continue;
            Components f;
            do f = pickFrom(folders);
            while (f.empty());
            s.a = toPath(f) + "\\[New Entry]";
            s.title = nameIn(*m.find(f), random);
            s.fields.encrypted = percent(random) < 60;
            s.fields.userName = fieldValue(random, false);
            s.fields.url = fieldValue(random, false);
            s.fields.notes = fieldValue(random, true);
            s.fields.password = fieldValue(random, false);
            if (s.fields.encrypted && s.fields.password.empty()) s.fields.password = "pw" + std::to_string(random() % 99);
            return s;
        }
        case Kind::Modify: {
            if (entries.empty()) continue;
            Components e = pickFrom(entries);
            const Node* n = m.find(e);
            // An encrypted entry without a password is shown as a plain one by its dialog.
            if (n->fields.encrypted && n->fields.password.empty()) continue;
            s.a = toPath(e);
            s.fields = n->fields;
            int which = percent(random);
            if (which < 40) s.fields.userName = fieldValue(random, false);
            else if (which < 60) s.fields.url = fieldValue(random, false);
            else if (which < 80) s.fields.notes = fieldValue(random, true);
            else {
                s.newPassword = true;
                s.fields.password = fieldValue(random, false);
                if (s.fields.encrypted && s.fields.password.empty()) s.fields.password = "new" + std::to_string(random() % 99);
            }
            return s;
        }
        case Kind::Lock:
            return s;
        case Kind::Reload:
            s.answer = percent(random) < 20 ? kCancel : kRightPassword;
            return s;
        default:
            continue;
        }
    }
}

bool Run::meaningful(const Step& s) const {
    const Store& m = m_model;
    auto existing = [&](const std::string& p) { return m.find(split(p)) != nullptr; };
    auto parentExists = [&](const std::string& p) {
        Components c = split(p);
        if (c.empty()) return false;
        const Node* n = m.find(parentOf(c));
        return n != nullptr && n->folder;
    };
    if (m.locked && (s.kind == Kind::Lock || s.kind == Kind::Reload)) return false;
    if (!m.locked && s.kind == Kind::Unlock) return false;
    bool wrong = hasEmptyComponent(s.a) || (!s.b.empty() && hasEmptyComponent(s.b));
    if (wrong) return !m.locked;
    switch (s.kind) {
    case Kind::Mkdir: return parentExists(s.a) && !repeatsAnAncestor(split(s.a));
    case Kind::Rmdir:
    case Kind::Delete: return parentExists(s.a);
    case Kind::Move:
    case Kind::Copy: {
        if (!parentExists(s.a) || !parentExists(s.b)) return false;
        const Node* from = m.find(split(s.a));
        if (from == nullptr) return !existing(s.b);  // a missing source onto a free name
        if (s.kind == Kind::Copy && from->folder) return false;
        return !(from->folder && repeatsAnAncestor(split(s.b)));
    }
    case Kind::NewEntry: {
        Components f = split(s.a);
        f.pop_back();
        const Node* n = m.find(f);
        return n != nullptr && n->folder && !f.empty();
    }
    case Kind::Modify: {
        const Node* n = m.find(split(s.a));
        return n != nullptr && !n->folder && n->fields.encrypted == s.fields.encrypted &&
               !(n->fields.encrypted && n->fields.password.empty());
    }
    default: return true;
    }
}

std::string resultName(int r) {
    switch (r) {
    case 0: return "FS_FILE_OK";
    case 1: return "FS_FILE_EXISTS";
    case 2: return "FS_FILE_NOTFOUND";
    case 3: return "FS_FILE_READERROR";
    case 4: return "FS_FILE_WRITEERROR";
    case 5: return "FS_FILE_USERABORT";
    case 6: return "FS_FILE_NOTSUPPORTED";
    default: return std::to_string(r);
    }
}

bool Run::predictMove(const Step& s, int result, Store& next, bool& changed, std::string& why) {
    Components from = split(s.a), to = split(s.b);
    Node* src = next.find(from);
    auto refuse = [&](std::initializer_list<int> allowed, const char* expectation) {
        if (std::find(allowed.begin(), allowed.end(), result) != allowed.end()) return true;
        why = std::string(expectation) + ", the plug-in answered " + resultName(result);
        return false;
    };
    if (src == nullptr) return refuse({2, 1, 5, 4, 3}, "a missing source is refused");
    if (from == to) return refuse({5, 1}, "a move onto itself is refused");
    Node* parent = next.find(parentOf(to));
    Node* target = Store::child(*parent, to.back());
    bool sameFolder = parentOf(from) == parentOf(to);
    if (sameFolder) {  // renamed where it is
        if (target != nullptr && target != src) {
            // An entry over an entry may be replaced when asked to; otherwise refused.
            if (result == 0 && s.overwrite && !src->folder && !target->folder) {
                next.take(to);
                src = next.find(from);
                src->name = to.back();
                changed = true;
                return true;
            }
            return refuse({1}, "renaming onto an existing name is refused");
        }
        if (Store::clash(*parent, to.back(), src)) return refuse({1}, "renaming onto a name in another case is refused");
        if (result != 0) return refuse({0}, "a rename to a free name succeeds");
        src->name = to.back();
        changed = true;
        return true;
    }
    if (src->folder && isInside(parentOf(to), from)) return refuse({5}, "a folder moved into itself is refused");
    // Folders whose target lies below one of their siblings: may be refused.
    if (src->folder && to.size() >= from.size()) {
        std::size_t k = 0;
        while (k < from.size() && from[k] == to[k]) ++k;
        if (k + 1 == from.size() && result == 5) return true;
    }
    if (target != nullptr) {
        if (!s.overwrite) return refuse({1}, "a move onto an existing name without overwrite is refused");
        if (target->folder || src->folder) {
            // Over a folder (or a folder over an entry): refused, nothing lost.
            if (result != 0) return true;
            if (target->folder) {
                why = "a move over a folder answered FS_FILE_OK";
                return false;
            }
        }
        // Another name of the folder that differs only in case: may be refused.
        if (result == 1 && Store::clash(*parent, to.back(), target)) return true;
        if (result != 0) return refuse({0}, "an overwriting move of an entry onto an entry succeeds");
        next.take(to);
    } else if (Store::clash(*parent, to.back())) {
        // Moves need not test the case of other names; a stricter answer is fine.
        if (result == 1) return true;
    }
    if (result != 0) return refuse({0}, "a move to a free name succeeds");
    Node moved = next.take(from);
    moved.name = to.back();
    next.find(parentOf(to))->children.push_back(std::move(moved));
    changed = true;
    return true;
}

bool Run::predictCopy(const Step& s, int result, Store& next, bool& changed, std::string& why) {
    Components from = split(s.a), to = split(s.b);
    Node* src = next.find(from);
    auto refuse = [&](std::initializer_list<int> allowed, const char* expectation) {
        if (std::find(allowed.begin(), allowed.end(), result) != allowed.end()) return true;
        why = std::string(expectation) + ", the plug-in answered " + resultName(result);
        return false;
    };
    if (src == nullptr) return refuse({2, 1, 5, 4, 3}, "a missing source is refused");
    if (from == to) {
        if (!messageShown("You cannot copy a file to itself!")) {
            why = "a copy onto itself says nothing";
            return false;
        }
        return refuse({5}, "a copy onto itself is refused");
    }
    Node* parent = next.find(parentOf(to));
    Node* target = Store::child(*parent, to.back());
    if (target != nullptr) {
        if (!s.overwrite) return refuse({1}, "a copy onto an existing name without overwrite is refused");
        if (target->folder) {
            if (result != 0) return true;
            why = "a copy over a folder answered FS_FILE_OK";
            return false;
        }
        if (result == 1 && Store::clash(*parent, to.back(), target)) return true;
        if (result != 0) return refuse({0}, "an overwriting copy of an entry onto an entry succeeds");
        next.take(to);
    } else if (Store::clash(*parent, to.back())) {
        if (result == 1) return true;  // copies need not test case; stricter is fine
    }
    if (result != 0) return refuse({0}, "a copy to a free name succeeds");
    Node copy = *next.find(from);
    copy.name = to.back();
    copy.id = 0;  // a number of its own, learnt from the file
    next.find(parentOf(to))->children.push_back(std::move(copy));
    changed = true;
    return true;
}

bool Run::predict(const Step& s, int result, Store& next, bool& changed, std::string& why) {
    changed = false;
    bool wrong = hasEmptyComponent(s.a) || (!s.b.empty() && hasEmptyComponent(s.b));
    switch (s.kind) {
    case Kind::Mkdir: {
        if (wrong || !next.find(parentOf(split(s.a)))) {
            if (result == 0) return true;
            why = "a path with an empty component made a folder";
            return false;
        }
        Components p = split(s.a);
        Node* parent = next.find(parentOf(p));
        if (Store::child(*parent, p.back())) {
            if (result == 0 && messageShown("Entry/Folder with the same name already exists!!")) return true;
            why = "mkdir of an existing name: expected FALSE and the message";
            return false;
        }
        if (Store::clash(*parent, p.back())) {
            if (result == 0 && messageShown("Entry with the same name already exists!!")) return true;
            why = "mkdir of a name that exists in another case: expected FALSE and the message";
            return false;
        }
        if (result != 1) {
            why = "mkdir of a free name answered " + std::to_string(result);
            return false;
        }
        Node n;
        n.name = p.back();
        parent->children.push_back(n);
        changed = true;
        return true;
    }
    case Kind::Rmdir:
    case Kind::Delete: {
        bool folderKind = s.kind == Kind::Rmdir;
        Node* n = wrong ? nullptr : next.find(split(s.a));
        if (n == nullptr || n->folder != folderKind) {
            if (result == 1) {
                why = wrong ? "a path with an empty component was removed"
                            : "removing what is not there (or is of the other kind) answered TRUE";
                return false;
            }
            return true;
        }
        if (result != 1) {
            why = "removing " + s.a + " answered " + std::to_string(result);
            return false;
        }
        next.take(split(s.a));
        changed = true;
        return true;
    }
    case Kind::Move:
    case Kind::Copy:
        if (wrong) {
            if (result != 0) return true;
            why = "a path with an empty component answered FS_FILE_OK";
            return false;
        }
        return s.kind == Kind::Move ? predictMove(s, result, next, changed, why)
                                    : predictCopy(s, result, next, changed, why);
    case Kind::NewEntry: {
        Components f = split(s.a);
        f.pop_back();
        Node* folder = next.find(f);
        if (Store::clash(*folder, s.title)) {
            if (result == wfx::FS_EXEC_ERROR && messageShown("Entry with the same name already exists!!")) return true;
            why = "a new entry whose title clashes: expected FS_EXEC_ERROR and the message";
            return false;
        }
        if (result != wfx::FS_EXEC_OK) {
            why = "a new entry answered " + std::to_string(result);
            return false;
        }
        Node n;
        n.folder = false;
        n.name = s.title;
        n.fields = s.fields;
        folder->children.push_back(n);
        changed = true;
        return true;
    }
    case Kind::Modify: {
        if (result != wfx::FS_EXEC_OK) {
            why = "modifying an entry answered " + std::to_string(result);
            return false;
        }
        next.find(split(s.a))->fields = s.fields;
        changed = true;
        return true;
    }
    default:
        return true;
    }
}

bool Run::run(const Step& s, std::string& why) {
    std::map<std::string, std::string> before = files.content;
    int writes = files.writes;
    dialogs.users.clear();
    dialogs.opened.clear();
    messageBoxes.shown.clear();
    Store next = m_model;
    bool prompt = false;  // a password prompt is expected
    bool changed = false;
    int result = 0;
    std::string a = s.a, b = s.b;
    if (s.slashes) {
        std::replace(a.begin(), a.end(), '\\', '/');
        std::replace(b.begin(), b.end(), '\\', '/');
    }
    char open[] = "open";

    switch (s.kind) {
    case Kind::Lock: {
        std::string p = "\\Lock Keyhold";
        result = FsExecuteFile(nullptr, &p[0], open);
        next.locked = true;
        break;
    }
    case Kind::Unlock: {
        std::string p = "\\UnLock Keyhold";
        willAnswer(s.answer);
        result = FsExecuteFile(nullptr, &p[0], open);
        prompt = true;
        if (s.answer == kRightPassword) next.locked = false;
        break;
    }
    case Kind::Reload: {
        std::string p = "\\Reload Database";
        result = FsExecuteFile(nullptr, &p[0], open);
        if (result != wfx::FS_EXEC_OK) {
            why = "opening Reload Database answered " + std::to_string(result);
            return false;
        }
        bool listed = true;
        if (s.answer == kCancel) {
            willAnswer(kCancel);
            list("\\", &listed);
            if (listed) {
                why = "a reload whose password was cancelled still listed the store";
                return false;
            }
        }
        willAnswer(kRightPassword);
        list("\\", &listed);
        if (!listed) {
            why = "the store did not open again after a reload";
            return false;
        }
        if (passwordPrompts() != (s.answer == kCancel ? 2 : 1)) {
            why = "a reload asked for the password " + std::to_string(passwordPrompts()) + " times";
            return false;
        }
        break;
    }
    default: {
        if (m_model.locked) {
            willAnswer(s.answer);
            prompt = true;
        }
        bool unlocking = m_model.locked;
        if (unlocking && s.answer == kRightPassword) next.locked = false;
        bool refusedAtPrompt = unlocking && s.answer != kRightPassword;
        switch (s.kind) {
        case Kind::Mkdir: result = FsMkDir(&a[0]); break;
        case Kind::Rmdir: result = FsRemoveDir(&a[0]); break;
        case Kind::Delete: result = FsDeleteFile(&a[0]); break;
        case Kind::Move:
        case Kind::Copy: {
            result = FsRenMovFile(&a[0], &b[0], s.kind == Kind::Move, s.overwrite, nullptr);
            break;
        }
        case Kind::NewEntry:
        case Kind::Modify: {
            const Fields f = s.fields;
            const std::string title = s.title;
            bool isNew = s.kind == Kind::NewEntry, newPassword = isNew || s.newPassword;
            dialogs.users.push_back([=](platform::MemoryDialogControls& c) {
                if (!isNew) c.click(IDC_ENTRY_MODIFY);
                if (isNew) c.replace(IDC_ENTRY_TITLE, title);
                c.replace(IDC_ENTRY_USERNAME, f.userName);
                c.replace(IDC_ENTRY_URL, f.url);
                c.replace(IDC_ENTRY_NOTES, f.notes);
                if (newPassword && (isNew ? (f.encrypted || !f.password.empty()) : true)) {
                    c.click(IDC_ENTRY_PASSWORD_BUTTON);  // the entry password dialog, next in the queue
                }
                c.click(1);
            });
            if (newPassword && (isNew ? (f.encrypted || !f.password.empty()) : true)) {
                dialogs.users.push_back([=](platform::MemoryDialogControls& c) {
                    if (c.checked(IDC_MODIFY_ENCRYPT) != f.encrypted) c.click(IDC_MODIFY_ENCRYPT);
                    c.replace(IDC_MODIFY_FIRST, f.password);
                    if (c.isVisible(IDC_MODIFY_SECOND)) c.replace(IDC_MODIFY_SECOND, f.password);
                    c.click(1);
                });
            }
            result = FsExecuteFile(nullptr, &a[0], open);
            if (unlocking) {
                // Opened while locked, the path names the unlock node: the
                // prompt comes, no entry dialog.
                if (opened(IDD_NEW_ENTRY) || opened(IDD_ENTRY_DATA)) {
                    why = "an entry dialog opened while the store was locked";
                    return false;
                }
                refusedAtPrompt = true;  // nothing else happens
            }
            break;
        }
        default: break;
        }
        if (refusedAtPrompt) {
            // Cancelled at the prompt (or only unlocked): nothing changes.
            bool cancelled = s.answer != kRightPassword;
            if ((s.kind == Kind::Move || s.kind == Kind::Copy) && cancelled && result == 0) {
                why = "a cancelled unlock prompt answered FS_FILE_OK";
                return false;
            } else if (cancelled && (s.kind == Kind::Mkdir || s.kind == Kind::Rmdir) && result != 0) {
                why = "a cancelled unlock prompt answered TRUE";
                return false;
            }
            break;
        }
        if (!predict(s, result, next, changed, why)) return false;
        break;
    }
    }

    if (passwordPrompts() != (prompt ? 1 : 0) && s.kind != Kind::Reload) {
        why = std::string("expected ") + (prompt ? "one password prompt" : "no password prompt") + ", saw " +
              std::to_string(passwordPrompts());
        return false;
    }
    int saves = storeWritesSince(writes, before);
    if (saves < 1 && files.content[m_store] != before[m_store]) saves = 1;  // a backup made without a write
    int expectedSaves = changed ? 1 : 0;
    if (saves != expectedSaves) {
        soft.push_back(s.describe() + " (answer " + std::to_string(result) + "): the store was saved " +
                       std::to_string(saves) + " times, expected " + std::to_string(expectedSaves));
    }
    if (!changed && files.content[m_store] != before[m_store]) {
        soft.push_back(s.describe() + " (answer " + std::to_string(result) +
                       "): the store file changed, though the step changed nothing");
    }
    if (s.kind == Kind::Reload) {
        // The numbers are the plug-in's to give at a load; learnt again.
        std::function<void(Node&)> forget = [&](Node& n) {
            for (Node& c : n.children) {
                c.id = 0;
                forget(c);
            }
        };
        forget(next.root);
    }
    m_model = std::move(next);
    return check(s.describe() + " (answer " + std::to_string(result) + ")", why);
}

// ------------------------------------------------------------------ driver
//
// Each sequence runs in a child process of its own, so that a plug-in that
// hangs or crashes fails that sequence (with the step it was in) and not the
// whole run. The child tells the parent, line by line, what it does.

struct Channel {
    int fd;
    void say(const char* tag, const std::string& text) {
        std::string line = std::string(tag) + " ";
        for (char c : text) line += c == '\n' ? '\x1f' : c;
        line += '\n';
        const char* p = line.data();
        std::size_t left = line.size();
        while (left > 0) {
            ssize_t n = write(fd, p, left);
            if (n <= 0) return;
            p += n;
            left -= static_cast<std::size_t>(n);
        }
    }
};

// Runs the seed's sequence; on a failure, with `cut`, replays it to find the
// fewest steps that fail the same way.
void runSeed(unsigned seed, std::size_t stepCount, const std::vector<std::string>& excluded, bool cut,
             Channel out);

// Replays steps on a fresh plug-in; steps that lost their sense are skipped.
bool replay(unsigned seed, const std::vector<Step>& steps, std::string& why, std::vector<Step>* ran = nullptr) {
    Run run(seed);
    if (!run.start(why)) return false;
    for (const Step& s : steps) {
        if (!run.meaningful(s)) continue;
        if (ran) ran->push_back(s);
        if (!run.run(s, why)) return false;
    }
    return true;
}

// What tells one failure from another: the message without names and numbers.
std::string signature(const std::string& why) {
    std::string s = why;
    std::string::size_type cut = s.find("): ");
    if (s.rfind("after ", 0) == 0 && cut != std::string::npos) s = s.substr(cut + 3);
    s = s.substr(0, s.find('\n'));
    std::string out;
    bool inQuote = false;
    for (char c : s) {
        if (c == '"') inQuote = !inQuote;
        else if (!inQuote && !(c >= '0' && c <= '9')) out += c;
    }
    // Paths and names in the middle vary too: keep the words before the first one.
    std::string::size_type path = out.find('\\');
    if (path != std::string::npos) out = out.substr(0, path);
    return out.substr(0, 60);
}

void runSeed(unsigned seed, std::size_t stepCount, const std::vector<std::string>& excluded, bool cut,
             Channel out) {
    std::mt19937 random(seed);
    std::vector<Step> steps;
    std::string why;
    {
        Run run(seed);
        auto soft = [&](std::size_t step) {
            for (const std::string& m : run.soft) out.say("SOFT", std::to_string(step) + " " + m);
            run.soft.clear();
        };
        bool ok = run.start(why);
        soft(0);
        for (std::size_t i = 0; ok && i < stepCount; ++i) {
            Step s = run.generate(random, excluded);
            steps.push_back(s);
            out.say("STEP", s.describe());
            ok = run.run(s, why);
            soft(i + 1);
        }
        if (ok) {
            out.say("DONE", std::to_string(steps.size()));
            return;
        }
        out.say("FAIL", std::to_string(steps.size()) + " " + why);
    }
    if (!cut) return;
    const std::string sig = signature(why);
    auto stillFails = [&](const std::vector<Step>& candidate) {
        std::string w;
        return !replay(seed, candidate, w) && signature(w) == sig;
    };
    if (!stillFails(steps)) return;
    for (std::size_t chunk = steps.size() / 2; chunk >= 1; chunk /= 2) {
        for (std::size_t i = 0; i + chunk <= steps.size();) {
            std::vector<Step> candidate(steps.begin(), steps.begin() + static_cast<std::ptrdiff_t>(i));
            candidate.insert(candidate.end(), steps.begin() + static_cast<std::ptrdiff_t>(i + chunk), steps.end());
            if (!candidate.empty() && stillFails(candidate)) steps = candidate;
            else i += chunk;
        }
    }
    std::vector<Step> ran;
    replay(seed, steps, why, &ran);
    for (const Step& s : ran) out.say("MIN", s.describe());
}

struct ChildReport {
    std::vector<std::string> steps, soft, minimal;
    std::string failure;  // empty when the sequence ran through
    bool finished = false;
};

// Runs a seed in a child process, within a time limit.
ChildReport inChild(unsigned seed, std::size_t stepCount, const std::vector<std::string>& excluded, bool cut) {
    ChildReport r;
    int fds[2];
    if (pipe(fds) != 0) {
        r.failure = "pipe failed";
        return r;
    }
    std::fflush(nullptr);
    pid_t pid = fork();
    if (pid == 0) {
        close(fds[0]);
        runSeed(seed, stepCount, excluded, cut, Channel{fds[1]});
        close(fds[1]);
        _exit(0);
    }
    close(fds[1]);
    const int limit = cut ? 120 : 60;  // seconds
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limit);
    std::string pending;
    bool timedOut = false;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            timedOut = true;
            break;
        }
        pollfd p{fds[0], POLLIN, 0};
        int n = poll(&p, 1, static_cast<int>(left.count()));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) continue;
        char buf[4096];
        ssize_t got = read(fds[0], buf, sizeof buf);
        if (got <= 0) break;
        pending.append(buf, static_cast<std::size_t>(got));
    }
    close(fds[0]);
    int status = 0;
    if (timedOut) kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    std::stringstream lines(pending);
    std::string line;
    while (std::getline(lines, line)) {
        std::replace(line.begin(), line.end(), '\x1f', '\n');
        std::string tag = line.substr(0, line.find(' ')), text = line.substr(line.find(' ') + 1);
        if (tag == "STEP") r.steps.push_back(text);
        else if (tag == "SOFT") r.soft.push_back(text);
        else if (tag == "MIN") r.minimal.push_back(text);
        else if (tag == "DONE") r.finished = true;
        else if (tag == "FAIL") r.failure = text.substr(text.find(' ') + 1);
    }
    if (!r.finished && r.failure.empty()) {
        r.failure = timedOut ? "the plug-in did not answer within " + std::to_string(limit) + " s"
                             : WIFSIGNALED(status) ? "the process died of signal " + std::to_string(WTERMSIG(status))
                                                   : "the process ended early";
        r.failure += r.steps.empty() ? " while opening the store" : " in the step: " + r.steps.back();
    }
    return r;
}

unsigned envNumber(const char* name, unsigned fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : fallback;
}

TEST(StoreModel, RandomChangesMatchTheModelAndTheFile) {
    unsigned first = 1, last = 100;
    if (const char* v = std::getenv("KH_MODEL_SEEDS")) {
        std::string s = v;
        std::string::size_type dash = s.find('-');
        if (dash == std::string::npos) {
            last = static_cast<unsigned>(std::strtoul(s.c_str(), nullptr, 10));
        } else {
            first = static_cast<unsigned>(std::strtoul(s.substr(0, dash).c_str(), nullptr, 10));
            last = static_cast<unsigned>(std::strtoul(s.substr(dash + 1).c_str(), nullptr, 10));
        }
    }
    const std::size_t steps = envNumber("KH_MODEL_STEPS", 80);
    const std::vector<std::string> excluded = excludedKinds();
    std::size_t total = 0, failed = 0, cut = 0;
    std::map<std::string, std::size_t> kinds;  // steps run, by kind
    std::map<std::string, unsigned> seen;  // failure signature -> first seed
    for (unsigned seed = first; seed <= last; ++seed) {
        ChildReport r = inChild(seed, steps, excluded, false);
        total += r.steps.size();
        for (const std::string& st : r.steps) ++kinds[st.substr(0, st.find(' '))];
        const std::string replayHint = " (KH_MODEL_SEEDS=" + std::to_string(seed) + "-" + std::to_string(seed) + ")";
        for (const std::string& m : r.soft) {
            // "STEP what": told apart by the kind of step and what was wrong
            std::string step = m.substr(0, m.find(' ')), rest = m.substr(m.find(' ') + 1);
            std::string sig = "saves " + rest.substr(0, rest.find(' ')) + signature(rest.substr(rest.rfind("): ") + 1));
            if (seen.count(sig)) continue;
            seen[sig] = seed;
            ++failed;
            ADD_FAILURE() << "seed " << seed << replayHint << ", step " << step << ": " << rest;
        }
        if (r.failure.empty()) continue;
        ++failed;
        std::ostringstream report;
        report << "seed " << seed << replayHint << ", step " << r.steps.size() << ": " << r.failure << "\n";
        std::string sig = signature(r.failure);
        if (seen.count(sig)) {
            report << "  (fails like seed " << seen[sig] << ")\n";
        } else {
            seen[sig] = seed;
            std::vector<std::string> shown = r.steps;
            if (r.finished || r.failure.find("the plug-in did not answer") == 0 || r.failure.find("the process") == 0) {
                report << "  the steps up to it:\n";
            } else if (cut++ < 3) {
                ChildReport minimal = inChild(seed, steps, excluded, true);
                if (!minimal.minimal.empty()) shown = minimal.minimal;
                report << "  fewest steps that fail the same way ("
                       << (seed % 3 == 0 ? "new store" : seed % 3 == 1 ? "written store" : "written store, wrong numbers")
                       << "):\n";
            } else {
                report << "  the steps up to it:\n";
            }
            for (const std::string& s : shown) report << "    " << s << "\n";
        }
        ADD_FAILURE() << report.str();
    }
    std::printf("%zu steps in %u sequences; %zu failures reported\nsteps by kind:", total, last - first + 1, failed);
    for (const auto& k : kinds) std::printf(" %s %zu", k.first.c_str(), k.second);
    std::printf("\n");
}

}  // namespace
