#pragma once
#include "low/c_local.h"
