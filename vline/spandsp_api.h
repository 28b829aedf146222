// The one place that includes spandsp, with its state structures visible so that the
// modem can keep its settings across a DTR reset and tell command mode from data mode.
#pragma once

#define SPANDSP_EXPOSE_INTERNAL_STRUCTURES
#include <spandsp.h>
