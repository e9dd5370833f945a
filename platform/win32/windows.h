// The user-mode platform stand-in: the subset of the Win32 API that the system's code calls,
// with the platform's names, types and conventions (handles, BOOL results, last error per thread).
// Plain C++ inside; devices are reached through the kernel stand-in's request seam.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using UCHAR = std::uint8_t;
using WORD = std::uint16_t;
using USHORT = std::uint16_t;
using SHORT = std::int16_t;
using DWORD = std::uint32_t;
using UINT = std::uint32_t;
using ULONG = std::uint32_t;
using LONG = std::int32_t;
using BOOL = int;
using BOOLEAN = std::uint8_t;
using CHAR = char;
using WCHAR = char16_t;
using LPVOID = void*;
using LPCVOID = const void*;
using LPSTR = char*;
using LPCSTR = const char*;
using LPDWORD = DWORD*;
using LPBYTE = BYTE*;
using HANDLE = void*;
using HKEY = HANDLE;
using HMODULE = HANDLE;
using HDEVINFO = HANDLE;
using LSTATUS = LONG;
using ULONG_PTR = std::uintptr_t;
using EXECUTION_STATE = DWORD;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

#define INVALID_HANDLE_VALUE (reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(-1)))
#define MAX_PATH 260
#define INFINITE 0xFFFFFFFFu

struct GUID {
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

// ---- errors
DWORD GetLastError();
void SetLastError(DWORD error);

#define ERROR_SUCCESS 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_GEN_FAILURE 31L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_SEM_TIMEOUT 121L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#define ERROR_UNABLE_TO_MOVE_REPLACEMENT 1176L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_OPERATION_ABORTED 995L
#define ERROR_IO_INCOMPLETE 996L
#define ERROR_IO_PENDING 997L

// ---- handles and files
BOOL CloseHandle(HANDLE handle);

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x1u
#define FILE_SHARE_WRITE 0x2u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define FILE_ATTRIBUTE_NORMAL 0x80u
#define FILE_FLAG_OVERLAPPED 0x40000000u
#define FILE_FLAG_BACKUP_SEMANTICS 0x02000000u  // opens a folder (read access, existing only)

// An overlapped request: Internal holds the request's state (STATUS_PENDING 0x103 while it runs,
// then the Win32 error of its end), InternalHigh the bytes moved; hEvent is set when it ends.
struct OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
};
struct SECURITY_ATTRIBUTES;

// "\\.\NAME" and device-interface paths open devices through the request seam; any other path
// opens a file of the host file system ("\" and "/" both separate folders).
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, SECURITY_ATTRIBUTES* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);
BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read, OVERLAPPED* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written, OVERLAPPED* overlapped);
// Synchronous buffered device I/O control; overlapped must be null. On failure the last error is
// the driver's NT status translated once by the seam's table (121 for STATUS_IO_TIMEOUT).
// Devices served in user mode (win32/device_provider.h) also take overlapped requests: one that
// does not end at once returns FALSE with ERROR_IO_PENDING and ends through its OVERLAPPED.
BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer, DWORD outSize,
                     LPDWORD bytesReturned, OVERLAPPED* overlapped);
// The end of an overlapped request: FALSE with ERROR_IO_INCOMPLETE while it runs (wait FALSE),
// else its bytes and its error (TRUE on success). With wait TRUE it waits for the request's event.
BOOL GetOverlappedResult(HANDLE file, OVERLAPPED* overlapped, LPDWORD transferred, BOOL wait);
// Whether an overlapped request has ended (its Internal is no longer STATUS_PENDING); safe to call
// while another thread ends the request.
BOOL HasOverlappedIoCompleted(const OVERLAPPED* overlapped);
BOOL CreateDirectoryA(LPCSTR path, SECURITY_ATTRIBUTES* security);

union LARGE_INTEGER {
    struct {
        DWORD LowPart;
        LONG HighPart;
    } u;
    std::int64_t QuadPart;
};

// The size of an open host file.
BOOL GetFileSizeEx(HANDLE file, LARGE_INTEGER* size);

