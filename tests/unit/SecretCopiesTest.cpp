// Secrets and the heap: answers to the host's requests land in a buffer the
// host may fill up to MaxLen characters plus a zero, long fields and notes
// with line breaks come back whole, and the plain texts that decryption, the
// key sequence, the request buffers and the chooser hold for a moment are
// wiped before their memory is given back.
//
// This program replaces operator new and delete (AllocationWatch): a write
// past a block and a freed block that still holds a secret are both seen.
#include <gtest/gtest.h>

#include <map>

#include "AllocationWatch.h"
#include "AutoType.h"
#include "EntriesMatched.h"
#include "Execute.h"
#include "StoreFixture.h"
#include "platform/Dialogs.h"

namespace {

// Long enough to live on the heap in a std::string, and unlike anything
// else the program holds.
const std::string kUserMark = "Userx-Aardvark-4417-Quasar-Tundra-0001";
const std::string kPassMark = "Passx-Bumblebee-9032-Nebula-Fjord-0002";
const std::string kNoteMark = "Notex-Chinchilla-5521-Pulsar-Delta-0003";
const std::string kTitleMark = "Titlex-Dormouse-7788-Comet-Steppe-0004";
// Watched for: made once, so that no copy of a mark is freed while watching.
const std::vector<std::string> kMarks = {kUserMark, kPassMark, kNoteMark, kTitleMark};

// A text of n characters that starts with a mark, made in one allocation
// (a text that grew would leave copies of the mark behind itself).
std::string markedText(const std::string& mark, std::size_t n) {
    std::string text(n, ' ');
    for (std::size_t i = 0; i < n; ++i) text[i] = i < mark.size() ? mark[i] : static_cast<char>('a' + i % 26);
    return text;
}

std::string joined(const std::vector<std::string>& texts) {
    std::string all;
    for (const std::string& t : texts) all += t + "\n";
    return all;
}

// ---- The request callback as a file manager calls it ----

// What the fake host does with one request; it writes an answer as a real
// host does: at most MaxLen characters and a zero behind them.
struct HostScript {
    std::function<bool(int type, const std::string& title, const std::string& text, std::string& answer)> answer;
    std::vector<int> maxLens;
};
HostScript* g_host = nullptr;

wfx::BOOL WFX_CALL fakeHostRequest(int, int type, char* title, char* text, char* returned, int maxLen) {
    g_host->maxLens.push_back(maxLen);
    std::string answer = returned != nullptr ? returned : "";
    std::string titleText = title ? title : "", textText = text ? text : "";
    bool ok = g_host->answer(type, titleText, textText, answer);
    secureWipe(titleText);
    secureWipe(textText);
    if (returned != nullptr && maxLen >= 0) {
        std::size_t n = std::min(answer.size(), static_cast<std::size_t>(maxLen));
        std::memcpy(returned, answer.data(), n);
        returned[n] = '\0';
    }
    secureWipe(answer);
    return ok ? 1 : 0;
}

class HostRequestTest : public ::testing::Test {
protected:
    HostScript host;
    tHostConnection connection;
    void SetUp() override {
        g_host = &host;
        connection.pluginNr = 1;
        connection.request = fakeHostRequest;
    }
    void TearDown() override { g_host = nullptr; }
};

// A host that fills the whole answer: MaxLen characters and the zero must
// fit into the buffer, which is large (MaxLen of 64 KiB at least), and the
// answer comes back whole.
TEST_F(HostRequestTest, HostThatFillsMaxLenStaysInsideTheBuffer) {
    host.answer = [this](int, const std::string&, const std::string&, std::string& answer) {
        answer.assign(static_cast<std::size_t>(host.maxLens.back()), 'm');
        return true;
    };
    platform::HostRequest request = hostRequestOf(connection);
    const long overwritten = allocwatch::overwrittenGuards();
    std::string answer;
    ASSERT_TRUE(request(wfx::RT_Other, "New Entry", "Notes:", answer));
    EXPECT_EQ(allocwatch::overwrittenGuards(), overwritten) << "the host wrote past the answer buffer";
    ASSERT_EQ(host.maxLens.size(), 1u);
    EXPECT_GE(host.maxLens[0], 65535);
    EXPECT_EQ(answer.size(), static_cast<std::size_t>(host.maxLens[0]));
}

// A preset far longer than 64 KiB, with line breaks, is handed over whole
// and comes back whole from a host whose user changes nothing; a longer
// answer still finds room behind it.
TEST_F(HostRequestTest, LongPresetWithLineBreaksComesBackWhole) {
    std::string preset;
    for (int line = 0; preset.size() < 100000; ++line) preset += "line " + std::to_string(line) + " of notes\r\n";
    preset += "last line";
    std::string seen;
    host.answer = [&](int, const std::string&, const std::string&, std::string& answer) {
        seen = answer;
        return true;
    };
    platform::HostRequest request = hostRequestOf(connection);
    std::string answer = preset;
    ASSERT_TRUE(request(wfx::RT_Other, "View/Modify entry 7", "Notes:", answer));
    EXPECT_EQ(seen.size(), preset.size());
    EXPECT_TRUE(seen == preset) << "the host was offered a cut preset";
    EXPECT_TRUE(answer == preset) << "came back with " << answer.size() << " of " << preset.size() << " characters";

    host.answer = [&](int, const std::string&, const std::string&, std::string& answer) {
        answer += "\r\none more line";
        return true;
    };
    answer = preset;
    ASSERT_TRUE(request(wfx::RT_Other, "View/Modify entry 7", "Notes:", answer));
    EXPECT_TRUE(answer == preset + "\r\none more line") << answer.size();
}

// The title, the text (an entry's summary, "Generated password: ...") and
// the answer of a request are wiped before their buffers are freed.
TEST_F(HostRequestTest, RequestBuffersAreWipedBeforeTheyAreFreed) {
    const std::string title = markedText(kTitleMark, 60);
    const std::string text = "Generated password: " + markedText(kPassMark, 60);
    std::string answer = markedText(kNoteMark, 300);  // the preset
    host.answer = [&](int, const std::string&, const std::string&, std::string& given) {
        secureWipe(given);
        given = markedText(kUserMark, 200);
        return true;
    };
    platform::HostRequest request = hostRequestOf(connection);
    allocwatch::watchFor(kMarks);
    bool ok = request(wfx::RT_Other, title, text, answer);
    const bool answered = answer.rfind(kUserMark, 0) == 0;
    secureWipe(answer);
    host.answer = nullptr;
    std::vector<std::string> left = allocwatch::stop();
    EXPECT_TRUE(ok);
    EXPECT_TRUE(answered);
    EXPECT_TRUE(left.empty()) << "freed without being wiped:\n" << joined(left);
}

// ---- New Entry and Modify through the host's requests ----

class RequestRoundTripTest : public StoreFixture {
protected:
    HostScript host;
    platform::Dialogs* memoryDialogs = nullptr;

