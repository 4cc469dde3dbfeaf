// Feeds arbitrary host paths to the path service over a small tree: the
// host's form (VirtualPathFromHost), the split with and without the last
// component, and the walk (FindNodeByPath). Besides not crashing, it checks
// two properties: a path with an empty component never resolves to a node,
// and a path that resolves names exactly the node it reached (the path of
// that node, give or take one separator after the last name).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <string>
#include <vector>

#include "KeyholdApp.h"
#include "VirtualPath.h"
#include "platform/Services_memory.h"

namespace {

struct Harness : platform::MemoryServices {
    TreePos root;
    Harness() {
        install();
        module.name = "/f/keyhold.wfx";
        files.content["/f/keyHold.ini"] = "[MAIN]\nNewEntryFolder=1\nEnableReload=1\n";
        settings().load("/f/keyHold.ini", "/f");
        root = BuildCommandNodes(MakeBaseNode("Keyhold"));
        PasswordTree& t = passwordTree();
        TreePos email = t.appendChild(root, MakeFolderNode("Email"));
        TreePos work = t.appendChild(email, MakeFolderNode("Work"));
        t.appendChild(work, entry("Boss"));
        t.appendChild(email, entry("Gmail"));
        t.appendChild(email, MakeCommandNode("[New Entry]", eNode_FolderNewEntry));
        t.appendChild(root, MakeFolderNode("Empty"));
        TreePos spaced = t.appendChild(root, MakeFolderNode("A B"));
        t.appendChild(spaced, entry("Key"));
        t.appendChild(root, entry("Key"));
    }
    static tTreeNode entry(const std::string& name) {
        tTreeNode e;
        e.name = name;
        e.nodeType = eNode_File;
        e.fileAttributes = wfx::kAttrNormal;
        return e;
    }
};

[[noreturn]] void fail(const char* what, const std::string& path) {
    std::fprintf(stderr, "%s: \"%s\"\n", what, path.c_str());
    std::abort();
}

// The path of a node below `root`: a backslash before each name.
std::string pathOf(TreePos node, TreePos root) {
    PasswordTree& tree = passwordTree();
    std::string path;
    for (TreePos p = node; p != root && p != tree.end(); p = tree.parent(p)) path = "\\" + p->name + path;
    return path;
}

// Whether the text after the leading separator holds an empty component,
// worked out on its own: cut at every backslash; one empty piece at the end
// after a name is the closing separator; any other empty piece is a gap.
bool gapByHand(const std::string& path) {
    if (path.size() < 2) return false;
    std::vector<std::string> pieces(1);
    for (std::size_t i = 1; i < path.size(); ++i) {
        if (path[i] == '\\')
            pieces.emplace_back();
        else
            pieces.back() += path[i];
    }
    if (pieces.size() >= 2 && pieces.back().empty() && !pieces[pieces.size() - 2].empty()) pieces.pop_back();
    for (const std::string& p : pieces) {
        if (p.empty()) return true;
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static Harness& harness = *new Harness;  // the tree and settings outlive every run
    std::string host(reinterpret_cast<const char*>(data), size);
    host = host.c_str();  // the host hands a zero-terminated string
    const std::string path = VirtualPathFromHost(host.c_str());
    const bool gap = HasEmptyComponent(path);
    if (gap != gapByHand(path)) fail("empty component misjudged", path);

    for (bool dropLast : {false, true}) {
        std::vector<std::string> components;
        std::size_t n = SplitVirtualPath(path, components, dropLast);
        if (n != components.size()) fail("count differs from the list", path);
        bool emptyInList = false;
        for (const std::string& c : components) emptyInList = emptyInList || c.empty();
        // A gap shows in the list, and never as the root's single empty name.
        if (gap && !(emptyInList && components.size() >= 2)) fail("gap lost in the split", path);
        // Without a gap only the root (a path of at most one character) gives
        // an empty component: its single one.
        if (!gap && emptyInList && !(path.size() <= 1 && components.size() == 1 && !dropLast))
            fail("empty component without a gap", path);

        TreePos current, cursor;
        std::string missing = "unset";
        int found = FindNodeByPath(components, current, cursor, missing, harness.root);
        if (gap) {
            if (found != 0 || current.valid()) fail("a path with an empty component resolved", path);
            continue;
        }
        if (dropLast) continue;
        // Named whole: the node reached is the one the path spells.
        bool named = current.valid() && (found == 1 || missing.empty());
        if (named && current != harness.root) {
            std::string spelled = path.substr(1);
            if (!spelled.empty() && spelled.back() == '\\') spelled.pop_back();
            if (pathOf(current, harness.root).substr(1) != spelled) fail("resolved to another node", path);
        }
        if (named && current == harness.root && path.size() > 1) fail("long path resolved to the root", path);
    }
    return 0;
}