// Writes the file's data through to the disk before it returns; for a folder, its entries.
BOOL FlushFileBuffers(HANDLE file);
BOOL DeleteFileA(LPCSTR path);
// Renames a file; an existing target fails with ERROR_ALREADY_EXISTS. No flags are offered: flags
// must be 0.
BOOL MoveFileExA(LPCSTR existing, LPCSTR newName, DWORD flags);
// The replacement file takes the replaced file's place and its attributes (here its mode, and
// its owner and group where the caller may give them). A symbolic link as the replaced name is
// followed: the file it names is replaced. The replaced file must exist (ERROR_FILE_NOT_FOUND)
// and the caller must be allowed to write it (ERROR_ACCESS_DENIED, nothing changed); both files
// must lie on one volume (ERROR_UNABLE_TO_MOVE_REPLACEMENT). No backup file, no exclusions and no
// flags are offered: backup, exclude and reserved must be null and flags 0. The new entry reaches
// the disk when the folder is flushed (FlushFileBuffers on the folder's handle).
BOOL ReplaceFileA(LPCSTR replaced, LPCSTR replacement, LPCSTR backup, DWORD flags, LPVOID exclude,
                  LPVOID reserved);

// ---- registry
#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<std::uintptr_t>(0x80000002u)))
#define KEY_QUERY_VALUE 0x0001u
#define KEY_SET_VALUE 0x0002u
#define KEY_CREATE_SUB_KEY 0x0004u
#define KEY_ENUMERATE_SUB_KEYS 0x0008u
#define KEY_READ 0x20019u
#define KEY_WRITE 0x20006u
#define KEY_ALL_ACCESS 0xF003Fu
#define REG_NONE 0u
#define REG_SZ 1u
#define REG_BINARY 3u
#define REG_DWORD 4u
#define REG_OPTION_NON_VOLATILE 0u
#define REG_CREATED_NEW_KEY 1u
#define REG_OPENED_EXISTING_KEY 2u

LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, DWORD samDesired, HKEY* result);
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR keyClass, DWORD options, DWORD samDesired,
                        SECURITY_ATTRIBUTES* security, HKEY* result, LPDWORD disposition);
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data, DWORD dataSize);
LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);
LSTATUS RegCloseKey(HKEY key);

// ---- SetupDi device-interface enumeration
#define DIGCF_PRESENT 0x2u
#define DIGCF_DEVICEINTERFACE 0x10u

struct SP_DEVICE_INTERFACE_DATA {
    DWORD cbSize;
    GUID InterfaceClassGuid;
    DWORD Flags;
    ULONG_PTR Reserved;
};
struct SP_DEVICE_INTERFACE_DETAIL_DATA_A {
    DWORD cbSize;  // set to sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A) by the caller
    CHAR DevicePath[1];
};
struct SP_DEVINFO_DATA;

HDEVINFO SetupDiGetClassDevsA(const GUID* classGuid, LPCSTR enumerator, HANDLE parent, DWORD flags);
BOOL SetupDiEnumDeviceInterfaces(HDEVINFO set, SP_DEVINFO_DATA* info, const GUID* interfaceClass, DWORD memberIndex,
                                 SP_DEVICE_INTERFACE_DATA* data);
// Size query first (detail null, size 0: FALSE with ERROR_INSUFFICIENT_BUFFER and *requiredSize set).
BOOL SetupDiGetDeviceInterfaceDetailA(HDEVINFO set, SP_DEVICE_INTERFACE_DATA* data,
                                      SP_DEVICE_INTERFACE_DETAIL_DATA_A* detail, DWORD detailSize,
                                      LPDWORD requiredSize, SP_DEVINFO_DATA* info);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

// ---- device notifications
// A window registers for the arrival and removal of the device interfaces of a class (filter
// DEV_BROADCAST_DEVICEINTERFACE_A with the class), or for the removal of the device behind an open
// handle (filter DEV_BROADCAST_HANDLE with the handle). It is then sent WM_DEVICECHANGE with the
// event (DBT_DEVICEARRIVAL, DBT_DEVICEREMOVECOMPLETE) in wParam and a broadcast record in lParam,
// valid for the duration of the message. Only window recipients (DEVICE_NOTIFY_WINDOW_HANDLE).
using HDEVNOTIFY = HANDLE;
#define WM_DEVICECHANGE 0x0219u
#define DBT_DEVICEARRIVAL 0x8000u
#define DBT_DEVICEREMOVECOMPLETE 0x8004u
#define DBT_DEVTYP_DEVICEINTERFACE 0x00000005u
#define DBT_DEVTYP_HANDLE 0x00000006u
#define DEVICE_NOTIFY_WINDOW_HANDLE 0x00000000u

