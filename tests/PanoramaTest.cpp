#include "tests/Harness.h"
