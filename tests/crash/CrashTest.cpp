// The terminal host killed at random moments while it changes the store.
// After every kill the store file must parse and decrypt, hold every change
// the host reported done before it died, and hold the change it was making
// either entirely or not at all. Then a fresh host opens it and goes on.
//
// The target comes from KH_E2E as for the end-to-end tests. KH_CRASH_KILLS
// sets the number of kills (default 100), KH_CRASH_SEED the random seed
// (default 1; the seed is printed with every failure).
#include <gtest/gtest.h>
#include <tinyxml.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "IndependentCrypt.h"
#include "PanelSession.h"

namespace {

const std::string kPassword = "crash pw";
constexpr int kFolders = 12;
constexpr int kEntriesPerFolder = 40;

// The store as a map from path to what is there: "folder" for a folder, the
// decrypted user name and password of an entry (unique to each original
// entry, shared by its copies).
using State = std::map<std::string, std::string>;

unsigned envNumber(const char* name, unsigned fallback) {
    const char* v = std::getenv(name);
    return v && *v ? static_cast<unsigned>(std::strtoul(v, nullptr, 10)) : fallback;
}

// The differences between two states, for a failure message.
std::string difference(const State& got, const State& want) {
    std::ostringstream o;
    for (const auto& e : want) {
        auto it = got.find(e.first);
        if (it == got.end()) o << "  missing: " << e.first << "\n";
        else if (it->second != e.second) o << "  changed: " << e.first << " holds " << it->second << "\n";
    }
    for (const auto& e : got) {
        if (!want.count(e.first)) o << "  unexpected: " << e.first << "\n";
    }
    return o.str();
}

// Reads the store file on its own: false (with `why`) when it does not
// parse, its masterkey is not the password's, a value does not decrypt or a
// number is used twice.
bool readState(const std::string& content, State& state, std::string& why) {
    TiXmlDocument d;
    d.Parse(content.c_str());
    TiXmlElement* root = d.RootElement();
    if (d.Error() || root == nullptr || root->ValueStr() != "pswd") {
        why = std::string("the store does not parse: ") + d.ErrorDesc();
        return false;
    }
    const char* key = root->Attribute("masterkey");
    if (key == nullptr || key != independent::masterKey(kPassword)) {
        why = "the masterkey is not the password's";
        return false;
    }
    std::set<std::string> ids;
    state.clear();
    std::vector<std::pair<TiXmlElement*, std::string>> todo{{root, ""}};
    while (!todo.empty()) {
        TiXmlElement* e = todo.back().first;
        std::string prefix = todo.back().second;
        todo.pop_back();
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
            bool folder = c->ValueStr() == "folder";
            if (!folder && c->ValueStr() != "file") continue;
            const char* id = c->Attribute("id");
            if (id == nullptr || !ids.insert(id).second) {
                why = std::string("a missing or repeated id: ") + (id ? id : "(none)");
                return false;
            }
            std::string name = c->Attribute("name") ? c->Attribute("name") : "";
            if (const char* salt = c->Attribute("salt"); salt && !folder) {
                std::string plain;
                if (!independent::decrypt(kPassword, name, salt, plain)) {
                    why = "a title does not decrypt (id " + std::string(id) + ")";
                    return false;
                }
                name = plain;
            }
            std::string path = prefix + "\\" + name;
            if (folder) {
                state[path] = "folder";
                todo.push_back({c, path});
                continue;
            }
            std::string value;
            for (const char* tag : {"username", "password", "url", "notes"}) {
                TiXmlElement* f = c->FirstChildElement(tag);
                const char* text = f ? f->GetText() : nullptr;
                const char* salt = f ? f->Attribute("salt") : nullptr;
                std::string plain = text ? text : "";
                if (text && salt && !independent::decrypt(kPassword, text, salt, plain)) {
                    why = std::string("field ") + tag + " of " + path + " does not decrypt";
                    return false;
                }
                if (std::string(tag) == "username" || std::string(tag) == "password") value += plain + "|";
            }
            state[path] = value;
        }
    }
    return true;
}

