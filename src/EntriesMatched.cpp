#include "EntriesMatched.h"

#include <vector>

#include "Log.h"
#include "platform/Dialogs.h"
#include "platform/Platform.h"
#include "res/resource.h"
#include "security/SecureString.h"

const tDialogTemplate& CEntriesMatched::resourceTemplate() {
    static const tDialogTemplate t = [] {
        tDialogTemplate d{IDD_ENTRIES_MATCHED, "Possible entries", 194, 80, {}};
        d.controls.push_back({kDialogOk, eControlKind::Button, "OK", 11, 59, 50, 14, true, true, ""});
        d.controls.push_back({kDialogCancel, eControlKind::Button, "Cancel", 137, 59, 50, 14, true, true, ""});
        tControlTemplate list{IDC_MATCHED_LIST, eControlKind::ListBox, "", 7, 7, 180, 66, true, true, "Entry:"};
        list.sorted = true;
        d.controls.push_back(list);
        return d;
    }();
    return t;
}

std::string CEntriesMatched::toolTipText(const std::string& notes) {
    // Put together in place: the notes may be secret, and no buffer is freed
    // holding part of them.
    static const std::string kHead = "Notes:\n\n";
    std::string text;
    text.reserve(kHead.size() + notes.size());
    text = kHead;
    for (std::size_t i = 0; i < notes.size(); ++i) {
        if (notes[i] == '\r') {
            if (i + 1 < notes.size() && notes[i + 1] == '\n') ++i;
            text += '\n';
        } else {
            text += notes[i];
        }
    }
    std::size_t end = text.find_last_not_of(" \t\n");
    text.erase(end == std::string::npos || end < kHead.size() ? kHead.size() : end + 1);
    return text;
}

CEntriesMatched::CEntriesMatched(const std::map<std::string, AutoTypeInfo>& matches, void* parentWindow)
    : m_matches(matches), m_parent(parentWindow) {
    KH_LOG(eRubbish, "%d entries match", static_cast<int>(m_matches.size()));
}

CEntriesMatched::~CEntriesMatched() {
    // The copy holds key sequences with passwords in them, notes and titles.
    while (!m_matches.empty()) {
        auto match = m_matches.extract(m_matches.begin());
        secureWipe(match.key());
        secureWipe(match.mapped().keySequence);
        secureWipe(match.mapped().notesText);
    }
    secureWipe(m_selectedTitle);
}

int CEntriesMatched::DoModal() { return platform::dialogs().runModal(*this, m_parent); }

void CEntriesMatched::onInit(IDialogControls& controls) {
    m_selectedTitle.clear();
    std::vector<std::string> titles, toolTips;
    titles.reserve(m_matches.size());
    toolTips.reserve(m_matches.size());
    for (const auto& match : m_matches) {
        titles.push_back(match.first);
        toolTips.push_back(toolTipText(match.second.notesText));
    }
    controls.setListItems(IDC_MATCHED_LIST, titles, toolTips);  // the list sorts them
    for (std::string& title : titles) secureWipe(title);
    for (std::string& toolTip : toolTips) secureWipe(toolTip);
    controls.selectIndex(IDC_MATCHED_LIST, 0);
}

void CEntriesMatched::onCommand(IDialogControls& controls, int id, eControlNotification what) {
    if (id == IDC_MATCHED_LIST && what == eDoubleClicked) {
        onOk(controls);  // the click has selected the item
    } else if (what != eClicked) {
        return;
    } else if (id == kDialogOk) {
        onOk(controls);
    } else if (id == kDialogCancel) {
        controls.endDialog(kDialogCancel);
    }
}

void CEntriesMatched::onOk(IDialogControls& controls) {
    m_selectedTitle = controls.selectedItem(IDC_MATCHED_LIST);
    controls.endDialog(kDialogOk);
}

void CEntriesMatched::runWithoutWindows(IDialogUser& user) {
    if (user.ended()) return;
    if (!user.askField(IDC_MATCHED_LIST)) {
        user.click(kDialogCancel);
        if (!user.ended()) user.controls().endDialog(kDialogCancel);
        return;
    }
    if (!user.ended()) user.click(kDialogOk);
}
