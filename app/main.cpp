// The window program: the window host linked in runs the application object.
#include "platform/app.h"

int main(int argc, char** argv) { return platform::AfxWinMain(argc, argv); }
