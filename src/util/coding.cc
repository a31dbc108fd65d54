#include "util/coding.h"
