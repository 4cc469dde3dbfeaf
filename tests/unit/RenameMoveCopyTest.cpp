// Renaming, moving and copying inside the store.
#include "RenameMoveCopy.h"
#include "StoreChanges.h"
#include "StoreFixture.h"

#include <random>

namespace {

class RenameMoveCopyTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        auto t = encryptedUnder("pw", "Secret");
        files.content[store] =
            "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
            "\"><folder name=\"G1\" id=\"2\"><file name=\"x\" id=\"3\"><password>p</password></file>"
            "<file name=\"a\" id=\"4\"/><file name=\"B\" id=\"5\"/><folder name=\"Sub\" id=\"6\">"
            "<file name=\"deep\" id=\"7\"/></folder></folder><folder name=\"G2\" id=\"8\"><file name=\"x\" id=\"9\"/>"
            "</folder><folder name=\"G3\" id=\"10\"/><file name=\"" + t.first + "\" salt=\"" + t.second +
            "\" id=\"11\"><password salt=\"" + encryptedUnder("pw", "pp").second + "\">" +
            encryptedUnder("pw", "pp").first + "</password></file></pswd>";
        start("[MAIN]\nNewEntryFolder=0\n");
        willType("pw");
        list("\\");
    }
    int mv(const char* from, const char* to, bool overwrite = false) { return RenameMoveCopy(from, to, true, overwrite); }
    int cp(const char* from, const char* to, bool overwrite = false) { return RenameMoveCopy(from, to, false, overwrite); }
    // Every folder and entry of the file as "path#id", in document order.
    std::vector<std::string> disk() {
        TiXmlDocument d = parsedStore();
        std::vector<std::string> out;
        walk(d.RootElement(), "", out);
        return out;
    }
    void walk(TiXmlElement* e, const std::string& prefix, std::vector<std::string>& out) {
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
            if (c->ValueStr() != "folder" && c->ValueStr() != "file") continue;
            std::string name = c->Attribute("name");
            if (c->Attribute("salt")) {
                name.clear();
                security::decrypt(c->Attribute("name"), c->Attribute("salt"), name);
            }
            std::string p = prefix + "\\" + name;
            out.push_back(p + "#" + c->Attribute("id"));
            walk(c, p, out);
        }
    }
    // The same from the tree.
    std::vector<std::string> tree() {
        std::vector<std::string> out;
        for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p) {
            if (p->isEntry() || p->isFolder()) {
                std::string path = p->absolutePath;
                if (p->isFolder()) path.pop_back();
                out.push_back(path + "#" + std::to_string(p->uniqueNumber));
            }
        }
        return out;
    }
    void expectInStep() { EXPECT_EQ(disk(), tree()); }
};

TEST_F(RenameMoveCopyTest, RenamesInPlace) {
    EXPECT_EQ(mv("\\G1\\a", "\\G1\\b"), wfx::FS_FILE_EXISTS) << "B exists, case ignored";
    EXPECT_EQ(mv("\\G1\\a", "\\G1\\b", true), wfx::FS_FILE_EXISTS);
    EXPECT_EQ(mv("\\G1\\a", "\\G1\\A"), wfx::FS_FILE_OK) << "only the case changes";
    EXPECT_EQ(mv("\\G1", "\\Renamed"), wfx::FS_FILE_OK);
    EXPECT_EQ(list("\\Renamed\\Sub"), std::vector<std::string>{"deep"});
    std::vector<std::string> paths = tree();
    EXPECT_NE(std::find(paths.begin(), paths.end(), "\\Renamed\\Sub\\deep#7"), paths.end());
    EXPECT_EQ(mv("\\Renamed", "\\G2"), wfx::FS_FILE_EXISTS);
    EXPECT_EQ(mv("\\Secret", "\\Public"), wfx::FS_FILE_OK);
    TiXmlDocument d = parsedStore();
    TiXmlElement* e = XmlData::findElementById(d.RootElement(), 11);
    ASSERT_NE(e->Attribute("salt"), nullptr) << "an encrypted title stays encrypted";
    expectInStep();
}

