#pragma once
#include "low/c.h"
