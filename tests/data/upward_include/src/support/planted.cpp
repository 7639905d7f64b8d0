// A support file that reaches up into the review: the include check must refuse it.
#include "review/review.h"
#include "support/text.h"
