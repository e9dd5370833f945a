// The application object: start, message loop and exit, the profile in the registry, the recent
// file list, the command line, threads, and the calls that ask the user something.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <iterator>
#include <future>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <thread>

#include "ui/afxdlgs.h"
#include "ui_internal.h"

using namespace qui::detail;

namespace {

CWinApp* theApp = nullptr;

class DefaultPrompts final : public qui::UserPrompts {
public:
    int ShowMessageBox(HWND owner, const std::string& text, const std::string& caption, UINT type) override {
        if (!qui::HasDisplay()) {
            std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
            return 0;
        }
        return static_cast<int>(qui::RunOnMainThread([&] { return static_cast<LRESULT>(QtMessageBox(owner, text, caption, type)); }));
    }
    void Beep(UINT) override {
        if (qui::HasDisplay()) qui::RunOnMainThread([] { QtBeep(); return LRESULT{0}; });
    }
    bool ChooseFile(HWND owner, qui::FileDialogRequest& request) override {
        if (!qui::HasDisplay()) return false;
        return qui::RunOnMainThread([&] { return static_cast<LRESULT>(QtChooseFile(owner, request)); }) != 0;
    }
    UINT TrackPopupMenu(const CMenu& menu, POINT point, HWND) override {
        if (!qui::HasDisplay()) return 0;
        return static_cast<UINT>(qui::RunOnMainThread([&] { return static_cast<LRESULT>(ExecPopupMenu(menu, point)); }));
    }
};

DefaultPrompts defaultPrompts;
std::atomic<qui::UserPrompts*> prompts{nullptr};

std::string baseName(const std::string& path) {
    const auto slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

namespace qui {

UserPrompts& GetUserPrompts() {
    UserPrompts* p = prompts.load();
    return p ? *p : defaultPrompts;
}

UserPrompts* SetUserPrompts(UserPrompts* newPrompts) { return prompts.exchange(newPrompts); }

std::vector<std::pair<std::string, std::string>> ParseFileFilter(const std::string& filter) {
    std::vector<std::pair<std::string, std::string>> out;
    std::vector<std::string> parts;
    std::string current;
    for (char c : filter) {
        if (c == '|') {
            parts.push_back(current);
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.empty()) parts.push_back(current);
    for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
        if (parts[i].empty() && parts[i + 1].empty()) break;
        out.emplace_back(parts[i], parts[i + 1]);
    }
    return out;
}

}  // namespace qui

// ---- global calls
int MessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return qui::GetUserPrompts().ShowMessageBox(owner, Text(text), caption ? caption : "Error", type);
}

BOOL MessageBeep(UINT type) {
    qui::GetUserPrompts().Beep(type);
    return TRUE;
}

BOOL Beep(DWORD, DWORD) {
    qui::GetUserPrompts().Beep(0xFFFFFFFFu);
    return TRUE;
}

CWinApp* AfxGetApp() { return theApp; }
CWnd* AfxGetMainWnd() { return theApp ? theApp->m_pMainWnd : nullptr; }
LPCSTR AfxGetAppName() { return theApp ? theApp->m_pszAppName.c_str() : ""; }

int AfxMessageBox(LPCSTR text, UINT type, UINT) {
    CWnd* main = AfxGetMainWnd();
    return qui::GetUserPrompts().ShowMessageBox(main ? main->m_hWnd : nullptr, Text(text), AfxGetAppName(), type);
}

int AfxMessageBox(UINT promptId, UINT type, UINT helpId) {
    return AfxMessageBox(qui::LoadResourceString(promptId).c_str(), type, helpId);
}

void AfxFormatString1(std::string& out, UINT id, LPCSTR argument) {
    out = qui::FormatResourceString(qui::LoadResourceString(id), {Text(argument)});
}

void AfxFormatString2(std::string& out, UINT id, LPCSTR argument1, LPCSTR argument2) {
    out = qui::FormatResourceString(qui::LoadResourceString(id), {Text(argument1), Text(argument2)});
}

BOOL AfxInitRichEdit2() { return TRUE; }
void InitCommonControls() {}

// ---- CCommandLineInfo
namespace {

bool SameWord(const std::string& a, const char* b) {
    const std::string other(b);
    return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

// The flags the class library knows ("/Embedding"); any other word after "/" is an absolute path.
bool KnownSlashFlag(const std::string& word) {
    static const char* const known[] = {"Embedding", "Automation", "Register",   "Regserver", "Unregister",
                                        "Unregserver", "dde",       "p",          "pt"};
    return std::any_of(std::begin(known), std::end(known), [&](const char* k) { return SameWord(word, k); });
}

}  // namespace

void CCommandLineInfo::ParseParam(const char* param, BOOL flag, BOOL) {
    const std::string p = Text(param);
    if (flag) {
        // Only these two clear the splash.
        if (SameWord(p, "Embedding")) m_bRunEmbedded = TRUE, m_bShowSplash = FALSE;
        else if (SameWord(p, "Automation")) m_bRunAutomated = TRUE, m_bShowSplash = FALSE;
        return;
    }
    if (m_strFileName.empty()) {
        m_strFileName = p;
        m_nShellCommand = FileOpen;
    }
}

// ---- CWinApp
CWinApp::CWinApp(LPCSTR appName) {
    theApp = this;
    if (appName) m_pszAppName = appName;
    MapCommandRange(ID_FILE_MRU_FILE1, ID_FILE_MRU_FILE16, [this](UINT id) {
        const std::size_t index = id - ID_FILE_MRU_FILE1;
        if (index >= recent_.size()) return;
        const std::string path = recent_[index];
        if (!OpenDocumentFile(path.c_str())) {
            // A file that no longer opens leaves the list, as the class library does.
            recent_.erase(std::find(recent_.begin(), recent_.end(), path));
            saveRecentFiles();
        }
    });
    MapUpdateCommand(ID_FILE_MRU_FILE1, [this](CCmdUI* ui) { UpdateRecentFileMenu(ui); });
    MapCommand(ID_APP_EXIT, [this] {
        if (m_pMainWnd) m_pMainWnd->SendMessage(WM_CLOSE);
    });
}

CWinApp::~CWinApp() {
    if (theApp == this) theApp = nullptr;
}

BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }

int CWinApp::Run() {
    if (qui::HasDisplay()) return RunQtLoop();
    MSG msg;
    for (;;) {
        const BOOL got = GetMessage(&msg, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(msg.wParam);
        if (got < 0) return -1;
        if (!PreTranslateMessage(&msg)) DispatchMessage(&msg);
    }
}

BOOL CWinApp::PreTranslateMessage(MSG* msg) {
    if (CWnd* main = m_pMainWnd; main && msg && msg->hwnd == main->m_hWnd) return main->PreTranslateMessage(msg);
    return FALSE;
}

BOOL CWinApp::OnIdle(LONG) {
    if (auto* frame = dynamic_cast<CFrameWnd*>(m_pMainWnd); frame && frame->m_hWnd) frame->UpdateCommandUI();
    return FALSE;
}

BOOL CWinApp::OpenDocumentFile(LPCSTR) { return FALSE; }
BOOL CWinApp::SaveAllModified() { return TRUE; }
BOOL CWinApp::OnCmdMsg(UINT id, CCmdUI* ui) { return CCmdTarget::OnCmdMsg(id, ui); }

void CWinApp::SetRegistryKey(LPCSTR company) {
    m_pszRegistryKey = Text(company);
    if (m_pszProfileName.empty()) m_pszProfileName = m_pszAppName;
}

std::string CWinApp::profileKey(LPCSTR section) const {
    std::string key = "Software\\";
    if (!m_pszRegistryKey.empty()) key += m_pszRegistryKey + "\\";
    key += m_pszProfileName.empty() ? m_pszAppName : m_pszProfileName;
    if (section && *section) key += std::string("\\") + section;
    return key;
}

UINT CWinApp::GetProfileInt(LPCSTR section, LPCSTR entry, int defaultValue) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, profileKey(section).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS)
        return static_cast<UINT>(defaultValue);
    DWORD value = 0, type = 0, size = sizeof(value);
    const LSTATUS status = RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<LPBYTE>(&value), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS || type != REG_DWORD || size != sizeof(value)) return static_cast<UINT>(defaultValue);
    return value;
}

