#include "StoreGenerator.h"

#include <sstream>

#include "KeyholdApp.h"
#include "security/SecureString.h"
#include "security/Util.h"

namespace {

std::string enc(const std::string& text, std::string& salt) {
    std::string cipher;
    salt.clear();
    security::encrypt(text, cipher, salt);
    return cipher;
}

void field(std::ostringstream& out, const char* tag, const std::string& text, const char* extra = "") {
    std::string salt;
    std::string cipher = enc(text, salt);
    out << "            <" << tag << extra << " salt=\"" << salt << "\">" << cipher << "</" << tag << ">\n";
}

}  // namespace

GeneratedEntry generatedEntry(int folder, int index) {
    const std::string n = std::to_string(folder) + "-" + std::to_string(index);
    return GeneratedEntry{"Account " + n + " at example", "user." + n + "@example.org",
                          "https://login.example.org/accounts/" + n, "pW" + n + "-x7#Qz!k2",
                          "Auto-Type-Window: *Example Login " + n +
                              "*\r\nAuto-Type: {USERNAME}{TAB}{PASSWORD}{ENTER}\r\nSecurity question: first pet"};
}

std::string generateStore(int folders, int entries, const std::string& password) {
    CSecureString saved = theApp().m_masterPassword;
    theApp().m_masterPassword.setText(password.c_str());
    std::ostringstream out;
    out << "<?xml version=\"1.0\" ?>\n<pswd basename=\"My Passwords\" id=\"1\" masterkey=\""
        << security::applySH1(theApp().m_masterPassword) << "\">\n";
    int id = 2;
    int perFolder = entries / folders;
    for (int f = 0; f < folders; ++f) {
        out << "    <folder name=\"Folder " << f << "\" id=\"" << id++ << "\" creationtime=\"1258363200\">\n";
        for (int e = 0; e < perFolder; ++e) {
            const GeneratedEntry entry = generatedEntry(f, e);
            std::string titleSalt;
            std::string title = enc(entry.title, titleSalt);
            out << "        <file name=\"" << title << "\" salt=\"" << titleSalt << "\" id=\"" << id++ << "\">\n";
            field(out, "username", entry.userName);
            field(out, "url", entry.url);
            field(out, "password", entry.password);
            field(out, "notes", entry.notes);
            out << "            <image />\n";
            field(out, "creationtime", "1258363200");
            field(out, "lastmodtime", "1258363300");
            field(out, "lastaccesstime", "1258363400");
            field(out, "expiretime", "2030-12-31", " expires=\"true\"");
            out << "        </file>\n";
        }
        out << "    </folder>\n";
    }
    out << "</pswd>\n";
    theApp().m_masterPassword = saved;
    return out.str();
}

namespace {

// XML text with the five predefined entities.
std::string escaped(const std::string& text) {
    std::string out;
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&apos;"; break;
            default: out += c;
        }
    }
    return out;
}

// A UUID as KeePass writes it: 16 bytes in Base64, made from a number.
std::string uuid(int number) {
    static const char kDigits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    unsigned char bytes[18] = {0x4b, 0x48};  // 16 bytes, then two zero bytes of padding for the last group
    for (int i = 0; i < 4; ++i) bytes[12 + i] = static_cast<unsigned char>(number >> (8 * (3 - i)));
    std::string out;
    for (int i = 0; i < 18; i += 3) {
        const unsigned v = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        out += kDigits[(v >> 18) & 63];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    return out.substr(0, 22) + "==";
}

void keePassString(std::ostringstream& out, const char* key, const std::string& value, bool protect = false) {
    out << "          <String><Key>" << key << "</Key><Value" << (protect ? " ProtectInMemory=\"True\"" : "") << ">"
        << escaped(value) << "</Value></String>\n";
}

}  // namespace

std::string generateKeePassXml(int folders, int entries) {
    std::ostringstream out;
    out << "<?xml version=\"1.0\" encoding=\"utf-8\" standalone=\"yes\"?>\n<KeePassFile>\n"
           "  <Meta><Generator>keyhold benchmark</Generator><DatabaseName>My Passwords</DatabaseName></Meta>\n"
           "  <Root>\n    <Group><UUID>"
        << uuid(1) << "</UUID><Name>My Passwords</Name>\n";
    int id = 2;
    const int perFolder = entries / folders;
    for (int f = 0; f < folders; ++f) {
        out << "      <Group><UUID>" << uuid(id++) << "</UUID><Name>Folder " << f << "</Name>\n";
        for (int e = 0; e < perFolder; ++e) {
            const GeneratedEntry entry = generatedEntry(f, e);
            out << "        <Entry><UUID>" << uuid(id++) << "</UUID>\n";
            keePassString(out, "Title", entry.title);
            keePassString(out, "UserName", entry.userName);
            keePassString(out, "URL", entry.url);
            keePassString(out, "Password", entry.password, true);
            keePassString(out, "Notes", entry.notes);
            out << "        </Entry>\n";
        }
        out << "      </Group>\n";
    }
    out << "    </Group>\n  </Root>\n</KeePassFile>\n";
    return out.str();
}
