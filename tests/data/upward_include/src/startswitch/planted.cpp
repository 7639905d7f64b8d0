// The start switch reaches up into the review: the include check must refuse it.
#include "review/goal_line.h"
