// The date-range dialog's generated layout class, for code outside the dialog (tests).
#pragma once

#include "ui_fselect.h"
