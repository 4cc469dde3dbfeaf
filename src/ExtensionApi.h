// Double Commander's extension API, as its public SDK header (sdk/extension.h
// of version 1.0.10) declares it: the structure DC hands to an exported
// ExtensionInitialize right after loading a plug-in, the dialog messages and
// events of its LFM dialogs, and the flags and answers of its message box.
//
// Version 1.0.10 fills StructSize, PluginDir, PluginConfDir and the
// callbacks from InputBox to SendDlgMsg; it knows the dialog messages
// DM_FIRST to DM_SETPROGRESSSTYLE (0 to 38) only. Later versions put more
// callbacks into the reserved space; nothing here relies on them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "WfxApi.h"

namespace dcext {

// Dialog messages (the plug-in to the dialog).
enum : std::intptr_t {
    DM_FIRST = 0,
    DM_CLOSE = DM_FIRST + 1,
    DM_ENABLE = DM_FIRST + 2,
    DM_GETDLGDATA = DM_FIRST + 3,
    DM_GETDLGBOUNDS = DM_FIRST + 4,
    DM_GETITEMBOUNDS = DM_FIRST + 5,
    DM_GETTEXT = DM_FIRST + 6,
    DM_KEYDOWN = DM_FIRST + 7,
    DM_KEYUP = DM_FIRST + 8,
    DM_SETDLGDATA = DM_FIRST + 9,
    DM_SETFOCUS = DM_FIRST + 10,
    DM_REDRAW = DM_FIRST + 11,
    DM_SETTEXT = DM_FIRST + 12,
    DM_SETMAXTEXTLENGTH = DM_FIRST + 13,
    DM_SHOWDIALOG = DM_FIRST + 14,
    DM_SHOWITEM = DM_FIRST + 15,
    DM_GETCHECK = DM_FIRST + 16,
    DM_SETCHECK = DM_FIRST + 17,
    DM_LISTGETITEM = DM_FIRST + 18,
    DM_LISTGETITEMINDEX = DM_FIRST + 19,
    DM_LISTSETITEMINDEX = DM_FIRST + 20,
    DM_LISTDELETE = DM_FIRST + 21,
    DM_LISTADD = DM_FIRST + 22,
    DM_LISTADDSTR = DM_FIRST + 23,
    DM_LISTUPDATE = DM_FIRST + 24,
    DM_LISTINSERT = DM_FIRST + 25,
    DM_LISTINDEXOF = DM_FIRST + 26,
    DM_LISTGETCOUNT = DM_FIRST + 27,
    DM_LISTGETDATA = DM_FIRST + 28,
    DM_LISTSETDATA = DM_FIRST + 29,
    DM_SETDLGBOUNDS = DM_FIRST + 30,
    DM_SETITEMBOUNDS = DM_FIRST + 31,
    DM_GETDROPPEDDOWN = DM_FIRST + 32,
    DM_SETDROPPEDDOWN = DM_FIRST + 33,
    DM_GETITEMDATA = DM_FIRST + 34,
    DM_SETITEMDATA = DM_FIRST + 35,
    DM_LISTSET = DM_FIRST + 36,
    DM_SETPROGRESSVALUE = DM_FIRST + 37,
    DM_SETPROGRESSSTYLE = DM_FIRST + 38,
    // The last message 1.0.10 knows; later ones (DM_SETPASSWORDCHAR,
    // DM_LISTCLEAR) are never sent.
    DM_LAST_KNOWN_1_0_10 = DM_SETPROGRESSSTYLE,
};

// Events (the dialog to the plug-in).
enum : std::intptr_t {
    DN_FIRST = 0x1000,
    DN_CLICK = DN_FIRST + 1,
    DN_DBLCLICK = DN_FIRST + 2,
    DN_CHANGE = DN_FIRST + 3,
    DN_GOTFOCUS = DN_FIRST + 4,
    DN_INITDIALOG = DN_FIRST + 5,
    DN_KILLFOCUS = DN_FIRST + 6,
    DN_KEYDOWN = DM_KEYDOWN,
    DN_KEYUP = DM_KEYUP,
    DN_CLOSE = DM_CLOSE,
};

// Message box flags and answers.
enum : long {
    MB_OK = 0x00000000,
    MB_OKCANCEL = 0x00000001,
    MB_YESNO = 0x00000004,
    MB_ICONHAND = 0x00000010,
    MB_ICONQUESTION = 0x00000020,
    MB_ICONEXCLAMATION = 0x00000030,
    MB_ICONASTERICK = 0x00000040,
    MB_ICONERROR = MB_ICONHAND,
    MB_ICONWARNING = MB_ICONEXCLAMATION,
    MB_ICONINFORMATION = MB_ICONASTERICK,
};
enum : int { ID_OK = 1, ID_CANCEL = 2, ID_YES = 6, ID_NO = 7 };

constexpr std::size_t EXT_MAX_PATH = 16384;

// The plain C calling convention of the Linux host (the header's DCPCALL is
// empty there).
typedef std::intptr_t (*tDlgProc)(std::uintptr_t pDlg, char* DlgItemName, std::intptr_t Msg, std::intptr_t wParam,
                                  std::intptr_t lParam);
typedef wfx::BOOL (*tInputBoxProc)(char* Caption, char* Prompt, wfx::BOOL MaskInput, char* Value, int ValueMaxLen);
typedef int (*tMessageBoxProc)(char* Text, char* Caption, long Flags);
typedef wfx::BOOL (*tDialogBoxLFMProc)(std::intptr_t LFMData, unsigned long DataSize, tDlgProc DlgProc);
typedef wfx::BOOL (*tDialogBoxLRSProc)(std::intptr_t LRSData, unsigned long DataSize, tDlgProc DlgProc);
typedef wfx::BOOL (*tDialogBoxLFMFileProc)(char* LFMFileName, tDlgProc DlgProc);

#pragma pack(push, 1)
struct tExtensionStartupInfo {
    std::uint32_t StructSize;
    char PluginDir[EXT_MAX_PATH];
    char PluginConfDir[EXT_MAX_PATH];
    tInputBoxProc InputBox;
    tMessageBoxProc MessageBox;
    tDialogBoxLFMProc DialogBoxLFM;
    tDialogBoxLRSProc DialogBoxLRS;
    tDialogBoxLFMFileProc DialogBoxLFMFile;
    tDlgProc SendDlgMsg;
    unsigned char Reserved[4096 * sizeof(void*)];
};
#pragma pack(pop)

}  // namespace dcext
