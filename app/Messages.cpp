#include "Messages.h"

HINSTANCE g_hInstance = nullptr;