BOOL CWinApp::WriteProfileInt(LPCSTR section, LPCSTR entry, int value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, profileKey(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return FALSE;
    const DWORD v = static_cast<DWORD>(value);
    const LSTATUS status = RegSetValueExA(key, entry, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&v), sizeof(v));
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? TRUE : FALSE;
}

std::string CWinApp::GetProfileString(LPCSTR section, LPCSTR entry, LPCSTR defaultValue) {
    const std::string fallback = Text(defaultValue);
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, profileKey(section).c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return fallback;
    DWORD type = 0, size = 0;
    LSTATUS status = RegQueryValueExA(key, entry, nullptr, &type, nullptr, &size);
    std::string value;
    if (status == ERROR_SUCCESS && type == REG_SZ) {
        value.resize(size);
        status = RegQueryValueExA(key, entry, nullptr, &type, reinterpret_cast<LPBYTE>(value.data()), &size);
        value.resize(std::min<std::size_t>(size, value.size()));
        while (!value.empty() && value.back() == '\0') value.pop_back();
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_SZ ? value : fallback;
}

BOOL CWinApp::WriteProfileString(LPCSTR section, LPCSTR entry, LPCSTR value) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, profileKey(section).c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return FALSE;
    LSTATUS status;
    if (!value) {
        status = RegDeleteValueA(key, entry);
    } else {
        const std::string v = value;
        status = RegSetValueExA(key, entry, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.c_str()), static_cast<DWORD>(v.size() + 1));
    }
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? TRUE : FALSE;
}

