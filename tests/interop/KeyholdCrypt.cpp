// The store's value encryption on the command line, for checking it against
// an implementation nobody here wrote:
//   keyhold-crypt encrypt PASSWORD TEXT        -> CIPHERTEXT SALT
//   keyhold-crypt decrypt PASSWORD CIPHER SALT -> TEXT
//   keyhold-crypt hash PASSWORD                -> the masterkey of PASSWORD
#include <cstring>
#include <iostream>
#include <string>

#include "KeyholdApp.h"
#include "security/SecureString.h"
#include "security/Util.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::cerr << "usage: keyhold-crypt encrypt|decrypt|hash PASSWORD ...\n";
        return 2;
    }
    std::string verb = argv[1];
    theApp().m_masterPassword.setText(argv[2]);
    if (verb == "encrypt" && argc == 4) {
        std::string cipher, salt;
        security::encrypt(argv[3], cipher, salt);
        std::cout << cipher << " " << salt << "\n";
        return 0;
    }
    if (verb == "decrypt" && argc == 5) {
        std::string plain;
        security::decrypt(argv[3], argv[4], plain);
        std::cout << plain << "\n";
        return 0;
    }
    if (verb == "hash" && argc == 3) {
        std::cout << security::applySH1(theApp().m_masterPassword) << "\n";
        return 0;
    }
    std::cerr << "usage: keyhold-crypt encrypt|decrypt|hash PASSWORD ...\n";
    return 2;
}
