// Process entry of the setup stub.
#include <windows.h>

#include "bootstrap/startup.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    return velmora::runSetup();
}
