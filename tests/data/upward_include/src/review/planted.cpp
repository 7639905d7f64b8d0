// The review reaches up into the printed results: the include check must refuse it.
#include "results/frame_print.h"
