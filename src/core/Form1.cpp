#include "core/Form1.h"
