// The main window's generated layout class, for code outside the window (tests, later pages).
#pragma once

#include "ui_fmain.h"
