// The settings program's application object: it runs the settings dialog once and ends.
#pragma once

#include "ui/afxwin.h"

class CHalvernApp : public CWinApp {
public:
    CHalvernApp();
    BOOL InitInstance() override;
};
