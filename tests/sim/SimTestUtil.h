#pragma once
#include "sim/Transceiver.h"
#include <gtest/gtest.h>
