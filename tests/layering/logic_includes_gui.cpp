// Must not compile: the logic layer cannot see the windows above it.
#include "frmPoisto.h"
