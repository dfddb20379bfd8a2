// Must not compile: the platform layer cannot see the logic above it.
#include "WindowState.h"
