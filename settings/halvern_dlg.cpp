// The settings dialog. The version comes from the installation's "Distrib" value; the sleep option
// is the engine's DoNotPreventSystemSleep value, read at start and written on OK when changed.
#include "halvern_dlg.h"

#include "resource.h"

namespace {

constexpr const char* kEngineKey = "Software\\Talvenor\\Corvix";
constexpr const char* kSleepValue = "DoNotPreventSystemSleep";
constexpr DWORD kMaxVersionLength = 260;

}  // namespace

CHalvernDlg::CHalvernDlg(CWnd* parent) : CDialog(IDD_HALVERN_DIALOG, parent) {
    icon_ = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : nullptr;
    MapNotify(IDC_PREVENT_SLEEP, BN_CLICKED, [this] { OnSleepOptionClicked(); });
}

BOOL CHalvernDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    SetIcon(icon_, TRUE);
    SetIcon(icon_, FALSE);

    const std::string version = ReadVersion();
    SetDlgItemText(IDC_VERSION_TEXT, qui::FormatString(qui::LoadResourceString(IDS_VERSION_FORMAT).c_str(), version.c_str()).c_str());

    // Checked: the engine keeps the system awake (the value is 0 or absent).
    initialCheck_ = ReadDoNotPreventSystemSleep() == 0 ? BST_CHECKED : BST_UNCHECKED;
    CheckDlgButton(IDC_PREVENT_SLEEP, static_cast<UINT>(initialCheck_));
    changeCount_ = 0;
    return TRUE;
}

std::string CHalvernDlg::ReadVersion() {
    const std::string unknown = qui::LoadResourceString(IDS_UNKNOWN);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, qui::LoadResourceString(IDS_VERSION_KEY).c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS)
        return unknown;
    char buffer[kMaxVersionLength + 1] = {};
    DWORD size = kMaxVersionLength;
    DWORD type = REG_NONE;
    const LSTATUS status = RegQueryValueExA(key, qui::LoadResourceString(IDS_VERSION_VALUE).c_str(), nullptr, &type,
                                            reinterpret_cast<LPBYTE>(buffer), &size);
    RegCloseKey(key);
    // A value that is not a string, or longer than 260 characters, is as unreadable as a missing one.
    if (status != ERROR_SUCCESS || type != REG_SZ) {
        MessageBox("Quorelle is incorrectly installed !\n\tUnknown version", "Warning", MB_OK | MB_ICONWARNING);
        return unknown;
    }
    buffer[std::min<DWORD>(size, kMaxVersionLength)] = '\0';
    return buffer;
}

DWORD CHalvernDlg::ReadDoNotPreventSystemSleep() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return 0;
    DWORD value = 0, type = REG_NONE, size = sizeof(value);
    const LSTATUS status = RegQueryValueExA(key, kSleepValue, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD && size == sizeof(value) ? value : 0;
}

void CHalvernDlg::OnSleepOptionClicked() {
    const int check = static_cast<int>(IsDlgButtonChecked(IDC_PREVENT_SLEEP));
    if (check == initialCheck_) ++changeCount_;
    else --changeCount_;
}

void CHalvernDlg::OnOK() {
    if (changeCount_ != 0 &&
        MessageBox("Save the new hardware setting?", AfxGetAppName(), MB_YESNO | MB_ICONQUESTION) == IDYES) {
        if (Save()) MessageBox("The hardware setting is saved.", AfxGetAppName(), MB_OK | MB_ICONINFORMATION);
        else MessageBox(qui::LoadResourceString(IDS_UPDATE_FAILED).c_str(), AfxGetAppName(), MB_OK | MB_ICONWARNING);
    }
    CDialog::OnOK();
}

bool CHalvernDlg::Save() {
    if (changeCount_ == 0) return true;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        HKEY readOnly = nullptr;
        const bool exists = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kEngineKey, 0, KEY_QUERY_VALUE, &readOnly) == ERROR_SUCCESS;
        if (exists) RegCloseKey(readOnly);
        MessageBox(qui::LoadResourceString(exists ? IDS_RUN_AS_ADMINISTRATOR : IDS_NOT_INSTALLED).c_str(), AfxGetAppName(),
                   MB_OK | MB_ICONERROR);
        return false;
    }
    const DWORD value = IsDlgButtonChecked(IDC_PREVENT_SLEEP) ? 0 : 1;
    const LSTATUS status = RegSetValueExA(key, kSleepValue, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}
