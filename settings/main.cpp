// The engine settings program's entry.
#include "halvern_app.h"

namespace {
CHalvernApp theApp;
}

int main(int argc, char** argv) { return AfxWinMain(argc, argv); }
