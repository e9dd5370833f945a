// File open and save dialogs; they ask through the replaceable UserPrompts (prompts.h).
#pragma once

#include "ui/afxwin.h"

#define OFN_READONLY 0x00000001u
#define OFN_OVERWRITEPROMPT 0x00000002u
#define OFN_HIDEREADONLY 0x00000004u
#define OFN_PATHMUSTEXIST 0x00000800u
#define OFN_FILEMUSTEXIST 0x00001000u

class CFileDialog {
public:
    // filter: "Description|patterns|...||" as the class library takes it.
    CFileDialog(BOOL open, LPCSTR defaultExtension = nullptr, LPCSTR fileName = nullptr,
                DWORD flags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, LPCSTR filter = nullptr, CWnd* parent = nullptr);
    virtual ~CFileDialog() = default;
    // IDOK when a file was chosen, IDCANCEL otherwise.
    virtual INT_PTR DoModal();
    std::string GetPathName() const;
    std::string GetFileName() const;
    std::string GetFileExt() const;
    qui::FileDialogRequest m_ofn;

private:
    CWnd* parent_;
};
