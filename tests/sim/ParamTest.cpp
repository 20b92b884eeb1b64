#include "SimTestUtil.h"