// A store of encrypted entries, written with OpenSSL.
std::string makeStore(State& state) {
    auto field = [](const char* tag, const std::string& value) {
        auto c = independent::encrypt(kPassword, value);
        return std::string("<") + tag + " salt=\"" + c.second + "\">" + c.first + "</" + tag + ">";
    };
    int id = 1;
    std::string xml = "<?xml version=\"1.0\" ?>\n<pswd basename=\"Crash\" id=\"" + std::to_string(id++) +
                      "\" masterkey=\"" + independent::masterKey(kPassword) + "\">\n";
    for (int f = 0; f < kFolders; ++f) {
        std::string folder = "F" + std::to_string(f);
        xml += "<folder name=\"" + folder + "\" id=\"" + std::to_string(id++) + "\" creationtime=\"1600000000\">\n";
        state["\\" + folder] = "folder";
        for (int e = 0; e < kEntriesPerFolder; ++e) {
            int n = f * kEntriesPerFolder + e;
            std::string title = "E" + std::to_string(n);
            std::string user = "user" + std::to_string(n), password = "pass" + std::to_string(n);
            auto t = independent::encrypt(kPassword, title);
            xml += "<file name=\"" + t.first + "\" salt=\"" + t.second + "\" id=\"" + std::to_string(id++) + "\">" +
                   field("username", user) + field("url", "https://site" + std::to_string(n) + ".example/login") +
                   field("password", password) +
                   field("notes", "Notes of entry " + std::to_string(n) + "\r\nAuto-Type-Window:*Site " +
                                      std::to_string(n) + "*") +
                   "<image></image>" + field("creationtime", "1600000000") + field("lastmodtime", "1600000000") +
                   field("lastaccesstime", "1600000000") + "<expiretime expires=\"false\"></expiretime></file>\n";
            state["\\" + folder + "\\" + title] = user + "|" + password + "|";
        }
        xml += "</folder>\n";
    }
    return xml + "</pswd>\n";
}

// One change: the host's command lines, and the state it leads to.
struct Change {
    std::vector<std::string> lines;
    State after;
    std::string text;  // for messages
    std::string kind;  // what sort of change it is
};

// Changes that are all valid in `s`: each saves the store once when it is done.
Change nextChange(const State& s, std::mt19937& random, int& counter) {
    std::vector<std::string> folders, entries, madeFolders;
    for (const auto& e : s) {
        if (e.second == "folder") {
            folders.push_back(e.first);
            if (e.first.find("\\N") != std::string::npos) madeFolders.push_back(e.first);
        } else {
            entries.push_back(e.first);
        }
    }
    auto pick = [&](const std::vector<std::string>& v) { return v[random() % v.size()]; };
    auto parent = [](const std::string& p) { return p.substr(0, p.rfind('\\')); };
    auto quoted = [](const std::string& p) { return "\"" + p + "\""; };
    Change c;
    c.after = s;
    std::string tag = std::to_string(++counter);
    for (;;) {
        int kind = static_cast<int>(random() % 100);
        if (kind < 15) {  // a new folder
            std::string p = pick(folders) + "\\N" + tag;
            if (std::count(p.begin(), p.end(), '\\') > 3) continue;
            c.lines = {"mkdir " + quoted(p)};
            c.kind = "new folder";
            c.after[p] = "folder";
        } else if (kind < 30) {  // an entry renamed in its folder
            std::string from = pick(entries), to = parent(from) + "\\R" + tag;
            c.lines = {"mv " + quoted(from) + " " + quoted(to)};
            c.kind = "rename";
            c.after.erase(from);
            c.after[to] = s.at(from);
        } else if (kind < 45) {  // moved to another folder
            std::string from = pick(entries), to = pick(folders) + "\\M" + tag;
            if (parent(from) == parent(to)) continue;
            c.lines = {"mv " + quoted(from) + " " + quoted(to)};
            c.kind = "move";
            c.after.erase(from);
            c.after[to] = s.at(from);
        } else if (kind < 65) {  // moved over another entry, overwriting it
            std::string from = pick(entries), to = pick(entries);
            if (parent(from) == parent(to)) continue;
            c.lines = {"mv " + quoted(from) + " " + quoted(to), "> y"};
            c.kind = "overwriting move";
            c.after.erase(from);
            c.after[to] = s.at(from);
        } else if (kind < 80) {  // copied
            std::string from = pick(entries), to = pick(folders) + "\\C" + tag;
            c.lines = {"cp " + quoted(from) + " " + quoted(to)};
            c.kind = "copy";
            c.after[to] = s.at(from);
        } else if (kind < 92) {  // deleted
            if (entries.size() < 200) continue;
            std::string p = pick(entries);
            c.lines = {"rm " + quoted(p)};
            c.kind = "delete";
            c.after.erase(p);
        } else {  // a made folder removed with what is in it
            if (madeFolders.empty()) continue;
            std::string p = pick(madeFolders);
            c.lines = {"rmdir " + quoted(p)};
            c.kind = "folder removal";
            for (const auto& e : s) {
                if (e.first == p || e.first.rfind(p + "\\", 0) == 0) c.after.erase(e.first);
            }
        }
        c.text = c.lines[0];
        return c;
    }
}

// Whether the host reported the change done in these lines.
bool reportedDone(const std::vector<std::string>& lines) {
    for (const std::string& l : lines) {
        if (l == "TRUE" || l == "FS_FILE_OK") return true;
    }
    return false;
}

// Temporary files of a save left beside the store.
std::vector<std::string> leftovers(const PluginFolder& folder) {
    std::vector<std::string> out;
    for (const std::string& n : folderEntries(folder.path())) {
        if (n.rfind("database.xml.", 0) == 0 && n != "database.xml.bak" && n != "database.xml.lock") {
            out.push_back(n);
        }
    }
    return out;
}

