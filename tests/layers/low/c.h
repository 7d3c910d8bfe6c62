#pragma once
#include <SDL2/SDL.h>
