// What the stress programs share: the plug-in's exports as a host calls
// them, a store folder of their own, and the check that a store still holds
// what was only moved about.
#pragma once

#include <tinyxml.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <initializer_list>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "WfxApi.h"
#include "../unit/Exports.h"  // the exports, declared as the host sees them


namespace stress {

inline int WFX_CALL progress(int, char*, char*, int) { return 0; }
inline void WFX_CALL hostLog(int, int, char*) {}

// The names a listing shows.
inline std::vector<std::string> list(const std::string& path) {
    std::vector<std::string> names;
    wfx::WIN32_FIND_DATAA fd;
    std::string p = path;
    wfx::HANDLE h = FsFindFirst(&p[0], &fd);
    if (h == wfx::invalidHandle()) return names;
    do names.push_back(fd.cFileName);
    while (FsFindNext(h, &fd));
    FsFindClose(h);
    return names;
}

inline wfx::BOOL call(wfx::BOOL (*fn)(char*), std::string path) { return fn(&path[0]); }

inline int renMov(std::string from, std::string to, bool move) {
    return FsRenMovFile(&from[0], &to[0], move, 0, nullptr);
}

inline void pause(std::mt19937& random, int maxMs) {
    std::this_thread::sleep_for(std::chrono::milliseconds(std::uniform_int_distribution<int>(0, maxMs)(random)));
}

// A fresh folder under /tmp holding "keyHold.ini" (its datafile the folder's
// "database.xml", then `settings`) and that store; empty when it cannot be made.
inline std::string makeStoreFolder(const char* prefix, const std::string& settings, const std::string& store) {
    std::string pattern = std::string("/tmp/") + prefix + "-XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) {
        std::perror("mkdtemp");
        return std::string();
    }
    std::ofstream(pattern + "/keyHold.ini") << "[MAIN]\ndatafile=" << pattern << "/database.xml\n" << settings;
    std::ofstream(pattern + "/database.xml") << store;
    return pattern;
}

inline void removeFolder(const std::string& folder) {
    std::string cleanup = "rm -rf '" + folder + "'";
    if (std::system(cleanup.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", folder.c_str());
}

// How many of the names the store file has lost (each is reported); a file
// that no longer parses counts as one.
inline int lostFromStore(const std::string& storeFile, std::initializer_list<const char*> names) {
    TiXmlDocument d;
    if (!d.LoadFile(storeFile.c_str())) {
        std::fprintf(stderr, "the store does not parse any more\n");
        return 1;
    }
    std::string all;
    std::vector<TiXmlElement*> todo{d.RootElement()};
    while (!todo.empty()) {
        TiXmlElement* e = todo.back();
        todo.pop_back();
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
            if (const char* n = c->Attribute("name")) all += std::string(n) + "/";
            todo.push_back(c);
        }
    }
    int lost = 0;
    for (const char* name : names) {
        if (all.find(std::string(name) + "/") == std::string::npos) {
            std::fprintf(stderr, "lost: %s (store holds %s)\n", name, all.c_str());
            ++lost;
        }
    }
    return lost;
}

}  // namespace stress