TEST(Crash, KilledDuringSavesLosesNothingReportedDone) {
    E2ETarget target = E2ETarget::fromEnvironment();
    PluginFolder folder(target);
    const unsigned kills = envNumber("KH_CRASH_KILLS", 100);
    const unsigned seed = envNumber("KH_CRASH_SEED", 1);
    std::mt19937 random(seed);
    State model;
    writeFile(folder.file("database.xml"), makeStore(model));
    writeFile(folder.file("keyHold.ini"), "[MAIN]\ndatafile=" + folder.asTargetPath("database.xml") +
                                              "\nNewEntryFolder=0\n[AUTOLOCK]\nAutolock=0\n");

    int counter = 0;
    unsigned duringOperation = 0, duringWrite = 0, afterSave = 0, failures = 0, confirmed = 0;
    std::vector<double> durations;  // seconds from a command to its answer
    std::ostringstream failureText;
    std::map<std::string, unsigned> failuresBy;  // kind of change -> failures
    auto fail = [&](unsigned kill, const std::string& kind, const std::string& what) {
        ++failures;
        ++failuresBy[kind];
        if (failures <= 5) failureText << "kill " << kill << " (KH_CRASH_SEED=" << seed << "): " << what << "\n";
    };
    auto t0 = std::chrono::steady_clock::now();
    for (unsigned kill = 1; kill <= kills; ++kill) {
        PanelSession panel(target, folder);
        panel.send("ls");
        panel.answerPasswordDialog({kPassword});
        std::vector<std::string> opened = panel.sync();
        if (!anyLineHas(opened, "F0")) {
            fail(kill, "opening", "the store did not open after the previous kill:\n" + joinLines(opened));
            panel.kill();
            break;
        }
        // A few changes reported done.
        int before = static_cast<int>(random() % 3);
        bool ok = true;
        for (int i = 0; i < before && ok; ++i) {
            Change c = nextChange(model, random, counter);
            auto start = std::chrono::steady_clock::now();
            for (const std::string& l : c.lines) panel.send(l);
            std::vector<std::string> out = panel.sync();
            durations.push_back(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
            if (!reportedDone(out)) {
                fail(kill, c.kind, "a valid change was refused: " + c.text + "\n" + joinLines(out));
                ok = false;
                break;
            }
            ++confirmed;
            model = c.after;
        }
        // One more, killed at a random moment while it runs.
        Change c = nextChange(model, random, counter);
        double typical = 0.02;
        if (!durations.empty()) {
            std::vector<double> d = durations;
            std::nth_element(d.begin(), d.begin() + static_cast<std::ptrdiff_t>(d.size() / 2), d.end());
            typical = d[d.size() / 2];
        }
        std::uniform_real_distribution<double> delay(0.0, typical * 1.3);
        for (const std::string& l : c.lines) panel.send(l);
        std::this_thread::sleep_for(std::chrono::duration<double>(delay(random)));
        std::vector<std::string> last = panel.kill();
        bool done = reportedDone(last);
        std::vector<std::string> temp = leftovers(folder);

        State onDisk;
        std::string why;
        if (!readState(readFile(folder.file("database.xml")), onDisk, why)) {
            fail(kill, c.kind, "after killing during \"" + c.text + "\": " + why);
            break;  // nothing to go on from
        }
        bool isBefore = onDisk == model, isAfter = onDisk == c.after;
        if (!done) {
            ++duringOperation;
            if (!temp.empty()) ++duringWrite;
            else if (isAfter) ++afterSave;
        }
        if (done && !isAfter) {
            fail(kill, c.kind, "\"" + c.text + "\" was reported done, the store lacks it:\n" + difference(onDisk, c.after));
        } else if (!isBefore && !isAfter) {
            fail(kill, c.kind, "killed during \"" + c.text + "\": the store holds neither the state before nor after it:\n" +
                           difference(onDisk, c.after));
        }
        if (!ok && onDisk != model) fail(kill, "refused", "a refused change changed the store");
        model = onDisk;
        for (const std::string& t : temp) unlink(folder.file(t).c_str());
    }
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    std::printf("target %s, seed %u: %u kills in %.0f s; %u changes reported done before them; %u kills landed "
                "during a change, %u of them while the store file was being written and %u after it was saved but "
                "before the host reported it; %u failures\n",
                target.name.c_str(), seed, kills, seconds, confirmed, duringOperation, duringWrite, afterSave, failures);
    for (const auto& f : failuresBy) std::printf("  %u failures in: %s\n", f.second, f.first.c_str());
    EXPECT_EQ(failures, 0u) << failureText.str();
    EXPECT_GT(duringWrite + afterSave, 0u) << "no kill landed during a save";
}

}  // namespace
