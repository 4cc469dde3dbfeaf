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
            std::string n = std::to_string(f) + "-" + std::to_string(e);
            std::string titleSalt;
            std::string title = enc("Account " + n + " at example", titleSalt);
            out << "        <file name=\"" << title << "\" salt=\"" << titleSalt << "\" id=\"" << id++ << "\">\n";
            field(out, "username", "user." + n + "@example.org");
            field(out, "url", "https://login.example.org/accounts/" + n);
            field(out, "password", "pW" + n + "-x7#Qz!k2");
            field(out, "notes",
                  "Auto-Type-Window: *Example Login " + n + "*\r\nAuto-Type: {USERNAME}{TAB}{PASSWORD}{ENTER}\r\n"
                  "Security question: first pet");
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