TEST_F(RenameMoveCopyTest, MovesBetweenFolders) {
    EXPECT_EQ(mv("\\G1\\x", "\\G2\\x"), wfx::FS_FILE_EXISTS);
    EXPECT_EQ(mv("\\G1\\x", "\\G2\\x", true), wfx::FS_FILE_OK);
    EXPECT_EQ(list("\\G2"), std::vector<std::string>{"x"});
    TreePos moved = passwordTree().firstChild(std::next(passwordTree().children(GetBaseNode()).begin(), 4).position());
    EXPECT_EQ(moved->uniqueNumber, 3u) << "the moved entry replaced the old one";
    EXPECT_EQ(moved->group, "G2");
    EXPECT_EQ(moved->getPassword(), "p");
    EXPECT_EQ(mv("\\G1\\Sub", "\\G3\\Sub"), wfx::FS_FILE_OK);
    EXPECT_EQ(list("\\G3\\Sub"), std::vector<std::string>{"deep"});
    // Into a sibling's folder, not into itself.
    EXPECT_EQ(mv("\\G1\\a", "\\G1\\Nope\\a"), wfx::FS_FILE_NOTFOUND) << "folders are not made up on the way";
    expectInStep();
}

TEST_F(RenameMoveCopyTest, RefusalsChangeNothing) {
    std::string before = files.content[store];
    struct Case {
        const char* from;
        const char* to;
        bool move, overwrite;
        int result;
    } cases[] = {
        {"\\G1", "\\G1\\Sub\\G1", true, false, wfx::FS_FILE_USERABORT},  // into itself
        {"\\G1\\x", "\\G1\\x", true, false, wfx::FS_FILE_USERABORT},
        {"\\G1\\x", "\\G1\\x", false, false, wfx::FS_FILE_USERABORT},
        {"\\Gone", "\\G2\\Gone", true, false, wfx::FS_FILE_NOTFOUND},
        {"\\G1\\x", "\\G2", true, true, wfx::FS_FILE_EXISTS},  // never over a folder
        {"\\G3", "\\G2", true, true, wfx::FS_FILE_EXISTS},
        {"\\G1\\x", "\\G1\\a\\x", true, false, wfx::FS_FILE_NOTFOUND},  // through an entry
        {"\\", "\\G2", true, false, wfx::FS_FILE_NOTFOUND},
        {"\\G1\\x", "", true, false, wfx::FS_FILE_NOTFOUND},
        {"\\New Entry", "\\G2\\New Entry", true, false, wfx::FS_FILE_OK},  // a command: nothing
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RenameMoveCopy(c.from, c.to, c.move, c.overwrite), c.result) << c.from << " -> " << c.to;
        EXPECT_EQ(files.content[store], before) << c.from << " -> " << c.to;
    }
    EXPECT_EQ(shownMessages(), std::vector<std::string>{"You cannot copy a file to itself!"});
}

TEST_F(RenameMoveCopyTest, CopiesGetTheirOwnNumbers) {
    EXPECT_EQ(cp("\\G1\\x", "\\G3\\x"), wfx::FS_FILE_OK);
    EXPECT_EQ(cp("\\Secret", "\\G3\\Copy"), wfx::FS_FILE_OK);
    std::vector<std::string> paths = tree();
    EXPECT_NE(std::find(paths.begin(), paths.end(), "\\G1\\x#3"), paths.end()) << "the source keeps its number";
    TreePos g3 = std::next(passwordTree().children(GetBaseNode()).begin(), 5).position();
    ASSERT_EQ(g3->name, "G3");
    std::vector<std::string> names;
    for (auto& n : passwordTree().children(g3)) {
        names.push_back(n.name);
        EXPECT_NE(n.uniqueNumber, 3u);
        EXPECT_NE(n.uniqueNumber, 11u);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"x", "Copy"}));
    EXPECT_EQ(cp("\\G1\\x", "\\G2\\x"), wfx::FS_FILE_EXISTS);
    EXPECT_EQ(cp("\\G1\\x", "\\G2\\x", true), wfx::FS_FILE_OK);
    expectInStep();
}