void CWinApp::LoadStdProfileSettings(UINT maxRecentFiles) {
    maxRecent_ = std::min<UINT>(maxRecentFiles, 16);
    recent_.clear();
    for (UINT i = 1; i <= maxRecent_; ++i) {
        const std::string entry = "File" + std::to_string(i);
        const std::string path = GetProfileString("Recent File List", entry.c_str(), "");
        if (!path.empty() && std::find(recent_.begin(), recent_.end(), path) == recent_.end()) recent_.push_back(path);
    }
}

void CWinApp::AddToRecentFileList(LPCSTR path) {
    if (maxRecent_ == 0 || !path || !*path) return;
    const std::string p = path;
    std::erase(recent_, p);
    recent_.insert(recent_.begin(), p);
    if (recent_.size() > maxRecent_) recent_.resize(maxRecent_);
    saveRecentFiles();
}

void CWinApp::saveRecentFiles() {
    for (UINT i = 1; i <= maxRecent_; ++i) {
        const std::string entry = "File" + std::to_string(i);
        WriteProfileString("Recent File List", entry.c_str(), i <= recent_.size() ? recent_[i - 1].c_str() : nullptr);
    }
}

void CWinApp::UpdateRecentFileMenu(CCmdUI* ui) {
    CMenu* menu = ui ? ui->m_pMenu : nullptr;
    if (!menu) {
        if (ui) ui->Enable(!recent_.empty());
        return;
    }
    // The entries after the first one are the list's own: drop them, then rebuild.
    for (UINT id = ID_FILE_MRU_FILE1 + 1; id <= ID_FILE_MRU_FILE16; ++id) {
        while (menu->DeleteMenu(id, MF_BYCOMMAND)) {
        }
    }
    if (recent_.empty()) {
        menu->ModifyMenu(ui->m_nIndex, MF_BYPOSITION | MF_STRING, ID_FILE_MRU_FILE1, "Recent File");
        menu->EnableMenuItem(ui->m_nIndex, MF_BYPOSITION | MF_GRAYED);
        return;
    }
    for (std::size_t i = 0; i < recent_.size(); ++i) {
        const std::string text = "&" + std::to_string(i + 1) + " " + recent_[i];
        const UINT id = ID_FILE_MRU_FILE1 + static_cast<UINT>(i);
        if (i == 0) {
            menu->ModifyMenu(ui->m_nIndex, MF_BYPOSITION | MF_STRING, id, text.c_str());
            menu->EnableMenuItem(ui->m_nIndex, MF_BYPOSITION | MF_ENABLED);
        } else {
            menu->InsertMenu(ui->m_nIndex + static_cast<UINT>(i), MF_BYPOSITION | MF_STRING, id, text.c_str());
        }
    }
}

