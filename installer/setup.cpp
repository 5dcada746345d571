#include "utils/utils.h"
