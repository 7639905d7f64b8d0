// The printed results reach up into the heat run: the include check must refuse it.
#include "app/heat_lifecycle.h"