HICON CWinApp::LoadIcon(UINT id) const {
    if (!qui::FindIcon(id)) return nullptr;
    return reinterpret_cast<HICON>(static_cast<std::uintptr_t>(0x10000u | (id & 0xFFFFu)));
}


void CWinApp::ParseCommandLine(CCommandLineInfo& info) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        // "-x" and "--x" are flags; "/Embedding" is one too, but "/home/u/net.cnf" or "/net.cnf" is
        // a file, whether it exists or not.
        const bool slash_flag = a.size() > 1 && a[0] == '/' && KnownSlashFlag(a.substr(1));
        const bool flag = (a.size() > 1 && a[0] == '-') || slash_flag;
        info.ParseParam(flag ? a.c_str() + (a.size() > 2 && a[0] == '-' && a[1] == '-' ? 2 : 1) : a.c_str(), flag ? TRUE : FALSE,
                        i + 1 == arguments.size());
    }
}

BOOL CWinApp::ProcessShellCommand(CCommandLineInfo& info) {
    if (info.m_nShellCommand == CCommandLineInfo::FileOpen) return OpenDocumentFile(info.m_strFileName.c_str());
    return TRUE;
}

// ---- threads
struct CWinThread::Impl {
    std::thread thread;
};

BOOL CWinThread::Join() {
    if (!impl || !impl->thread.joinable() || m_bAutoDelete) return FALSE;
    impl->thread.join();
    return TRUE;
}

CWinThread* AfxBeginThread(AFX_THREADPROC proc, LPVOID param, int, UINT, DWORD) {
    auto* thread = new CWinThread;
    thread->impl = std::make_shared<CWinThread::Impl>();
    auto started = std::make_shared<std::promise<void>>();
    auto go = started->get_future().share();
    thread->impl->thread = std::thread([thread, proc, param, go] {
        go.wait();
        thread->m_nThreadID = GetCurrentThreadId();
        proc(param);
        if (thread->m_bAutoDelete) {
            thread->impl->thread.detach();
            delete thread;
        }
    });
    started->set_value();
    return thread;
}

// ---- file dialogs
CFileDialog::CFileDialog(BOOL open, LPCSTR defaultExtension, LPCSTR fileName, DWORD flags, LPCSTR filter, CWnd* parent)
    : parent_(parent) {
    m_ofn.open = open != FALSE;
    m_ofn.defaultExtension = Text(defaultExtension);
    m_ofn.fileName = Text(fileName);
    m_ofn.flags = flags;
    m_ofn.filter = Text(filter);
}

INT_PTR CFileDialog::DoModal() {
    HWND owner = parent_ ? parent_->m_hWnd : (AfxGetMainWnd() ? AfxGetMainWnd()->m_hWnd : nullptr);
    if (!qui::GetUserPrompts().ChooseFile(owner, m_ofn)) return IDCANCEL;
    if (!m_ofn.defaultExtension.empty() && std::filesystem::path(m_ofn.fileName).extension().empty())
        m_ofn.fileName += "." + m_ofn.defaultExtension;
    return IDOK;
}

std::string CFileDialog::GetPathName() const { return m_ofn.fileName; }
std::string CFileDialog::GetFileName() const { return baseName(m_ofn.fileName); }

std::string CFileDialog::GetFileExt() const {
    const std::string name = GetFileName();
    const auto dot = name.find_last_of('.');
    return dot == std::string::npos ? std::string() : name.substr(dot + 1);
}
