#include "halvern_app.h"

#include "halvern_dlg.h"
#include "halvern_resources.h"

CHalvernApp::CHalvernApp() : CWinApp("Halvern") {}

BOOL CHalvernApp::InitInstance() {
    halvern::RegisterResources();
    InitCommonControls();
    CWinApp::InitInstance();
    SetRegistryKey("Local AppWizard-Generated Applications");
    CHalvernDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    m_pMainWnd = nullptr;
    // The dialog was the program: no message loop after it.
    return FALSE;
}
