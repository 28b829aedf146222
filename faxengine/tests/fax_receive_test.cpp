#include "faxengine/fax_receive.h"
#include <gtest/gtest.h>
