// Makes and reads Keyhold stores for the Double Commander suite, with an
// implementation of the field encryption that is not the plug-in's own.
//
//   keyhold_dc_store make FILE MASTER [ENTRY...]
//       A store with the five folders of a new store and the entries given as
//       "Folder/Title|user name|password|url|notes" (a title without a folder
//       lies at the top; "\n" in the notes is a line break, stored as CR LF).
//       Every field of an entry is encrypted under its own salt, as the entry
//       dialog saves it.
//   keyhold_dc_store dump FILE MASTER
//       One line per folder and entry, in stored order, every field decrypted:
//         folder /Email
//         entry /Email/Gmail	user=ann	password=pw	url=	notes=a\nb
//       Fails (status 2) when the masterkey is not that of MASTER or any
//       field does not decrypt under it.
#include <tinyxml.h>

#include <cstdio>
#include <ctime>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "IndependentCrypt.h"

namespace {

struct Failure {
    std::string what;
};

std::string escape(const std::string& s) {
    std::string out;
    for (char c : s) {
        if (c == '\\') out += "\\\\";
        else if (c == '\r') out += "\\r";
        else if (c == '\n') out += "\\n";
        else if (c == '\t') out += "\\t";
        else out += c;
    }
    return out;
}

std::string text(const TiXmlElement* e) {
    const TiXmlNode* n = e->FirstChild();
    return n && n->ToText() ? n->Value() : "";
}

// The stored value of a field: plain, or decrypted when it carries a salt.
std::string field(const std::string& master, const std::string& value, const char* salt,
                  const std::string& where) {
    if (!salt || !*salt) return value;
    std::string plain;
    if (!independent::decrypt(master, value, salt, plain)) throw Failure{where + " does not decrypt"};
    return plain;
}

void dumpChildren(const std::string& master, const TiXmlElement* parent, const std::string& path) {
    for (const TiXmlElement* e = parent->FirstChildElement(); e; e = e->NextSiblingElement()) {
        const std::string kind = e->Value();
        const char* name = e->Attribute("name");
        if (!name || !*name) name = e->Attribute("basename");
        std::string title = name ? name : "";
        if (kind == "folder") {
            std::cout << "folder " << path << title << "\n";
            dumpChildren(master, e, path + title + "/");
        } else if (kind == "file") {
            title = field(master, title, e->Attribute("salt"), "title of an entry in " + path);
            std::string where = path + title;
            std::string user, password, url, notes;
            for (const TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
                const std::string n = c->Value();
                std::string v = field(master, text(c), c->Attribute("salt"), n + " of " + where);
                if (n == "username") user = v;
                else if (n == "password") password = v;
                else if (n == "url") url = v;
                else if (n == "notes") notes = v;
            }
            std::cout << "entry " << where << "\tuser=" << escape(user) << "\tpassword=" << escape(password)
                      << "\turl=" << escape(url) << "\tnotes=" << escape(notes) << "\n";
        }
    }
}

int dump(const std::string& file, const std::string& master) {
    TiXmlDocument doc;
    if (!doc.LoadFile(file.c_str())) {
        std::cerr << file << ": " << doc.ErrorDesc() << "\n";
        return 2;
    }
    TiXmlElement* root = doc.RootElement();
    if (!root || std::string(root->Value()) != "pswd") {
        std::cerr << file << ": no pswd element\n";
        return 2;
    }
    const char* key = root->Attribute("masterkey");
    if (!key || independent::masterKey(master) != key) {
        std::cerr << file << ": the masterkey is not that of the given master password\n";
        return 2;
    }
    try {
        dumpChildren(master, root, "/");
    } catch (const Failure& f) {
        std::cerr << file << ": " << f.what << "\n";
        return 2;
    }
    return 0;
}

void addField(TiXmlElement* entry, const char* name, const std::string& master, const std::string& value) {
    TiXmlElement e(name);
    if (!value.empty()) {
        auto [cipher, salt] = independent::encrypt(master, value);
        e.SetAttribute("salt", salt);
        e.InsertEndChild(TiXmlText(cipher));
    }
    if (std::string(name) == "expiretime") e.SetAttribute("expires", "false");
    entry->InsertEndChild(e);
}

std::vector<std::string> split(const std::string& s, char sep) {
    std::vector<std::string> out;
    std::string cur;
    for (char c : s) {
        if (c == sep) {
            out.push_back(cur);
            cur.clear();
        } else {
            cur += c;
        }
    }
    out.push_back(cur);
    return out;
}

int make(const std::string& file, const std::string& master, const std::vector<std::string>& entries) {
    TiXmlDocument doc;
    doc.InsertEndChild(TiXmlDeclaration("1.0", "", ""));
    TiXmlElement root("pswd");
    root.SetAttribute("basename", "My Passwords");
    int id = 1;
    root.SetAttribute("id", id++);
    root.SetAttribute("masterkey", independent::masterKey(master));
    const std::string now = std::to_string(static_cast<long>(std::time(nullptr)));
    for (const char* name : {"Email", "Network", "Windows", "Homebanking", "Internet"}) {
        TiXmlElement f("folder");
        f.SetAttribute("name", name);
        f.SetAttribute("id", id++);
        f.SetAttribute("creationtime", now);
        root.InsertEndChild(f);
    }
    for (const std::string& given : entries) {
        std::vector<std::string> p = split(given, '|');
        if (p.size() != 5) {
            std::cerr << "an entry is Folder/Title|user|password|url|notes: " << given << "\n";
            return 2;
        }
        std::string folder, title = p[0];
        if (auto slash = title.find('/'); slash != std::string::npos) {
            folder = title.substr(0, slash);
            title = title.substr(slash + 1);
        }
        std::string notes;
        for (std::size_t i = 0; i < p[4].size(); ++i) {
            if (p[4].compare(i, 2, "\\n") == 0) {
                notes += "\r\n";
                ++i;
            } else {
                notes += p[4][i];
            }
        }
        TiXmlElement e("file");
        auto [cipher, salt] = independent::encrypt(master, title);
        e.SetAttribute("name", cipher);
        e.SetAttribute("salt", salt);
        e.SetAttribute("id", id++);
        addField(&e, "username", master, p[1]);
        addField(&e, "url", master, p[3]);
        addField(&e, "password", master, p[2]);
        addField(&e, "notes", master, notes);
        e.InsertEndChild(TiXmlElement("image"));
        addField(&e, "creationtime", master, now);
        addField(&e, "lastmodtime", master, now);
        addField(&e, "lastaccesstime", master, now);
        addField(&e, "expiretime", master, "");
        TiXmlElement* parent = &root;
        if (!folder.empty()) {
            parent = nullptr;
            for (TiXmlElement* f = root.FirstChildElement("folder"); f; f = f->NextSiblingElement("folder")) {
                if (folder == f->Attribute("name")) parent = f;
            }
            if (!parent) {
                std::cerr << "no folder " << folder << "\n";
                return 2;
            }
        }
        parent->InsertEndChild(e);
    }
    doc.InsertEndChild(root);
    if (!doc.SaveFile(file.c_str())) {
        std::cerr << "cannot write " << file << "\n";
        return 2;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::string(argv[1]) == "make") {
        return make(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    }
    if (argc == 4 && std::string(argv[1]) == "dump") return dump(argv[2], argv[3]);
    std::cerr << "usage: keyhold_dc_store make FILE MASTER [ENTRY...] | dump FILE MASTER\n";
    return 2;
}
