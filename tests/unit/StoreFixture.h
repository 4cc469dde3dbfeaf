// A plug-in started on in-memory files, with helpers to give it a store and
// to answer its password dialog.
#pragma once

#include <tinyxml.h>

#include <cstring>
#include <set>

#include "Listing.h"
#include "MasterPassword.h"
#include "TestSupport.h"
#include "VirtualPath.h"
#include "XmlData.h"
#include "security/Util.h"

class StoreFixture : public PlatformFixture {
protected:
    std::string sep = std::string(1, platform::kPathSeparator);
    std::string folder = sep + "plug";
    std::string ini = folder + sep + "keyHold.ini";
    std::string store = folder + sep + "database.xml";

    void SetUp() override {
        PlatformFixture::SetUp();
        xmlData().resetForTesting();
        theApp().m_masterPassword.clear();
        module.name = folder + sep + "keyhold.wfx";
    }
    void TearDown() override {
        xmlData().resetForTesting();
        theApp().m_masterPassword.clear();
        PlatformFixture::TearDown();
    }
    void start(const std::string& settingsText = "[MAIN]\nNewEntryFolder=1\n") {
        files.content[ini] = settingsText;
        theApp().fsInit(1, nullptr, nullptr, nullptr);
    }
    // The user types these into the password fields and presses OK.
    void willType(const std::string& first, const std::string& second = "") {
        dialogs.users.push_back([first, second](platform::MemoryDialogControls& c) {
            c.type(3024, first);
            if (c.isVisible(3025)) c.type(3025, second.empty() ? first : second);
            c.click(1);
        });
    }
    void willCancel() {
        dialogs.users.push_back([](platform::MemoryDialogControls& c) { c.click(2); });
    }
    // Names listed for a path, or "" alone when the listing is empty.
    std::vector<std::string> list(const std::string& path) {
        std::vector<std::string> names;
        wfx::WIN32_FIND_DATAA fd;
        wfx::HANDLE h = FindFirst(path.c_str(), &fd);
        if (h == wfx::invalidHandle()) return names;
        do names.push_back(fd.cFileName);
        while (FindNext(h, &fd));
        FindClose(h);
        return names;
    }
    std::vector<std::string> shownMessages() const {
        std::vector<std::string> t;
        for (const auto& m : messageBoxes.shown) t.push_back(m.text);
        return t;
    }
    TiXmlDocument parsedStore() {
        TiXmlDocument d;
        d.Parse(files.content[store].c_str());
        return d;
    }
    // Ciphertext and salt of a text under a password, as a store holds them.
    std::pair<std::string, std::string> encryptedUnder(const std::string& password, const std::string& text) {
        CSecureString saved = theApp().m_masterPassword;
        theApp().m_masterPassword.setText(password.c_str());
        std::pair<std::string, std::string> r;
        security::encrypt(text, r.first, r.second);
        theApp().m_masterPassword = saved;
        return r;
    }
    std::string hashOf(const std::string& password) {
        CSecureString s;
        s.setText(password.c_str());
        return security::applySH1(s);
    }
};