TEST_F(RenameMoveCopyTest, FailedSaveTakesTheMoveBack) {
    std::vector<std::string> before = tree();
    files.failWrites = true;
    EXPECT_EQ(mv("\\G1\\Sub", "\\G3\\Sub"), wfx::FS_FILE_WRITEERROR);
    EXPECT_EQ(mv("\\G1", "\\Other"), wfx::FS_FILE_WRITEERROR);
    EXPECT_EQ(mv("\\G1\\a", "\\G1\\z"), wfx::FS_FILE_WRITEERROR);
    EXPECT_EQ(cp("\\G1\\a", "\\G3\\a"), wfx::FS_FILE_WRITEERROR);
    EXPECT_EQ(tree(), before);
    files.failWrites = false;
    EXPECT_EQ(mv("\\G1\\a", "\\G3\\a"), wfx::FS_FILE_OK);
    expectInStep();
}

TEST_F(RenameMoveCopyTest, CancelledUnlockAndAbortedProgress) {
    lock();
    willCancel();
    EXPECT_EQ(mv("\\G1\\a", "\\G3\\a"), wfx::FS_FILE_NOTFOUND);
    EXPECT_TRUE(navigation().isLocked());
}

// Long random sequences of changes against a plain model of what the store
// holds: after every step the tree, the file and the model agree.
TEST_F(RenameMoveCopyTest, RandomChangesKeepTreeFileAndModelInStep) {
    unsigned seed = 20261210;
    if (const char* s = std::getenv("KEYHOLD_RANDOM_SEED")) seed = static_cast<unsigned>(std::strtoul(s, nullptr, 10));
    int steps = std::getenv("KEYHOLD_RANDOM_STEPS") ? std::atoi(std::getenv("KEYHOLD_RANDOM_STEPS")) : 300;
    std::mt19937 rng(seed);
    const char* names[] = {"a", "b", "A", "c"};
    auto pick = [&](const std::vector<std::string>& v) { return v[rng() % v.size()]; };
    for (int step = 0; step < steps; ++step) {
        std::vector<std::string> folders{""}, entries, all;
        for (const std::string& p : tree()) {
            std::string path = p.substr(0, p.find('#'));
            TreePos n = passwordTree().end();
            all.push_back(path);
            // Folders are the paths that list as folders.
            std::vector<std::string> parts;
            SplitVirtualPath(path, parts, false);
            TreePos cur, cursor;
            std::string missing;
            FindNodeByPath(parts, cur, cursor, missing, passwordTree().begin());
            n = cur;
            (n->isFolder() ? folders : entries).push_back(path);
        }
        long before = static_cast<long>(entries.size());
        long low = before, high = before;  // what the entry count may be afterwards
        std::string target = pick(folders) + "\\" + names[rng() % 4];
        int op = static_cast<int>(rng() % 5);
        std::string what;
        if (op == 0) {
            what = "mkdir " + target;
            MakeFolder(target.c_str());
        } else if (op == 1 && !entries.empty()) {
            std::string e = pick(entries);
            what = "rm " + e;
            low = before - 1;
            DeleteEntry(e.c_str());
        } else if (op == 2 && all.size() > 1) {
            std::string s = pick(all);
            bool overwrite = rng() % 2 == 0;
            what = "mv " + s + " " + target + (overwrite ? " (overwrite)" : "");
            if (overwrite) low = before - 1;  // the entry overwritten
            RenameMoveCopy(s.c_str(), target.c_str(), true, overwrite);
        } else if (op == 3 && !entries.empty()) {
            std::string s = pick(entries);
            what = "cp " + s + " " + target;
            high = before + 1;
            RenameMoveCopy(s.c_str(), target.c_str(), false, false);
        } else {
            continue;
        }
        std::vector<std::string> t = tree(), d = disk();
        ASSERT_EQ(d, t) << "seed " << seed << ", step " << step << ": " << what;
        std::set<std::string> numbers;
        for (const std::string& p : t) {
            EXPECT_TRUE(numbers.insert(p.substr(p.find('#'))).second) << "duplicate node after " << what;
            EXPECT_EQ(p.find("\\#"), std::string::npos) << "empty name after " << what;
        }
        long after = 0;
        for (TreePos p = passwordTree().begin(); p != passwordTree().end(); ++p) after += p->isEntry() ? 1 : 0;
        EXPECT_GE(after, low) << "an entry was lost: " << what;
        EXPECT_LE(after, high) << "an entry was duplicated: " << what;
    }
}

}  // namespace
