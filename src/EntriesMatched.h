// The chooser shown when several entries match the window the hot key was
// pressed in: their titles in a sorted list, each with the entry's notes as
// its tool tip; the user picks the one to type.
#pragma once

#include <map>
#include <string>

#include "AutoType.h"
#include "DialogControls.h"

class CEntriesMatched : public CDialogLogic {
public:
    // `matches`: entry title to what typing it needs; the dialog keeps a copy.
    explicit CEntriesMatched(const std::map<std::string, AutoTypeInfo>& matches, void* parentWindow = nullptr);
    ~CEntriesMatched() override;
    CEntriesMatched(const CEntriesMatched&) = delete;
    CEntriesMatched& operator=(const CEntriesMatched&) = delete;

    // kDialogOk or kDialogCancel (0 when the dialog could not be shown).
    int DoModal();
    // After kDialogOk: the title of the selected item, empty when none was.
    std::string m_selectedTitle;

    static const tDialogTemplate& resourceTemplate();
    // What an item's tool tip says about the entry's notes: "Notes:", an
    // empty line, then the notes with their line ends (CR LF or a lone CR,
    // as the auto-type notes have them) made line feeds, trailing blanks and
    // line ends left out.
    static std::string toolTipText(const std::string& notes);

    // CDialogLogic
    const tDialogTemplate& dialogTemplate() const override { return resourceTemplate(); }
    void onInit(IDialogControls& controls) override;
    void onCommand(IDialogControls& controls, int id, eControlNotification what) override;
    // Without windows: one question for the title, preset with the first
    // item, answered with one of the titles; then OK.
    void runWithoutWindows(IDialogUser& user) override;

private:
    void onOk(IDialogControls& controls);

    std::map<std::string, AutoTypeInfo> m_matches;
    void* m_parent;
};
