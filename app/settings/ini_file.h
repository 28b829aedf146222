// The INI file of the settings store lives in the base library, shared with programs
// that do not use the settings record.
#pragma once

#include "base/ini_file.h"