    void SetUp() override {
        StoreFixture::SetUp();
        g_host = &host;
        // The Linux dialogs: every field is a request to the host.
        memoryDialogs = platform::services().dialogs;
        platform::services().dialogs = platform::nativeServices().dialogs;
        files.content[store] = "<?xml version=\"1.0\" ?>\n<pswd basename=\"B\" id=\"1\" masterkey=\"" + hashOf("pw") +
                               "\"><folder name=\"Mail\" id=\"2\"/></pswd>";
        files.content[ini] = "[MAIN]\nNewEntryFolder=1\n";
        theApp().fsInit(1, nullptr, nullptr, fakeHostRequest);
    }
    void TearDown() override {
        platform::nativeServices().dialogs->setHostRequest({});
        platform::services().dialogs = memoryDialogs;
        g_host = nullptr;
        StoreFixture::TearDown();
    }
    // The element of the entry whose title decrypts to `title`.
    static TiXmlElement* entryNamed(TiXmlElement* e, const std::string& title) {
        for (TiXmlElement* c = e->FirstChildElement(); c; c = c->NextSiblingElement()) {
            if (std::string(c->Value()) == "file" && c->Attribute("salt")) {
                std::string plain;
                CSecureString pw;
                pw.setText("pw");
                security::decryptWith(pw, c->Attribute("name"), c->Attribute("salt"), plain);
                if (plain == title) return c;
            }
            if (TiXmlElement* found = entryNamed(c, title)) return found;
        }
        return nullptr;
    }
    static std::string field(TiXmlElement* entry, const char* tag) {
        TiXmlElement* c = entry ? entry->FirstChildElement(tag) : nullptr;
        if (c == nullptr || c->GetText() == nullptr) return "";
        CSecureString pw;
        pw.setText("pw");
        std::string plain;
        if (c->Attribute("salt")) security::decryptWith(pw, c->GetText(), c->Attribute("salt"), plain);
        else plain = c->GetText();
        return plain;
    }
};

TEST_F(RequestRoundTripTest, LongFieldAndNotesWithLineBreaksSurviveNewEntryAndModify) {
    const std::string userName = markedText(kUserMark, 100000);
    std::string notes;
    for (int line = 0; notes.size() < 100000; ++line) notes += "note line " + std::to_string(line) + "\r\n";
    notes += "\r\nafter an empty line";

    bool modifying = false;
    std::map<std::string, std::string> presets;
    host.answer = [&](int type, const std::string&, const std::string& text, std::string& answer) {
        if (type == wfx::RT_Password) {
            answer = "pw";
            return true;
        }
        if (type == wfx::RT_MsgOK) return true;
        if (type == wfx::RT_MsgYesNo) {
            if (text == "Set a password for this entry?") return true;  // the entry password dialog
            if (text == "Modify this entry?" || text == "Encrypt this entry?") return true;
            return false;  // reveal, change the password, generate, expires
        }
        if (modifying) {
            presets[text] = answer;
            if (text == "Notes:") answer += "\r\nadded while modifying";
            return true;  // everything else as it was offered
        }
        if (text == "Group:") answer = "\\Mail";
        else if (text == "Title:") answer = "Long one";
        else if (text == "UserName:") answer = userName;
        else if (text == "URL:") answer = "https://example.org/";
        else if (text == "Notes:") answer = notes;
        return true;
    };
    const long overwritten = allocwatch::overwrittenGuards();
    list("\\");  // unlocks
    ASSERT_EQ(ExecuteFile("\\Mail\\[New Entry]", "open"), wfx::FS_EXEC_OK);
    TiXmlDocument afterNew = parsedStore();
    TiXmlElement* entry = entryNamed(afterNew.RootElement(), "Long one");
    ASSERT_NE(entry, nullptr) << files.content[store].substr(0, 2000);
    EXPECT_EQ(field(entry, "username").size(), userName.size());
    EXPECT_TRUE(field(entry, "username") == userName);
    EXPECT_TRUE(field(entry, "notes") == notes) << field(entry, "notes").size() << " of " << notes.size();

    modifying = true;
    ExecuteFile("\\Mail\\Long one", "open");
    EXPECT_TRUE(presets["UserName:"] == userName) << "offered " << presets["UserName:"].size() << " characters";
    EXPECT_TRUE(presets["Notes:"] == notes) << "offered " << presets["Notes:"].size() << " characters";
    TiXmlDocument afterModify = parsedStore();
    entry = entryNamed(afterModify.RootElement(), "Long one");
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(field(entry, "username") == userName) << field(entry, "username").size();
    EXPECT_TRUE(field(entry, "notes") == notes + "\r\nadded while modifying") << field(entry, "notes").size();
    EXPECT_EQ(allocwatch::overwrittenGuards(), overwritten) << "a host wrote past an answer buffer";
    for (int maxLen : host.maxLens) ASSERT_GE(maxLen, 65535);
}

// ---- Plain texts held for a moment ----

class WipedCopiesTest : public StoreFixture {
protected:
    void SetUp() override {
        StoreFixture::SetUp();
        theApp().m_masterPassword.setText("pw");
    }
};

// Decryption grows its output as the blocks come; a buffer left behind by
// growing still holds the start of the plain text.
TEST_F(WipedCopiesTest, DecryptionLeavesNoPlainTextInFreedMemory) {
    for (std::size_t length : {40u, 100u, 1000u, 70000u}) {
        const std::string secret = markedText(kPassMark, length);
        std::string cipher, salt;
        security::encrypt(secret, cipher, salt);
        allocwatch::watchFor(kMarks);
        std::string plain;
        security::decryptText(cipher, salt, plain);
        const bool same = plain == secret;
        secureWipe(plain);
        CSecureString kept;
        security::decrypt(cipher, salt, kept);
        std::vector<std::string> left = allocwatch::stop();
        EXPECT_TRUE(same) << length;
        EXPECT_TRUE(left.empty()) << length << " characters: freed without being wiped:\n" << joined(left);
    }
}

TEST_F(WipedCopiesTest, KeySequenceLeavesNoFieldInFreedMemory) {
    struct Case {
        const char* sequence;  // the entry's Auto-Type line; empty for the default
        bool encrypted;
    };
    const Case cases[] = {{"", false}, {"", true}, {"{USERNAME}{TAB}{PASSWORD}{ENTER}", false},
                          {"{USERNAME}{TAB}{PASSWORD}{TAB}{NOTES}{ENTER}", true}};
    for (const Case& c : cases) {
        tTreeNode entry;
        entry.nodeType = eNode_File;
        const std::string user = markedText(kUserMark, 300), pass = markedText(kPassMark, 200),
                          notes = markedText(kNoteMark, 500);
        if (c.encrypted) {
            entry.encrypted = true;
            security::encrypt(user, entry.userName, entry.userNameSalt);
            security::encrypt(pass, entry.password, entry.passwordSalt);
            security::encrypt(notes, entry.notes, entry.notesSalt);
        } else {
            entry.userName = user;
            entry.password = pass;
            entry.notes = notes;
        }
        entry.autoTypeSequence = c.sequence;
        // A plain entry holds its fields: only the copies are watched, so
        // the entry's own strings are not freed while watching.
        allocwatch::watchFor(kMarks);
        std::string sequence = buildAutoTypeSequence(entry);
        const bool complete = sequence.find(user) != std::string::npos && sequence.find(pass) != std::string::npos;
        secureWipe(sequence);
        std::vector<std::string> left = allocwatch::stop();
        EXPECT_TRUE(complete) << c.sequence;
        EXPECT_TRUE(left.empty()) << "\"" << c.sequence << "\" " << (c.encrypted ? "encrypted" : "plain")
                                  << ": freed without being wiped:\n"
                                  << joined(left);
        if (!c.encrypted) {
            secureWipe(entry.userName);
            secureWipe(entry.password);
            secureWipe(entry.notes);
        }
    }
}

// The chooser keeps a copy of the matches (titles, key sequences with the
// passwords in them, notes) and shows titles and notes as tool tips.
TEST_F(WipedCopiesTest, ChooserLeavesNoSequenceTitleOrNotesInFreedMemory) {
    platform::Dialogs* linux = platform::nativeServices().dialogs;
    platform::Dialogs* saved = platform::services().dialogs;
    platform::services().dialogs = linux;
    std::string chosen;
    linux->setHostRequest([&](int type, const std::string&, const std::string&, std::string& answer) {
        if (type == wfx::RT_Other) chosen = answer;  // the first title, as offered
        return true;
    });
    std::map<std::string, AutoTypeInfo> matches;
    matches[markedText(kTitleMark, 50)] = {markedText(kNoteMark, 120), markedText(kPassMark, 80)};
    matches[markedText(kTitleMark, 60) + "-second"] = {"Notes of the second entry, long enough",
                                                        markedText(kUserMark, 90)};
    allocwatch::watchFor(kMarks);
    int result;
    {
        CEntriesMatched chooser(matches);
        result = chooser.DoModal();
    }
    secureWipe(chosen);
    std::vector<std::string> left = allocwatch::stop();
    linux->setHostRequest({});
    platform::services().dialogs = saved;
    EXPECT_EQ(result, kDialogOk);
    EXPECT_TRUE(left.empty()) << "freed without being wiped:\n" << joined(left);
    while (!matches.empty()) {
        auto m = matches.extract(matches.begin());
        secureWipe(m.key());
        secureWipe(m.mapped().keySequence);
        secureWipe(m.mapped().notesText);
    }
}

}  // namespace
