#include "component/a.h"
#include "component/b.h"