struct DEV_BROADCAST_HDR {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
};
struct DEV_BROADCAST_DEVICEINTERFACE_A {
    DWORD dbcc_size;
    DWORD dbcc_devicetype;
    DWORD dbcc_reserved;
    GUID dbcc_classguid;
    CHAR dbcc_name[1];  // the interface's device path (in a broadcast), zero-terminated
};
struct DEV_BROADCAST_HANDLE {
    DWORD dbch_size;
    DWORD dbch_devicetype;
    DWORD dbch_reserved;
    HANDLE dbch_handle;
    HDEVNOTIFY dbch_hdevnotify;  // in a broadcast: the registration it answers
    GUID dbch_eventguid;
    LONG dbch_nameoffset;
    BYTE dbch_data[1];
};

// Null with the last error on failure (ERROR_INVALID_PARAMETER for a filter or flags it does not
// take, ERROR_INVALID_HANDLE for a handle filter on no open handle).
HDEVNOTIFY RegisterDeviceNotificationA(HANDLE recipient, LPVOID filter, DWORD flags);
BOOL UnregisterDeviceNotification(HDEVNOTIFY notification);

// ---- platform facts
struct OSVERSIONINFOA {
    DWORD dwOSVersionInfoSize;
    DWORD dwMajorVersion;
    DWORD dwMinorVersion;
    DWORD dwBuildNumber;
    DWORD dwPlatformId;
    CHAR szCSDVersion[128];
};
#define VER_PLATFORM_WIN32_NT 2u
BOOL GetVersionExA(OSVERSIONINFOA* info);
BOOL IsWow64Process(HANDLE process, BOOL* wow64);
HANDLE GetCurrentProcess();
UINT GetSystemDirectoryA(LPSTR buffer, UINT size);
DWORD GetModuleFileNameA(HMODULE module, LPSTR buffer, DWORD size);

// Version resources: a file under the system directory carries a "FileVersion" string when the
// machine installed it with one (sim/ writes "<file>.version" beside it).
DWORD GetFileVersionInfoSizeA(LPCSTR fileName, LPDWORD handle);
BOOL GetFileVersionInfoA(LPCSTR fileName, DWORD handle, DWORD size, LPVOID data);
// Sub-blocks "\VarFileInfo\Translation" (pairs of WORD language, WORD code page) and
// "\StringFileInfo\%04x%04x\FileVersion" (a zero-terminated string).
BOOL VerQueryValueA(LPCVOID block, LPCSTR subBlock, LPVOID* buffer, UINT* length);

// ---- execution state
#define ES_SYSTEM_REQUIRED 0x00000001u
#define ES_DISPLAY_REQUIRED 0x00000002u
#define ES_AWAYMODE_REQUIRED 0x00000040u
#define ES_CONTINUOUS 0x80000000u
EXECUTION_STATE SetThreadExecutionState(EXECUTION_STATE flags);

// ---- debug output
void OutputDebugStringA(LPCSTR text);

// ---- events, waits, time
HANDLE CreateEventA(SECURITY_ATTRIBUTES* security, BOOL manualReset, BOOL initialState, LPCSTR name);
BOOL SetEvent(HANDLE event);
BOOL ResetEvent(HANDLE event);
#define WAIT_OBJECT_0 0u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds);
DWORD WaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds);
void Sleep(DWORD milliseconds);
DWORD GetTickCount();

// ---- threads: priorities are accepted and have no effect on the machine's scheduler
#define THREAD_PRIORITY_NORMAL 0
#define THREAD_PRIORITY_HIGHEST 2
HANDLE GetCurrentThread();
BOOL SetThreadPriority(HANDLE thread, int priority);

// ---- message texts
#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x100u
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x200u
#define FORMAT_MESSAGE_FROM_SYSTEM 0x1000u
// FROM_SYSTEM only: the platform's text for a system error code, followed by "\r\n"; an unknown
// code returns 0 with ERROR_MR_MID_NOT_FOUND. Returns the number of characters written.
DWORD FormatMessageA(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPSTR buffer, DWORD size,
                     void* arguments);

// ---- known folders
#define CSIDL_PERSONAL 0x0005
#define CSIDL_LOCAL_APPDATA 0x001c
using HRESULT = LONG;
#define S_OK 0
#define E_FAIL static_cast<HRESULT>(0x80004005u)
// Local application data maps to $XDG_DATA_HOME (else ~/.local/share), documents to
// $XDG_DOCUMENTS_DIR (else ~/Documents).
HRESULT SHGetFolderPathA(HANDLE owner, int folder, HANDLE token, DWORD flags, LPSTR path);
