// The host's file-system plug-in interface, as seen from both sides: the
// exported functions, the callbacks the host hands to FsInit, the records and
// the constants. The layout is the Windows one on every platform (32-bit DWORD
// fields, FILETIME as two 32-bit words, MAX_PATH 260, narrow char arrays), so
// the same declarations serve our plug-in, our terminal host and Linux file
// managers that load WFX plug-ins.
//
// This header does not include <windows.h>; the Win32 platform layer checks
// that these records match the system's own.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define WFX_CALL __stdcall
#define WFX_EXPORT extern "C"
#else
#define WFX_CALL
#define WFX_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace wfx {

using DWORD = std::uint32_t;
using BOOL = int;
using HANDLE = void*;
using HWND = void*;
using HICON = void*;

constexpr int kMaxPath = 260;  // MAX_PATH

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    char cFileName[kMaxPath];
    char cAlternateFileName[14];
};
static_assert(sizeof(WIN32_FIND_DATAA) == 320, "WIN32_FIND_DATAA must keep the Windows layout");

struct RemoteInfoStruct {
    DWORD SizeLow, SizeHigh;
    FILETIME LastWriteTime;
    int Attr;
};

// Handed to FsSetDefaultParams: where the host keeps plug-in settings
// (DefaultIniName, a file name whose folder the host can write).
struct FsDefaultParamStruct {
    int size;
    DWORD PluginInterfaceVersionLow;
    DWORD PluginInterfaceVersionHi;
    char DefaultIniName[kMaxPath];
};

inline HANDLE invalidHandle() { return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)); }

typedef int(WFX_CALL* tProgressProc)(int PluginNr, char* SourceName, char* TargetName, int PercentDone);
typedef void(WFX_CALL* tLogProc)(int PluginNr, int MsgType, char* LogString);
typedef BOOL(WFX_CALL* tRequestProc)(int PluginNr, int RequestType, char* CustomTitle, char* CustomText,
                                      char* ReturnedText, int maxlen);

// File attributes
constexpr DWORD kAttrDirectory = 0x10;
constexpr DWORD kAttrNormal = 0x80;

// Request types
enum {
    RT_Other = 0, RT_UserName = 1, RT_Password = 2, RT_Account = 3, RT_UserNameFirewall = 4,
    RT_PasswordFirewall = 5, RT_TargetDir = 6, RT_URL = 7, RT_MsgOK = 8, RT_MsgYesNo = 9, RT_MsgOKCancel = 10
};

// Log message types
enum {
    MSGTYPE_CONNECT = 1, MSGTYPE_DISCONNECT = 2, MSGTYPE_DETAILS = 3, MSGTYPE_TRANSFERCOMPLETE = 4,
    MSGTYPE_CONNECTCOMPLETE = 5, MSGTYPE_IMPORTANTERROR = 6, MSGTYPE_OPERATIONCOMPLETE = 7
};

// File results
enum {
    FS_FILE_OK = 0, FS_FILE_EXISTS = 1, FS_FILE_NOTFOUND = 2, FS_FILE_READERROR = 3, FS_FILE_WRITEERROR = 4,
    FS_FILE_USERABORT = 5, FS_FILE_NOTSUPPORTED = 6, FS_FILE_EXISTSRESUMEALLOWED = 7
};

// Execute results
enum { FS_EXEC_OK = 0, FS_EXEC_ERROR = 1, FS_EXEC_YOURSELF = -1, FS_EXEC_SYMLINK = -2 };

// Copy flags
enum {
    FS_COPYFLAGS_OVERWRITE = 1, FS_COPYFLAGS_RESUME = 2, FS_COPYFLAGS_MOVE = 4,
    FS_COPYFLAGS_EXISTS_SAMECASE = 8, FS_COPYFLAGS_EXISTS_DIFFERENTCASE = 16
};

// Icons
enum { FS_ICONFLAG_SMALL = 1, FS_ICONFLAG_BACKGROUND = 2 };
enum { FS_ICON_USEDEFAULT = 0, FS_ICON_EXTRACTED = 1, FS_ICON_EXTRACTED_DESTROY = 2, FS_ICON_DELAYED = 3 };

// Content fields
enum {
    ft_nomorefields = 0, ft_numeric_32 = 1, ft_numeric_64 = 2, ft_numeric_floating = 3, ft_date = 4,
    ft_time = 5, ft_boolean = 6, ft_multiplechoice = 7, ft_string = 8, ft_fulltext = 9, ft_datetime = 10
};
enum { ft_nosuchfield = -1, ft_fileerror = -2, ft_fieldempty = -3 };

// Function pointer types of the exports, for hosts that load a plug-in.
typedef int(WFX_CALL* tFsInit)(int, tProgressProc, tLogProc, tRequestProc);
typedef HANDLE(WFX_CALL* tFsFindFirst)(char*, WIN32_FIND_DATAA*);
typedef BOOL(WFX_CALL* tFsFindNext)(HANDLE, WIN32_FIND_DATAA*);
typedef int(WFX_CALL* tFsFindClose)(HANDLE);
typedef BOOL(WFX_CALL* tFsMkDir)(char*);
typedef BOOL(WFX_CALL* tFsDeleteFile)(char*);
typedef BOOL(WFX_CALL* tFsRemoveDir)(char*);
typedef int(WFX_CALL* tFsRenMovFile)(char*, char*, BOOL, BOOL, RemoteInfoStruct*);
typedef int(WFX_CALL* tFsPutFile)(char*, char*, int);
typedef int(WFX_CALL* tFsExecuteFile)(HWND, char*, char*);
typedef int(WFX_CALL* tFsExtractCustomIcon)(char*, int, HICON*);
typedef int(WFX_CALL* tFsContentGetSupportedField)(int, char*, char*, int);
typedef int(WFX_CALL* tFsContentGetValue)(char*, int, int, void*, int, int);
typedef BOOL(WFX_CALL* tFsContentGetDefaultView)(char*, char*, char*, char*, int);
typedef void(WFX_CALL* tFsContentPluginUnloading)(void);
typedef void(WFX_CALL* tFsGetDefRootName)(char*, int);
typedef void(WFX_CALL* tFsSetDefaultParams)(FsDefaultParamStruct*);

}  // namespace wfx
