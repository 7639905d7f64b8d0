// A support file that reaches up into the main window's layer: the include check must refuse it.
#include "app/review.h"
#include "support/text.h"
