// The logic half of the entry dialogs' check (see EntryDialogsCheck.h).
#include "EntryDataDlg.h"
#include "KeyholdApp.h"
#include "NewEntryDlg.h"
#include "XmlData.h"
#include "platform/Files_memory.h"
#include "platform/Platform.h"
#include "security/Util.h"

#include "EntryDialogsCheck.h"

namespace {

// Never freed: the settings write themselves back through it at exit.
platform::MemoryFiles& g_files = *new platform::MemoryFiles;

std::string field(const std::string& text, const std::string& salt, int& encrypted) {
    if (salt.empty()) return text;
    ++encrypted;
    std::string plain;
    security::decrypt(text, salt, plain);
    return plain;
}

void readNode(const tTreeNode& node, tEntryOutcome& out) {
    out.number = node.uniqueNumber;
    out.encrypted = node.encrypted;
    out.expires = node.expires;
    out.password = field(node.password, node.passwordSalt, out.encryptedFields);
    out.userName = field(node.userName, node.userNameSalt, out.encryptedFields);
    out.notes = field(node.notes, node.notesSalt, out.encryptedFields);
    out.url = field(node.url, node.urlSalt, out.encryptedFields);
    out.expiry = field(node.expireTimeText, node.expireTimeSalt, out.encryptedFields);
    out.title = node.titleSalt.empty() ? node.name : field(node.encryptedTitle, node.titleSalt, out.encryptedFields);
    if (out.title != node.name) out.title = "(title differs from the name: " + out.title + ")";
}

}  // namespace

bool prepareStore() {
    g_files.content["C:\\kh\\database.xml"] =
        "<?xml version=\"1.0\" ?>\n<pswd basename=\"Base\" id=\"1\">"
        "<folder name=\"Mail\" id=\"2\"><folder name=\"Work\" id=\"3\"/></folder>"
        "<folder name=\"bank\" id=\"4\"/><folder name=\"Zeta\" id=\"5\"/></pswd>";
    platform::services().files = &g_files;
    theApp().m_pluginFolder = "C:\\kh";
    settings().load("C:\\kh\\keyHold.ini", theApp().m_pluginFolder);
    theApp().m_masterPassword.setText("pw");
    theApp().m_lastWindowTitle = "the last window";
    // Read, then taken into the tree: the folder list comes from the store
    // the tree was built from.
    return xmlData().initializeXmlData() == eXmlLoaded && xmlData().loadTree(2) == 1;
}

tEntryOutcome showNewEntry(const std::string& presetGroup) {
    CNewEntryDlg dialog;
    if (!presetGroup.empty()) dialog.setGroup(presetGroup);
    tEntryOutcome out;
    out.result = dialog.DoModal();
    if (out.result != 1) return out;
    out.chosenPath = dialog.m_chosenGroupPath;
    out.chosenName = dialog.m_chosenGroupName;
    out.idForDir = dialog.getIdForDir(dialog.m_chosenGroupPath);
    tTreeNode node;
    dialog.GetNodeData(node);
    readNode(node, out);
    return out;
}

tEntryOutcome showViewEntry(bool encrypted) {
    tTreeNode e;
    e.nodeType = eNode_File;
    e.name = "Giro";
    e.group = "bank";
    if (encrypted) {
        e.uniqueNumber = 42;
        e.expires = true;
        security::encrypt("ann", e.userName, e.userNameSalt);
        security::encrypt("http://bank.example", e.url, e.urlSalt);
        security::encrypt("hunter2", e.password, e.passwordSalt);
        security::encrypt("pin 1234", e.notes, e.notesSalt);
        security::encrypt("2031-01-01", e.expireTimeText, e.expireTimeSalt);
        security::encrypt(e.name, e.encryptedTitle, e.titleSalt);
        e.encrypted = true;
    } else {
        e.uniqueNumber = 7;
        e.password = "hunter2";
        e.userName = "ann";
    }
    CEntryDataDlg dialog;
    dialog.SetNodeData(e);
    tEntryOutcome out;
    out.result = dialog.DoModal();
    out.modified = dialog.m_modified;
    if (out.modified == 1) {
        tTreeNode node;
        dialog.GetNodeData(node);
        readNode(node, out);
    }
    return out;
}
